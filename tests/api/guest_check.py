#!/usr/bin/env python3
"""The JSON interface as the recorder serves it: signs in with the pages'
form, then lists, creates, updates (with the version read, and once with a
stale one) and deletes a timer through the interface with that session; and
the list page in German for a browser that asks for Austrian German.

    guest_check.py PROGRAM_URL PASSWORD

Exit status 0 when every answer was the one expected, else 1."""
import http.cookiejar
import json
import sys
import urllib.error
import urllib.parse
import urllib.request


def main():
    base, password = sys.argv[1], sys.argv[2]
    jar = http.cookiejar.CookieJar()
    opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(jar))
    query = urllib.parse.urlencode({"login": "admin", "pass": password})
    opener.open(f"{base}?{query}", timeout=60).read()

    def call(method, path, body=None, headers=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(f"{base}/api/v1{path}", data=data, method=method)
        request.add_header("Content-Type", "application/json")
        for name, value in (headers or {}).items():
            request.add_header(name, value)
        try:
            with opener.open(request, timeout=60) as answer:
                return answer.status, json.loads(answer.read())
        except urllib.error.HTTPError as error:
            return error.code, json.loads(error.read())

    failures = []

    def expect(what, status, wanted):
        print(f"guest_check: {what}: {status}")
        if status != wanted:
            failures.append(what)

    status, listed = call("GET", "/timers")
    expect("list", status, 200)
    status, created = call("POST", "/timers", {
        "title": "Guest & <check>", "channel": 1, "start": "2031-03-14T20:15:00+01:00",
        "length_minutes": 30})
    expect("create", status, 201)
    timer = created.get("timer", {})
    stale = timer.get("version", "")
    status, updated = call("PUT", f"/timers/{timer.get('id')}", {"title": "Guest check"},
                           {"If-Match": f'"{stale}"'})
    expect("update", status, 200)
    if updated.get("timer", {}).get("title") != "Guest check":
        failures.append("update kept the title")
    status, _ = call("PUT", f"/timers/{timer.get('id')}", {"title": "Lost"},
                     {"If-Match": f'"{stale}"'})
    expect("update with the stale version", status, 412)
    status, _ = call("DELETE", f"/timers/{timer.get('id')}")
    expect("delete", status, 200)
    status, after = call("GET", "/timers")
    expect("list again", status, 200)
    if len(after.get("items", [])) != len(listed.get("items", [])):
        failures.append("the timers after the checks differ in number")
    request = urllib.request.Request(base, headers={"Accept-Language": "de-AT,en;q=0.5"})
    with opener.open(request, timeout=60) as answer:
        language, page = answer.headers.get("Content-Language"), answer.read().decode()
    print(f"guest_check: the list page for de-AT: {language}")
    if language != "de" or '<html lang="de">' not in page:
        failures.append("the list page for de-AT is not German")
    if failures:
        print("guest_check: failed: " + ", ".join(failures), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
