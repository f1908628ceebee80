#!/usr/bin/env python3
"""The translations of the interface's texts.

  catalogues.py pot DEF POT
      extracts the template of the catalogue from the English list DEF with
      xgettext and marks every text with numbered places as a brace format, so
      that msgfmt --check holds each translation to the same places.
  catalogues.py pot-check DEF POT
      fails when POT is not what pot would write now (run scripts/update-po).
  catalogues.py tables DEF OUT PO... [--pseudo]
      compiles the English list and each language's .po file into the C++
      tables that the program speaks from (OUT), refusing a language with an
      untranslated or fuzzy text, with places or markup of its own, or with a
      plural rule that is not a plain arithmetic expression of n. --pseudo adds
      the test language "en-XA", made from the English texts.
"""
import ast
import os
import re
import subprocess
import sys

PLACE = re.compile(r"\{[1-9]\}")
ENTRY = re.compile(r"SKEDRA_(TEXT|PLURAL|TEXT_IN)\(")


def read_entries(def_path):
    """The catalogue's entries in order: (key, context, one, other, plural)."""
    text = open(def_path, encoding="utf-8").read()
    text = re.sub(r"^\s*//[^\n]*", "", text, flags=re.M)
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
        values = [ast.literal_eval("(" + arg.strip() + ")") for arg in args[1:]]
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
    # The references name the file from the top of the tree, wherever it is.
    root = os.path.dirname(os.path.dirname(os.path.abspath(def_path)))
    subprocess.run(
        ["xgettext", "--language=C++", "--keyword=", "--keyword=SKEDRA_TEXT:2",
         "--keyword=SKEDRA_PLURAL:2,3", "--keyword=SKEDRA_TEXT_IN:2c,3", "--add-comments",
         "--from-code=UTF-8", "--package-name=skedra", "--no-wrap", "--sort-by-file",
         "--omit-header", "--add-location=file", "-o", os.path.abspath(pot_path),
         os.path.relpath(def_path, root)], check=True, cwd=root)
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
            formats = any(l == 'msgctxt "date format"' for l in entry)
            if PLACE.search(ids) and not formats:
                at = next(i for i, l in enumerate(entry)
                          if l.startswith(("msgctxt", "msgid")))
                entry.insert(at, "#, python-brace-format")
            out.extend(entry + [""])
            entry = []
    open(pot_path, "w", encoding="utf-8").write("\n".join(header + out))


# The languages' own names, offered on the pages under these.
NAMES = {"en": "English", "de": "Deutsch", "fr": "Français", "pl": "Polski",
         "en-XA": "Ƥšéûđö"}
PLURAL_RULE = re.compile(r"^[n0-9\s()?:%<>=!&|+*/-]+$")
MARKUP = "<>&\""


def unquote(line):
    return ast.literal_eval(line)


def read_po(path):
    """The header fields and the entries of a .po file:
    {(context, msgid): (msgid_plural, [msgstr...], fuzzy)}."""
    entries, header = {}, {}
    entry, field = {}, None

    def finish():
        if "msgid" in entry:
            key = (entry.get("msgctxt"), entry["msgid"])
            forms = [entry[f] for f in sorted(k for k in entry if k.startswith("msgstr"))]
            if key in entries:
                sys.exit(f"{path}: {key[1]!r} stands twice")
            entries[key] = (entry.get("msgid_plural"), forms, entry.get("fuzzy", False))

    for number, raw in enumerate(open(path, encoding="utf-8"), 1):
        line = raw.strip()
        if not line:
            finish()
            entry, field = {}, None
        elif line.startswith("#~"):
            continue
        elif line.startswith("#,"):
            if "fuzzy" in line:
                entry["fuzzy"] = True
        elif line.startswith("#"):
            continue
        elif line.startswith('"'):
            entry[field] += unquote(line)
        else:
            name, _, value = line.partition(" ")
            field = name.replace("[", "[0").replace("[00", "[0") if name.startswith("msgstr[") else name
            if name.startswith("msgstr["):
                field = "msgstr[%02d]" % int(name[7:-1])
            entry[field] = unquote(value)
    finish()
    head = entries.pop((None, ""), None)
    if head is None:
        sys.exit(f"{path}: no header")
    for line in head[1][0].split("\n"):
        name, _, value = line.partition(":")
        header[name.strip()] = value.strip()
    return header, entries


def places(text):
    return sorted(set(PLACE.findall(text)))


def check_markup(path, english, text):
    for char in MARKUP:
        if text.count(char) > english.count(char):
            sys.exit(f"{path}: {text!r} adds {char!r}, which {english!r} does not have")


def translate(path, entries_def):
    header, entries = read_po(path)
    tag = header.get("Language", "")
    match = re.match(r"nplurals=(\d+);\s*plural=(.*?);?$", header.get("Plural-Forms", ""))
    if not tag or not match:
        sys.exit(f"{path}: the header needs Language and Plural-Forms")
    count, rule = int(match.group(1)), match.group(2)
    if not PLURAL_RULE.match(rule) or not 1 <= count <= 6:
        sys.exit(f"{path}: the plural rule {rule!r} is not a plain expression of n")
    texts = []
    for key, context, one, other, plural in entries_def:
        found = entries.get((context, one))
        if found is None or found[2] or not all(found[1]):
            sys.exit(f"{path}: {one!r} ({key}) is untranslated or fuzzy")
        forms = found[1]
        if len(forms) != (count if plural else 1) or (found[0] is not None) != plural:
            sys.exit(f"{path}: {one!r} ({key}) has {len(forms)} forms")
        for form in forms:
            check_markup(path, other, form)
            if context == "date format":
                continue
            if places(form) != places(other) and not (plural and set(places(form)) <= set(places(other))):
                sys.exit(f"{path}: {form!r} ({key}) does not keep the places of {other!r}")
        texts.append(forms)
    return tag, count, rule, texts


PSEUDO = dict(zip("abcdeghiklnorstuyzABCDEGHIKLNORSTUYZ",
                  "àƀçđéĝĥîķļñöŕšţûýžÀƁÇĐÉĜĤÎĶĻÑÖŔŠŢÛÝŽ"))
PADDING = "one two three four five six seven eight nine ten".split()
KEEP = re.compile(r"(\{[1-9]\}|<[^>]*>|&[#\w]+;|\\n)")


def pseudo(text):
    """Longer accented English in brackets, places and markup kept."""
    if not text.strip():
        return text
    newline = text.endswith("\n")
    body = text[:-1] if newline else text
    accented = "".join(part if KEEP.fullmatch(part) else "".join(PSEUDO.get(c, c) for c in part)
                       for part in KEEP.split(body))
    letters = sum(c.isalpha() for c in body)
    words = PADDING[:max(1, (letters * 4 // 10 + 3) // 4)]
    return "[" + accented + " " + " ".join(words) + "]" + ("\n" if newline else "")


def fnv1a(text):
    value = 2166136261
    for byte in text.encode("utf-8"):
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return value


def c_string(text):
    out = []
    for byte in text.encode("utf-8"):
        char = chr(byte)
        if char in '"\\':
            out.append("\\" + char)
        elif char == "\n":
            out.append("\\n")
        elif byte < 0x20 or byte == 0x7f:
            out.append("\\%03o" % byte)
        elif byte < 0x80:
            out.append(char)
        else:
            out.append("\\%03o" % byte)
    return '"' + "".join(out) + '"'


def tables(def_path, out_path, po_paths, with_pseudo):
    entries = read_entries(def_path)
    english = [[one, other] if plural else [one] for _, _, one, other, plural in entries]
    languages = [("en", 2, "(n != 1)", english)]
    languages += [translate(path, entries) for path in po_paths]
    if with_pseudo:
        languages.append(("en-XA", 2, "(n != 1)", [[pseudo(f) for f in forms]
                                                    for forms in english]))
    # One string of every text and offsets into it for each language, and
    # the keys' names sorted for the templates' lookup: tables of numbers,
    # which a position-independent program loads without relocating them.
    out = ["// The texts of every language, made by scripts/catalogues.py from",
           "// texts/catalogue.def and po/*.po: do not edit.", ""]

    def blob(name, texts):
        starts, at = [], 0
        for text in texts:
            starts.append(at)
            at += len(text.encode("utf-8"))
        starts.append(at)
        if at >= 65536:
            sys.exit(f"{name}: the texts of one language must stay under 64 KiB")
        out.append(f"constexpr char k{name}Text[] =")
        out.extend(f"    {c_string(t)}" for t in texts)
        out[-1] += ";"
        out.append(f"constexpr uint16_t k{name}Starts[] = {{{', '.join(map(str, starts))}}};")

    # Sorted by their 32-bit FNV-1a hashes: a lookup hashes the name once,
    # searches numbers and compares one name.
    names = sorted((fnv1a(key), key, index) for index, (key, *_rest) in enumerate(entries))
    if len({h for h, _, _ in names}) != len(names):
        sys.exit("two keys of the catalogue have the same hash: rename one")
    blob("Name", [key for _, key, _ in names])
    out.append(f"constexpr uint32_t kNameHashes[] = {{{', '.join(str(h) for h, _, _ in names)}}};")
    out.append(f"constexpr uint16_t kNameKeys[] = {{{', '.join(str(i) for _, _, i in names)}}};")
    out.append("")
    for index, (tag, count, rule, texts) in enumerate(languages):
        flat, first = [], []
        for forms in texts:
            first.append(len(flat))
            flat.extend(forms)
        first.append(len(flat))
        out.append(f"// {tag}")
        blob(str(index), flat)
        out.append(f"constexpr uint16_t kFirst{index}[] = {{{', '.join(map(str, first))}}};")
        out.append(f"static_assert(sizeof kFirst{index} / sizeof kFirst{index}[0] == kTextCount + 1);")
        out.append(f"size_t form{index}([[maybe_unused]] uint64_t n) {{")
        out.append(f"  const size_t form = static_cast<size_t>({rule});")
        out.append(f"  return form < {count} ? form : {count - 1};")
        out.append("}")
        out.append("")
    out.append("constexpr Catalogue kCatalogues[] = {")
    for index, (tag, count, rule, texts) in enumerate(languages):
        offered = "false" if tag == "en-XA" else "true"
        out.append(f"    {{{c_string(tag)}, {c_string(NAMES.get(tag, tag))}, {offered}, "
                   f"k{index}Text, k{index}Starts, kFirst{index}, form{index}}},")
    out.append("};")
    text = "\n".join(out) + "\n"
    try:
        if open(out_path, encoding="utf-8").read() == text:
            return
    except OSError:
        pass
    open(out_path, "w", encoding="utf-8").write(text)


if __name__ == "__main__":
    if sys.argv[1] == "pot":
        pot(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "pot-check":
        import tempfile
        with tempfile.TemporaryDirectory() as folder:
            fresh = os.path.join(folder, "skedra.pot")
            pot(sys.argv[2], fresh)
            if open(fresh, encoding="utf-8").read() != open(sys.argv[3], encoding="utf-8").read():
                sys.exit(f"{sys.argv[3]} is out of date: run scripts/update-po")
    elif sys.argv[1] == "tables" and len(sys.argv) >= 4:
        paths = [arg for arg in sys.argv[4:] if arg != "--pseudo"]
        tables(sys.argv[2], sys.argv[3], paths, "--pseudo" in sys.argv[4:])
    else:
        sys.exit(__doc__)
