#!/usr/bin/env python3
"""The translations of the interface's texts.

  catalogues.py pot DEF POT
      extracts the template of the catalogue from the English list DEF with
      xgettext and marks every text with numbered places as a brace format, so
      that msgfmt --check holds each translation to the same places.
  catalogues.py tables DEF OUT PO... [--pseudo]
      compiles the English list and each language's .po file into the C++
      tables that the program speaks from (OUT), refusing a language with an
      untranslated or fuzzy text, with places or markup of its own, or with a
      plural rule that is not a plain arithmetic expression of n. --pseudo adds
      the test language "en-XA", made from the English texts.
"""
import ast
import re
import subprocess
import sys

PLACE = re.compile(r"\{[1-9]\}")
ENTRY = re.compile(r"SKEDRA_(TEXT|PLURAL|TEXT_IN)\(")


def read_entries(def_path):
    """The catalogue's entries in order: (key, context, one, other, plural)."""
    text = open(def_path, encoding="utf-8").read()
    text = re.sub(r"//[^\n]*", "", text)
    entries = []
    for match in ENTRY.finditer(text):
        kind = match.group(1)
        at = match.end()
        depth, quoted, escaped, end = 1, False, False, at
        while depth:
            char = text[end]
            if quoted:
                if escaped:
                    escaped = False
                elif char == "\\":
                    escaped = True
                elif char == '"':
                    quoted = False
            elif char == '"':
                quoted = True
            elif char == "(":
                depth += 1
            elif char == ")":
                depth -= 1
            end += 1
        args = split_args(text[at:end - 1])
        key = args[0].strip()
        values = [ast.literal_eval(arg.strip()) for arg in args[1:]]
        if kind == "TEXT":
            entries.append((key, None, values[0], values[0], False))
        elif kind == "TEXT_IN":
            entries.append((key, values[0], values[1], values[1], False))
        else:
            entries.append((key, None, values[0], values[1], True))
    return entries


def split_args(body):
    args, current, quoted, escaped = [], "", False, False
    for char in body:
        if quoted:
            current += char
            if escaped:
                escaped = False
            elif char == "\\":
                escaped = True
            elif char == '"':
                quoted = False
        elif char == '"':
            quoted = True
            current += char
        elif char == ",":
            args.append(current)
            current = ""
        else:
            current += char
    args.append(current)
    return args


def pot(def_path, pot_path):
    subprocess.run(
        ["xgettext", "--language=C++", "--keyword=", "--keyword=SKEDRA_TEXT:2",
         "--keyword=SKEDRA_PLURAL:2,3", "--keyword=SKEDRA_TEXT_IN:2c,3", "--add-comments",
         "--from-code=UTF-8", "--package-name=skedra", "--no-wrap", "--sort-by-file",
         "--omit-header", "--add-location=file", "-o", pot_path, def_path], check=True)
    lines = open(pot_path, encoding="utf-8").read().split("\n")
    header = [
        "# The texts of skedra's pages, for translators.", "#", "#, fuzzy", 'msgid ""',
        'msgstr ""', '"Project-Id-Version: skedra\\n"',
        '"Content-Type: text/plain; charset=UTF-8\\n"',
        '"Content-Transfer-Encoding: 8bit\\n"',
        '"Plural-Forms: nplurals=INTEGER; plural=EXPRESSION;\\n"', ""]
    out, entry = [], []
    for line in lines + [""]:
        if line:
            entry.append(line)
            continue
        if entry:
            ids = "".join(l for l in entry if l.startswith(("msgid", '"')))
            if PLACE.search(ids):
                at = next(i for i, l in enumerate(entry)
                          if l.startswith(("msgctxt", "msgid")))
                entry.insert(at, "#, python-brace-format")
            out.extend(entry + [""])
            entry = []
    open(pot_path, "w", encoding="utf-8").write("\n".join(header + out))


if __name__ == "__main__":
    if sys.argv[1] == "pot":
        pot(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
