#!/usr/bin/env python3
"""Soak test: the installed interface and a firmware stand-in share the
timer database under a realistic load, and nothing is lost.

The build's install tree is served by busybox httpd on 127.0.0.1. Signed-in
clients list, create, edit, clone, enable, disable and delete their own
timers and save the padding defaults, each at a request every 0.2-1 s. A
firmware stand-in (a process of its own) inserts and updates its own rows
the way the firmware does: one statement per write on the connection it
keeps open, no busy timeout, every 0.1-0.5 s. At the end the database must be
intact and must hold exactly what the interface reported as done, with the
margins the triggers promise; web failures must stay under 1 % of the
actions, and the firmware's refusals must not show a share above 1 % of its
writes.

    soak.py --build BUILD --etc ETC [--seconds 60] [--clients 4]

BUILD is a configured and built tree (skedra, lineup) whose RECORDER_ETC_DIR
is ETC: the program reads the timer database and channel list from there,
and this script fills ETC with a fresh recorder. --seconds bounds the whole
run, setup and checks included. Python standard library only.
"""

import argparse
import calendar
import collections
import datetime
import hashlib
import http.client
import json
import math
import os
import random
import re
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CGI_PATH = "/cgi-bin/skedra.cgi"

LOGIN = "soak"
PASSWORD = "soak-pass-7"

# The defaults every "save defaults" stores, in minutes; rows the firmware
# writes get them from the triggers.
DEFAULT_PRE, DEFAULT_POST = 2, 5

SEED_FIRMWARE_ROWS = 40
MAX_FAILURE_SHARE = 0.01
# The firmware, which never waits, is refused whenever one of the
# interface's locks is held at that moment; its refusals must stay under
# this share of its writes.
MAX_REFUSAL_SHARE = 0.01
# A run makes about 180 firmware writes, too few to tell a share of 0.5 %
# from one of 1 % by the count alone: at 0.5 %, one run in four has two
# refusals or more, which is more than 1 % of 180. So the soak fails when
# its count shows the share to be above 1 %: when a share of 1 % would give
# that many refusals or more in fewer than this part of all runs.
REFUSAL_SIGNIFICANCE = 0.05

CARRIED_OUT = "The action was carried out, but the list of timers could not be shown."

# ------------------------------------------------------------ the accounts --


def password_form(login, password):
    """The stored password form: SHA-1 of "login password", each digest word
    in lowercase hexadecimal without leading zeros, ending after the first
    word shorter than eight digits."""
    digest = hashlib.sha1(f"{login} {password}".encode()).digest()
    text = ""
    for i in range(5):
        word = "%x" % int.from_bytes(digest[4 * i:4 * i + 4], "big")
        text += word
        if len(word) < 8:
            break
    return text


def make_account_db(path):
    """An account database with one account of its own password: no
    sign-in of the soak uses the initial account."""
    db = sqlite3.connect(path)
    db.execute("create table sessions (id text primary key, login text, created_time int, "
               "access_time int, sticky int, attrs text)")
    db.execute("create table users (login text primary key, pass text, created_time int, "
               "login_time int, passchange_time int, first_name text, surname text)")
    db.execute("insert into users (login, pass, created_time, passchange_time) "
               "values (?, ?, strftime('%s', 'now'), strftime('%s', 'now'))",
               (LOGIN, password_form(LOGIN, PASSWORD)))
    db.commit()
    db.close()


# ------------------------------------------------------------ the firmware --


def start_seconds(year, month, day, hour, minute):
    """The start columns read as a UTC date and time (the soak runs in UTC)."""
    return calendar.timegm((year, month, day, hour, minute, 0))


def firmware_connection(db_path):
    """The firmware's own connection: it keeps its database open for as long
    as it runs, waits for no lock (no busy timeout) and writes each change in
    a transaction of its own."""
    return sqlite3.connect(db_path, timeout=0, isolation_level=None)


def firmware_insert(db, title, when):
    """Inserts one tuner timer without margins, as the firmware does. Returns
    its ID."""
    cursor = db.execute(
        "insert into timer_record_table (datestamp, date, date_year, date_month, date_day, "
        "start_hour, start_minute, length_hour, length_minute, source, channel, quality, "
        "target, SAP, timestamp_start, timestamp_offset, enable, lock, schedule_type, "
        "event_id, user_id, user_string) values (0, 0, ?, ?, ?, ?, ?, 1, 0, 10, 3, 0, 0, 0, "
        "?, 3600, 0, 0, 0, -1, 0, ?)",
        (when.year, when.month, when.day, when.hour, when.minute,
         start_seconds(when.year, when.month, when.day, when.hour, when.minute), title))
    return cursor.lastrowid


def firmware_move(db, row_id, when):
    """Moves a timer to another start, writing the times without margins as
    the firmware does after a recording; the triggers keep the margins."""
    db.execute(
        "update timer_record_table set date_year = ?, date_month = ?, date_day = ?, "
        "start_hour = ?, start_minute = ?, timestamp_start = ?, timestamp_offset = 3600 "
        "where ID = ?",
        (when.year, when.month, when.day, when.hour, when.minute,
         start_seconds(when.year, when.month, when.day, when.hour, when.minute), row_id))


def random_start(rng):
    return datetime.datetime(2031, rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 22),
                             rng.choice((0, 15, 30, 45)))


def run_firmware(db_path, seconds, seed, rows_file):
    """The firmware stand-in's own process: writes for `seconds`, then prints
    its counts and the rows it owns as JSON."""
    rng = random.Random(seed)
    rows = json.load(open(rows_file)) if rows_file else {}
    counts = collections.Counter()
    deadline = time.monotonic() + seconds
    serial = 0
    db = firmware_connection(db_path)
    while time.monotonic() < deadline:
        time.sleep(rng.uniform(0.1, 0.5))
        when = random_start(rng)
        try:
            if not rows or rng.random() < 0.4:
                serial += 1
                title = f"fw-{seed}-{serial}"
                row_id = firmware_insert(db, title, when)
                rows[str(row_id)] = {"title": title, "start": when.isoformat()}
                counts["inserts"] += 1
            else:
                row_id = rng.choice(sorted(rows))
                firmware_move(db, int(row_id), when)
                rows[row_id]["start"] = when.isoformat()
                counts["updates"] += 1
        except sqlite3.OperationalError as error:
            key = "refused" if "locked" in str(error) or "busy" in str(error) else "errors"
            counts[key] += 1
            if key == "errors":
                print(f"firmware: {error}", file=sys.stderr)
        counts["writes"] += 1
    db.close()
    json.dump({"counts": counts, "rows": rows}, sys.stdout)


# ------------------------------------------------------------- the clients --


class Outcome:
    DONE = "done"                # the list page with the action's notice
    DONE_UNLISTED = "unlisted"   # carried out, the list could not be shown
    FAILED = "failed"            # the error text: nothing was carried out
    SIGNED_OUT = "signed out"    # the sign-in page: the action was dropped


ROW_LINK = re.compile(r'edit=Edit&amp;key=(\d+)#timer-form">([^<]*)</a>')
NOTICE = re.compile(r'<div class="msg msg-notice" role="status">(.*?)</div>', re.S)
FORM_TOKEN = re.compile(r'name="formtoken" value="([0-9a-f]+)"')


class Client:
    """One signed-in browser acting on its own timers. The model holds every
    timer the interface reported as created and not deleted: title, margins
    in minutes, the enable column and its ID once a list page showed it."""

    def __init__(self, number, port, rng, deadline):
        self.number = number
        self.port = port
        self.rng = rng
        self.deadline = deadline
        self.cookie = None
        self.token = None      # the form token of the last page drawn
        self.serial = 0
        self.model = []        # dicts: id, title, pre, post, enable
        self.lost_titles = []  # titles of writes reported as failed
        self.counts = collections.Counter()
        self.failures = []     # (action, first line of the response)

    # ---- HTTP

    def request(self, body=None, query=""):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        headers = {}
        if self.cookie:
            headers["Cookie"] = "quibsession=" + self.cookie
        if body is None:
            connection.request("GET", CGI_PATH + ("?" + query if query else ""), headers=headers)
        else:
            headers["Content-Type"] = "application/x-www-form-urlencoded"
            connection.request("POST", CGI_PATH, body=body.encode(), headers=headers)
        response = connection.getresponse()
        text = response.read().decode("utf-8", "replace")
        for name, value in response.getheaders():
            if name.lower() == "set-cookie" and value.startswith("quibsession="):
                session = value.split(";", 1)[0].split("=", 1)[1]
                if session and session != "0":
                    self.cookie = session
        connection.close()
        if response.status != 200:
            raise RuntimeError(f"HTTP {response.status}")
        # A page's forms carry its token; a page without one (an error page)
        # leaves the last one, which its failed action did not spend.
        found = FORM_TOKEN.search(text)
        if found:
            self.token = found.group(1)
        return text

    def with_token(self, body):
        """The body as the page's form sends it: with the token of the last
        page, which is read first when no page has been drawn since the last
        action spent it."""
        for _ in range(20):
            if self.token:
                break
            self.request()
        token, self.token = self.token, None
        return body + "&formtoken=" + (token or "")

    def sign_in(self):
        page = self.request(urllib.parse.urlencode({"login": LOGIN, "pass": PASSWORD}))
        if not self.cookie or 'class="timers"' not in page:
            raise RuntimeError("client %d could not sign in:\n%s" % (self.number, page[:400]))

    @staticmethod
    def classify(page, notice):
        if CARRIED_OUT in page:
            return Outcome.DONE_UNLISTED
        if "SQL error code" in page:
            return Outcome.FAILED
        if 'class="timers"' not in page and 'name="pass"' in page:
            return Outcome.SIGNED_OUT
        found = NOTICE.search(page)
        if 'class="timers"' in page and page.rstrip().endswith("</html>"):
            # A write may add a remark after its sentence (an overlap, a
            # start in the past).
            if notice is None or (found and found.group(1).startswith(notice)):
                return Outcome.DONE
        raise RuntimeError("unexpected response (wanted notice %r):\n%s" % (notice, page[:2000]))

    def act(self, action, body, notice):
        """Runs one action; returns its outcome and the page."""
        self.counts["actions"] += 1
        page = self.request(self.with_token(body)) if body is not None else self.request()
        outcome = self.classify(page, notice)
        self.counts[outcome] += 1
        if outcome != Outcome.DONE:
            self.counts["web failures"] += 1
            self.failures.append((action, page.strip().splitlines()[-1][:200] if page else ""))
        return outcome, page

    def settle(self, outcome, page):
        """After the model took in an action: a list page names the IDs."""
        if outcome == Outcome.DONE:
            self.learn_ids(page)

    def learn_ids(self, page):
        """Gives the model's timers without an ID the IDs of the rows this
        page shows under their titles."""
        known = {t["id"] for t in self.model if t["id"] is not None}
        shown = [(int(i), title) for i, title in ROW_LINK.findall(page)]
        for timer in self.model:
            if timer["id"] is not None:
                continue
            for row_id, title in shown:
                if title == timer["title"] and row_id not in known:
                    timer["id"] = row_id
                    known.add(row_id)
                    break

    # ---- actions

    def new_title(self, kind):
        self.serial += 1
        return f"c{self.number}-{kind}{self.serial}"

    def timer_form(self, title, pre, post, savedef):
        when = random_start(self.rng)
        fields = {"title": title, "channel": self.rng.randint(1, 30), "day": when.day,
                  "month": when.month, "year": when.year, "hh": when.hour, "mm": when.minute,
                  "hours": self.rng.randint(0, 2), "mins": self.rng.choice((15, 30, 45)),
                  "prepad": pre, "postpad": post, "repeat": 0, "quality": 1, "target": 0,
                  "disabled": 0}
        if savedef:
            fields["savedef"] = 1
        return fields

    def write_timer(self, savedef=False, edit=False):
        """Creates a timer, or edits one of the client's own."""
        listed = [t for t in self.model if t["id"] is not None]
        updating = bool(listed) and (edit or (savedef and self.rng.random() < 0.5))
        pre, post = ((DEFAULT_PRE, DEFAULT_POST) if savedef else
                     (self.rng.randint(0, 10), self.rng.randint(0, 15)))
        title = self.new_title("u" if updating else "c")
        fields = self.timer_form(title, pre, post, savedef)
        if updating:
            timer = self.rng.choice(listed)
            fields.update({"update": "Update", "key": timer["id"]})
            notice = f'Updated "{title}".'
        else:
            fields["create"] = "Create"
            notice = f'Created "{title}".'
        outcome, page = self.act(
            "save defaults" if savedef else ("edit" if updating else "create"),
            urllib.parse.urlencode(fields), notice)
        if outcome in (Outcome.DONE, Outcome.DONE_UNLISTED):
            if updating:
                timer.update({"title": title, "pre": pre, "post": post, "enable": 0})
            else:
                self.model.append({"id": None, "title": title, "pre": pre, "post": post,
                                   "enable": 0})
        else:
            self.lost_titles.append(title)
        self.settle(outcome, page)

    def group(self, verb):
        listed = [t for t in self.model if t["id"] is not None]
        if not listed:
            return self.write_timer()
        chosen = self.rng.sample(listed, min(len(listed), self.rng.choice((1, 1, 2))))
        n = len(chosen)
        plural = "" if n == 1 else "s"
        notice = {
            "delete": f"Deleted {n} timer{plural}.",
            "enable": f"Enabled {n} timer{plural}.",
            "disable": f"Disabled {n} timer{plural}.",
            "clone": (f"Cloned {n} timer (the copy is disabled)." if n == 1 else
                      f"Cloned {n} timers (the copies are disabled)."),
        }[verb]
        body = urllib.parse.urlencode([(verb, verb.capitalize())] +
                                      [("key", t["id"]) for t in chosen])
        # Enable and disable may find the state already set; the count says
        # the rows the statement touched, which is every selected row.
        outcome, page = self.act(verb, body, notice)
        if outcome not in (Outcome.DONE, Outcome.DONE_UNLISTED):
            return
        if verb == "delete":
            self.model = [t for t in self.model if t not in chosen]
        elif verb in ("enable", "disable"):
            for timer in chosen:
                timer["enable"] = 0 if verb == "enable" else 1
        else:
            for timer in chosen:
                self.model.append(dict(timer, id=None, enable=1))
        self.settle(outcome, page)

    def run(self):
        while time.monotonic() < self.deadline:
            time.sleep(self.rng.uniform(0.2, 1.0))
            if time.monotonic() >= self.deadline:
                break
            pick = self.rng.random()
            if pick < 0.25:
                self.settle(*self.act("list", None, None))
            elif pick < 0.45:
                self.write_timer()
            elif pick < 0.60:
                self.write_timer(edit=True)
            elif pick < 0.67:
                self.write_timer(savedef=True)
            elif pick < 0.77:
                self.group("clone")
            elif pick < 0.90:
                self.group(self.rng.choice(("enable", "disable")))
            else:
                self.group("delete")


# ---------------------------------------------------------------- the run --


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_server(port, server):
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        if server.poll() is not None:
            raise RuntimeError(f"busybox httpd exited with {server.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("busybox httpd does not answer")


def margins(row):
    """(pre, post) in seconds of a stored row, its start read in UTC."""
    start = start_seconds(row["date_year"], row["date_month"], row["date_day"],
                          row["start_hour"], row["start_minute"])
    length = row["length_hour"] * 3600 + row["length_minute"] * 60
    pre = start - row["timestamp_start"]
    return pre, row["timestamp_offset"] - length - pre


def check(results, db_path, clients, firmware):
    """The checks of the end; returns the failed ones."""
    failed = []

    def expect(ok, what):
        results.append(("ok  " if ok else "FAIL") + "  " + what)
        if not ok:
            failed.append(what)

    db = sqlite3.connect(db_path)
    db.row_factory = sqlite3.Row
    integrity = db.execute("pragma integrity_check").fetchone()[0]
    expect(integrity == "ok", f"pragma integrity_check: {integrity}")
    rows = [dict(r) for r in db.execute("select * from timer_record_table")]
    db.close()
    by_title = collections.defaultdict(list)
    for row in rows:
        by_title[row["user_string"]].append(row)

    # What the interface reported as done is there, with the margins the form
    # sent; what it reported as failed is not; nothing is there twice.
    expected = collections.Counter()
    for client in clients:
        for t in client.model:
            expected[(t["title"], 60 * t["pre"], 60 * t["post"], t["enable"])] += 1
    stored = collections.Counter(
        (r["user_string"], *margins(r), r["enable"]) for r in rows
        if r["user_string"].startswith("c"))
    missing = expected - stored
    extra = stored - expected
    done = sum(expected.values())
    expect(not missing, f"reported done and in the table: {done - sum(missing.values())} of "
           f"{done} timers" + (f"; missing {sorted(missing)[:5]}" if missing else ""))
    lost = [t for c in clients for t in c.lost_titles]
    present = [t for t in lost if t in by_title]
    expect(not present, f"reported failed and absent: {len(lost) - len(present)} of {len(lost)} "
           "writes" + (f"; present {present[:5]}" if present else ""))
    duplicates = sum(n - 1 for n in collections.Counter(
        r["user_string"] for r in rows).values() if n > 1)
    expected_duplicates = sum(n - 1 for n in collections.Counter(
        t for t, *_ in expected.elements()).values() if n > 1)
    expect(not extra and duplicates == expected_duplicates,
           f"no duplicates or unexpected rows: {sum(extra.values())} unexpected, "
           f"{duplicates} repeated titles ({expected_duplicates} from clones)"
           + (f"; unexpected {sorted(extra)[:5]}" if extra else ""))

    # Every row's margins: the form's for the interface's rows (checked
    # above), the defaults for the firmware's, and no marker left anywhere.
    wrong = [r["ID"] for r in rows if r["source"] >= 100]
    fw_rows = firmware["rows"]
    for row_id, owned in fw_rows.items():
        found = [r for r in by_title.get(owned["title"], []) if r["ID"] == int(row_id)]
        when = datetime.datetime.fromisoformat(owned["start"])
        if (len(found) != 1 or margins(found[0]) != (60 * DEFAULT_PRE, 60 * DEFAULT_POST) or
                (found[0]["date_year"], found[0]["date_month"], found[0]["date_day"],
                 found[0]["start_hour"], found[0]["start_minute"]) !=
                (when.year, when.month, when.day, when.hour, when.minute)):
            wrong.append(int(row_id))
    firmware_titles = {owned["title"] for owned in fw_rows.values()}
    strays = [r["ID"] for r in rows if r["user_string"].startswith("fw-") and
              r["user_string"] not in firmware_titles]
    expect(not wrong and not strays,
           f"trigger margins right on every row: {len(rows) - len(wrong)} of {len(rows)} rows, "
           f"{len(fw_rows)} of them the firmware's" +
           (f"; wrong {wrong[:5]}" if wrong else "") + (f"; strays {strays[:5]}" if strays else ""))

    actions = sum(c.counts["actions"] for c in clients)
    web_failures = sum(c.counts["web failures"] for c in clients)
    expect(web_failures < MAX_FAILURE_SHARE * actions,
           f"web failures: {web_failures} of {actions} actions ({percent(web_failures, actions)})")
    counts = firmware["counts"]
    writes, refused = counts.get("writes", 0), counts.get("refused", 0)
    chance = at_least(refused, writes, MAX_REFUSAL_SHARE)
    expect(chance >= REFUSAL_SIGNIFICANCE and counts.get("errors", 0) == 0,
           f"firmware refusals: {refused} of {writes} writes ({percent(refused, writes)}), "
           f"{counts.get('errors', 0)} other errors; a share of {MAX_REFUSAL_SHARE * 100:.0f} % "
           f"gives as many or more in {chance * 100:.0f} % of runs")
    return failed


def at_least(count, trials, share):
    """The chance that `count` or more of `trials` independent writes are
    refused when each is refused with chance `share`."""
    below = sum(math.comb(trials, k) * share ** k * (1 - share) ** (trials - k)
                for k in range(count))
    return max(0.0, 1.0 - below)


def percent(part, whole):
    return "%.2f %%" % (100.0 * part / whole) if whole else "-"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--etc", required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--clients", type=int, default=4)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--busybox", default=shutil.which("busybox") or "busybox")
    parser.add_argument("--cmake", default=shutil.which("cmake") or "cmake")
    parser.add_argument("--memory", metavar="DIR",
                        help="keep the timer database in DIR (a tmpfs) instead of ETC")
    parser.add_argument("--firmware", nargs=4, metavar=("DB", "SECONDS", "SEED", "ROWS"),
                        help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.firmware:
        db, seconds, seed, rows = args.firmware
        run_firmware(db, float(seconds), int(seed), rows)
        return 0

    began = time.monotonic()
    os.environ["TZ"] = "UTC"
    time.tzset()
    work = tempfile.mkdtemp(prefix="skedra-soak-")
    memory = None
    server = None
    try:
        prefix = os.path.join(work, "install")
        subprocess.run([args.cmake, "--install", args.build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        shutil.rmtree(args.etc, ignore_errors=True)
        os.makedirs(args.etc)
        if args.memory:
            memory = tempfile.mkdtemp(prefix="skedra-soak-", dir=args.memory)
            os.symlink(memory, os.path.join(args.etc, "dvdplayer"))
        else:
            os.makedirs(os.path.join(args.etc, "dvdplayer"))
        db_path = os.path.join(args.etc, "dvdplayer", "schedule_record.db")
        db = sqlite3.connect(db_path)
        db.executescript(open(os.path.join(SOURCE_DIR, "tests", "firmware_schema.sql")).read())
        db.close()
        shutil.copy(os.path.join(SOURCE_DIR, "scripts", "demo-channels.info"),
                    os.path.join(args.etc, "dtv_channels.info"))
        auth_db = os.path.join(work, "quibauth.db")
        make_account_db(auth_db)

        port = free_port()
        log = open(os.path.join(work, "httpd.log"), "w")
        server = subprocess.Popen(
            [args.busybox, "httpd", "-f", "-p", f"127.0.0.1:{port}", "-h",
             os.path.join(prefix, "www")],
            env=dict(os.environ, quibauth=auth_db, TZ="UTC"), stdout=log, stderr=log)
        wait_for_server(port, server)

        # Reserve time for the checks; the load runs for the rest.
        load_seconds = args.seconds - (time.monotonic() - began) - 6
        if load_seconds < 5:
            raise RuntimeError("no time left for the load")
        deadline = time.monotonic() + load_seconds
        rng = random.Random(args.seed)
        clients = [Client(n + 1, port, random.Random(rng.random()), deadline)
                   for n in range(args.clients)]
        for client in clients:
            client.sign_in()
        # The defaults are saved before the firmware writes, so that every
        # firmware row gets its margins from the triggers.
        clients[0].write_timer(savedef=True)
        if clients[0].counts["web failures"]:
            raise RuntimeError("the first save of the defaults failed")
        seed_rows = {}
        seed = firmware_connection(db_path)
        for n in range(SEED_FIRMWARE_ROWS):
            title = f"fw-seed-{n}"
            when = random_start(rng)
            row_id = firmware_insert(seed, title, when)
            seed_rows[str(row_id)] = {"title": title, "start": when.isoformat()}
        seed.close()
        rows_file = os.path.join(work, "firmware-rows.json")
        json.dump(seed_rows, open(rows_file, "w"))

        firmware = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "--build", args.build, "--etc", args.etc,
             "--firmware", db_path, str(deadline - time.monotonic()), str(args.seed), rows_file],
            stdout=subprocess.PIPE, env=dict(os.environ, TZ="UTC"))
        errors = []

        def run(client):
            try:
                client.run()
            except Exception as error:  # reported below, fails the soak
                errors.append(f"client {client.number}: {error}")

        threads = [threading.Thread(target=run, args=(c,)) for c in clients]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        out, _ = firmware.communicate(timeout=30)
        if firmware.returncode != 0:
            errors.append(f"the firmware stand-in exited with {firmware.returncode}")
        firmware_result = json.loads(out or b'{"counts": {}, "rows": {}}')
        server.terminate()
        server.wait(timeout=10)
        server = None

        totals = collections.Counter()
        for client in clients:
            totals.update(client.counts)
        print(f"soak: {args.clients} clients and the firmware stand-in for {load_seconds:.0f} s "
              f"(seed {args.seed}), the timer database {'in ' + memory if memory else 'on disk'}")
        print("  web actions: %d: %d done, %d carried out but not listed, %d failed, "
              "%d shown the sign-in page" % (totals["actions"], totals[Outcome.DONE],
                                              totals[Outcome.DONE_UNLISTED],
                                              totals[Outcome.FAILED], totals[Outcome.SIGNED_OUT]))
        fc = firmware_result["counts"]
        print("  firmware writes: %d: %d inserts, %d updates, %d refused, %d other errors" %
              (fc.get("writes", 0), fc.get("inserts", 0), fc.get("updates", 0),
               fc.get("refused", 0), fc.get("errors", 0)))
        failures = collections.Counter(f for c in clients for f in c.failures)
        for (action, line), n in failures.most_common(10):
            print(f"  failed {n}x {action}: {line}")
        results = []
        failed = check(results, db_path, clients, firmware_result) + errors
        for line in results:
            print("  " + line)
        for error in errors:
            print("  FAIL  " + error)
        print(f"soak: {'FAILED' if failed else 'passed'} in {time.monotonic() - began:.0f} s")
        return 1 if failed else 0
    finally:
        if server is not None:
            server.terminate()
            server.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)
        if memory:
            shutil.rmtree(memory, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
