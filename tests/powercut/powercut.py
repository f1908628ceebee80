#!/usr/bin/env python3
"""Power cuts on the emulated recorder (scripts/recorder-vm --check).

The timer and account databases live on the guest's ext4 disk. A browser
stand-in signs in and creates, updates and deletes timers through the real
CGI over HTTP, submitting each page's own forms (hidden fields and form
token included), while a firmware stand-in inside the guest inserts and
moves timers of its own (firmware.sh). At a random moment qemu is killed
(SIGKILL); the recorder comes up again on the same disk and then:

  - PRAGMA integrity_check is "ok" on both databases,
  - every action the browser was told succeeded is there, and the web's
    timers are exactly the acknowledged ones, plus or minus the one action
    whose answer the cut swallowed, applied whole or not at all,
  - every firmware write that SQLite committed is there,
  - signing in with the acknowledged password works.

Before the cuts, a read-only and then a full file system must answer a
create with an error page, report nothing as done and leave both databases
intact. At the end the guest unmounts the disk and e2fsck finds it clean.

Booting the Malta kernel takes 20 s and more under emulation, so the
recorder is booted once up to the point before its disk driver loads, and
that state is saved (qemu's migration to a file). Each "boot" after a cut
restores that state: a fresh kernel that then loads the disk driver, mounts
the file system (replaying its journal) and opens the databases, as the
recorder does after a power cut.

    powercut.py --cuts N --disk IMAGE --state FILE --work DIR --port P \\
        --run-port Q [--seed S] -- qemu-system-mipsel ARGS...

ARGS boot the recorder with IMAGE as its disk, forwarding P to the guest's
web server and Q to its command port; the saved state goes to FILE, the
console logs to DIR.

Python standard library only.
"""

import argparse
import html
import html.parser
import http.client
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

CGI = "/cgi-bin/skedra.cgi"
TIMER_DB = "/usr/local/etc/dvdplayer/schedule_record.db"
AUTH_DB = "/usr/local/etc/quibauth.db"
SQL = "/opt/check/bin/sqlite3"
LOGIN = "admin"
INITIAL_PASSWORD = "482"

ROW_LINK = re.compile(r'<a href="([^"]*edit=Edit&amp;key=(\d+)[^"]*)">([^<]*)</a>')
# The page's boxes: outcomes in the status box, errors in an alert box
# beside the form they concern; the first that holds a text is the one.
NOTICE = re.compile(r'<div class="msg msg-notice"[^>]*>([^<]+)</div>')
ERROR = re.compile(r'<div class="msg msg-error"[^>]*>([^<]+)</div>')


class Failure(Exception):
    pass


# ------------------------------------------------------------------ forms --


class Forms(html.parser.HTMLParser):
    """The forms of a page as a browser sees them: each with its controls
    in document order."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.forms = []
        self.select = None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "form":
            self.forms.append({"action": a.get("action", ""), "controls": []})
        elif not self.forms:
            return
        controls = self.forms[-1]["controls"]
        if tag == "input" and "name" in a and "disabled" not in a:
            controls.append({"tag": "input", "type": a.get("type", "text"), "name": a["name"],
                             "value": a.get("value", "on" if a.get("type") in ("checkbox", "radio")
                                            else ""), "checked": "checked" in a})
        elif tag == "button" and "name" in a:
            controls.append({"tag": "button", "type": a.get("type", "submit"), "name": a["name"],
                             "value": a.get("value", "")})
        elif tag == "select":
            self.select = {"tag": "select", "name": a.get("name"), "options": [], "value": None}
            controls.append(self.select)
        elif tag == "option" and self.select is not None:
            self.select["options"].append(a.get("value", ""))
            if "selected" in a or self.select["value"] is None:
                self.select["value"] = a.get("value", "")

    def handle_endtag(self, tag):
        if tag == "select":
            self.select = None

    def find(self, name):
        """The first form with a control of that name."""
        for form in self.forms:
            if any(c["name"] == name for c in form["controls"]):
                return form
        raise Failure(f"no form with the field {name!r}")


def channels(page):
    """The tuner channels the form offers (not the AV input, which the table
    keeps under another source)."""
    form = Forms(page).find("channel")
    values = next(c for c in form["controls"] if c["name"] == "channel")["options"]
    return [v for v in values if v.isdigit()]


def submission(form, fill, button=None):
    """The fields a browser sends for the form with the `fill` values typed
    in (a list value ticks the checkboxes of those values) and the submit
    button of that name pressed (None: a form without named buttons)."""
    fields = []
    for c in form["controls"]:
        name = c["name"]
        if c["tag"] == "button":
            if name == button:
                fields.append((name, c["value"]))
        elif c["tag"] == "select":
            fields.append((name, str(fill.get(name, c["value"]))))
        elif c["type"] in ("checkbox", "radio"):
            wanted = fill.get(name)
            if wanted is None:
                chosen = c["checked"]
            elif isinstance(wanted, list):
                chosen = c["value"] in [str(v) for v in wanted]
            else:
                chosen = c["value"] == str(wanted)
            if chosen:
                fields.append((name, c["value"]))
        elif c["type"] not in ("submit", "button", "reset"):
            fields.append((name, str(fill.get(name, c["value"]))))
    return urllib.parse.urlencode(fields)


# -------------------------------------------------------------- the browser --


class Browser:
    """One browser: its cookies and the page it shows."""

    def __init__(self, port):
        self.port = port
        self.cookies = {}
        self.page = ""

    def request(self, path, body=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        cookie = "; ".join(name + "=" + value for name, value in self.cookies.items())
        headers = {"Cookie": cookie} if cookie else {}
        if body is None:
            connection.request("GET", path, headers=headers)
        else:
            headers["Content-Type"] = "application/x-www-form-urlencoded"
            connection.request("POST", path, body=body.encode(), headers=headers)
        response = connection.getresponse()
        text = response.read().decode("utf-8", "replace")
        for name, value in response.getheaders():
            if name.lower() == "set-cookie" and "=" in value:
                # A cookie set to "0" or to nothing is one the page ended.
                cookie, content = value.split(";", 1)[0].split("=", 1)
                if content and content != "0":
                    self.cookies[cookie.strip()] = content
                else:
                    self.cookies.pop(cookie.strip(), None)
        connection.close()
        self.page = text
        return text

    def open(self, href=CGI):
        """Follows a link of the page (its fragment stays in the browser)."""
        return self.request(urllib.parse.urljoin(CGI, href).split("#", 1)[0])

    def submit(self, field, fill, button=None):
        form = Forms(self.page).find(field)
        action = urllib.parse.urljoin(CGI, html.unescape(form["action"]) or CGI)
        return self.request(action, submission(form, fill, button))

    def notice(self):
        found = NOTICE.search(self.page)
        return html.unescape(found.group(1)) if found else ""

    def message(self):
        found = ERROR.search(self.page)
        return html.unescape(found.group(1)) if found else ""

    def on_list(self):
        return 'class="timers"' in self.page

    def rows(self):
        """Title -> (ID, edit link) of the timers the list page shows."""
        return {title: (int(key), html.unescape(href))
                for href, key, title in ROW_LINK.findall(self.page)}


def sign_in(browser, password):
    browser.open()
    browser.submit("pass", {"login": LOGIN, "pass": password})
    return browser.on_list() or 'name="newpass2"' in browser.page


# ------------------------------------------------------------------ guest --


class Guest:
    def __init__(self, args):
        self.args = args
        self.process = None
        self.console = None
        self.found = ""

    def start(self, extra, console_path):
        self.console = console_path
        with open(console_path, "wb") as log:
            self.process = subprocess.Popen(self.args.qemu + extra, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 240
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise Failure(f"qemu ended:\n{open(console_path).read()[-3000:]}")
            try:
                c = http.client.HTTPConnection("127.0.0.1", self.args.port, timeout=2)
                c.request("GET", "/skedra.css")
                ok = c.getresponse().status == 200
                c.close()
                if ok:
                    return
            except OSError:
                pass
            time.sleep(0.2)
        raise Failure("the guest did not answer")

    def run(self, command, check=True):
        c = http.client.HTTPConnection("127.0.0.1", self.args.run_port, timeout=120)
        c.request("POST", "/cgi-bin/run", body=command.encode())
        out = c.getresponse().read().decode("utf-8", "replace")
        c.close()
        end = out.rfind("exit status ")
        if check and (end < 0 or out[end:].strip() != "exit status 0"):
            raise Failure(f"in the guest: {command}\n{out}")
        return out[:end] if end >= 0 else out

    def sql(self, db, statement):
        out = self.run(f"{SQL} -json {db} <<'SQL_END'\n{statement};\nSQL_END\n")
        return json.loads(out) if out.strip() else []

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()

    def firmware_acks(self):
        """The firmware stand-in's committed writes that reached the console."""
        inserts, moves = [], []
        for line in open(self.console, errors="replace"):
            words = line.split()
            if words[:2] == ["firmware:", "insert"] and len(words) == 3:
                inserts.append(words[2])
            elif words[:2] == ["firmware:", "move"] and len(words) == 4:
                moves.append((words[2], int(words[3])))
        return inserts, moves


def monitor(path, *commands):
    """Sends commands to qemu's human monitor on a unix socket."""
    with socket.socket(socket.AF_UNIX) as s:
        s.connect(path)
        for command in commands:
            s.sendall(command.encode() + b"\n")
            time.sleep(0.3)
        s.settimeout(1)
        try:
            return s.recv(65536).decode("utf-8", "replace")
        except socket.timeout:
            return ""


def save_state(args, guest, work):
    """Boots the recorder without its disk and saves that running state."""
    # A socket's path has at most 107 bytes: a short one of its own.
    sock = os.path.join(tempfile.mkdtemp(prefix="skedra-powercut-"), "monitor")
    qemu = list(args.qemu)
    i = qemu.index("-append")
    qemu[i + 1] += " skedra.disk=later"
    guest.args = argparse.Namespace(**{**vars(args), "qemu": qemu})
    guest.start(["-monitor", f"unix:{sock},server,nowait"], os.path.join(work, "console-0.log"))
    guest.args = args
    if os.path.exists(args.state):
        os.unlink(args.state)
    monitor(sock, f'migrate "exec:cat > {args.state}"')
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        status = monitor(sock, "info migrate")
        if "Migration status: completed" in status:
            break
        if "Migration status: failed" in status:
            raise Failure(f"saving the guest failed:\n{status}")
        time.sleep(0.5)
    else:
        raise Failure("saving the guest took too long")
    guest.kill()
    shutil.rmtree(os.path.dirname(sock), ignore_errors=True)


def boot(args, guest, work, number):
    """A fresh start of the recorder from the saved state, with its disk."""
    guest.start(["-incoming", f"exec:cat {args.state}"],
                os.path.join(work, f"console-{number}.log"))
    # Every restore starts from the same random generator state: new bytes
    # from here, or each restored recorder would hand out the same session ids.
    # What the disk holds before anything opens a database (a journal left
    # by the cut shows here), for a failure's report.
    guest.found = guest.run(
        f"date -s @{int(time.time())} >/dev/null && "
        f"printf %s {os.urandom(64).hex()} | /opt/check/bin/reseed && /sbin/attach-disk && "
        "ls -la /usr/local/etc /usr/local/etc/dvdplayer")


# ---------------------------------------------------------------- the model --


def timer_values(rng, title):
    """Form values of a timer the browser enters: the page's date, start and
    end, and the numbers they stand for. The days stop before the last week
    of a month, where the recorder's zone changes its clocks (an end read as
    local time would then give another length)."""
    values = {"title": title, "day": rng.randint(1, 24), "month": rng.randint(1, 12),
              "year": 2031, "hh": rng.randint(0, 23), "mm": rng.choice((0, 15, 30, 45)),
              "hours": rng.randint(0, 2), "mins": rng.choice((15, 30, 45)),
              "prepad": rng.randint(0, 10), "postpad": rng.randint(0, 15), "disabled": 0}
    end = (60 * (values["hh"] + values["hours"]) + values["mm"] + values["mins"]) % (24 * 60)
    values["date"] = f"{values['year']}-{values['month']:02d}-{values['day']:02d}"
    values["start"] = f"{values['hh']:02d}:{values['mm']:02d}"
    values["end"] = f"{end // 60:02d}:{end % 60:02d}"
    return values


def stored(values, channel):
    """What the timer table holds for those form values."""
    return (int(channel), values["year"], values["month"], values["day"], values["hh"],
            values["mm"], values["hours"], values["mins"],
            60 * (values["prepad"] + values["postpad"]))


def row_state(row):
    length = 3600 * row["length_hour"] + 60 * row["length_minute"]
    return (row["channel"], row["date_year"], row["date_month"], row["date_day"],
            row["start_hour"], row["start_minute"], row["length_hour"], row["length_minute"],
            row["timestamp_offset"] - length)


class Run:
    def __init__(self, args, guest, rng):
        self.args = args
        self.guest = guest
        self.rng = rng
        self.model = {}           # title -> stored state, every acknowledged web timer
        self.passwords = [INITIAL_PASSWORD]   # the acknowledged one last
        self.fw_rows = {}         # firmware title -> the least event_id it must have
        self.serial = 0
        self.pending = None       # (what, the model if it is applied) while unanswered
        self.killed = threading.Event()
        self.journal = []         # what the browser did and was told, for a failure's report
        self.counts = {"acknowledged": 0, "cut in flight": 0, "in flight, applied": 0,
                       "in flight, not applied": 0, "refused": 0, "firmware writes": 0,
                       "sign-ins": 0}

    def title(self):
        self.serial += 1
        return f"w-{self.serial}"

    # ---- checks after a boot

    def check(self, inflight):
        """The checks after a cut; inflight is (description, model if applied)
        or None. Returns the model that the disk holds."""
        for db in (TIMER_DB, AUTH_DB):
            out = self.guest.run(f"{SQL} {db} 'pragma integrity_check'").strip()
            if out != "ok":
                raise Failure(f"integrity_check of {db}: {out}")
        rows = self.guest.sql(TIMER_DB, "select * from timer_record_table")
        web = {r["user_string"]: row_state(r) for r in rows if r["user_string"].startswith("w-")}
        if len(web) != sum(1 for r in rows if r["user_string"].startswith("w-")):
            raise Failure("a web timer is in the table twice")
        if inflight and inflight[1] is None:
            inflight = None
        if web == self.model:
            if inflight:
                self.counts["in flight, not applied"] += 1
        elif inflight and web == inflight[1]:
            self.counts["in flight, applied"] += 1
            self.model = inflight[1]
        else:
            missing = {t: v for t, v in self.model.items() if web.get(t) != v}
            extra = {t: v for t, v in web.items() if self.model.get(t) != v}
            raise Failure(f"the web's timers are not what the browser was told "
                          f"(in flight: {inflight[0] if inflight else 'nothing'}):\n"
                          f"  told, not stored: {missing}\n  stored, not told: {extra}\n"
                          "  the browser's last actions and answers:\n    " +
                          "\n    ".join(self.journal[-12:]))
        by_title = {r["user_string"]: r for r in rows}
        for title, least in self.fw_rows.items():
            row = by_title.get(title)
            if row is None or row["event_id"] < least:
                what = "" if row is None else f"move of {title} to {least} "
                log = os.path.join(self.args.work, f"console-{title.split('-')[1]}.log")
                told = [line.strip() for line in open(log, errors="replace") if title in line]
                raise Failure(f"the firmware's committed {what or title + ' '}is gone: {row}\n"
                              "its console:\n    " + "\n    ".join(told) + "\n"
                              f"the disk at boot:\n{self.guest.found}\n"
                              "the browser's last actions and answers:\n    " +
                              "\n    ".join(self.journal[-12:]))

    def learn_firmware(self):
        inserts, moves = self.guest.firmware_acks()
        for title in inserts:
            self.fw_rows.setdefault(title, 0)
        for title, n in moves:
            self.fw_rows[title] = max(self.fw_rows.get(title, 0), n)
        self.counts["firmware writes"] += len(inserts) + len(moves)

    # ---- the browser's actions

    def sign_in(self, browser):
        """Signs in with the acknowledged password, or with the one whose
        change a cut left unanswered (tried first)."""
        for password in reversed(self.passwords):
            if sign_in(browser, password):
                self.passwords = [password]
                self.counts["sign-ins"] += 1
                return
            if browser.message() != "Invalid login.":
                raise Failure(f"sign-in answered:\n{browser.page[:1500]}")
        raise Failure(f"no sign-in with {self.passwords}")

    def change_password(self, browser):
        new = f"pw-{self.rng.randrange(10**6):06d}"
        if 'name="newpass2"' not in browser.page:
            browser.open(CGI + "?chpass=1")
        old = self.passwords[-1]
        self.passwords = [old, new]
        self.pending = ("password change", None)
        browser.submit("newpass2", {"oldpass": old, "newpass1": new, "newpass2": new})
        self.pending = None
        if browser.notice() != "Password changed" or not browser.on_list():
            raise Failure(f"the password change answered:\n{browser.page[:1500]}")
        self.passwords = [new]

    def act(self, browser):
        """One web action from the list page; sets self.pending while its
        answer is outstanding."""
        shown = {t: v for t, v in browser.rows().items() if t in self.model}
        pick = self.rng.random()
        if shown and pick < 0.3:
            title = self.rng.choice(sorted(shown))
            browser.open(shown[title][1])
            new = self.title()
            values = timer_values(self.rng, new)
            channel = self.rng.choice(channels(browser.page))
            after = {t: v for t, v in self.model.items() if t != title}
            after[new] = stored(values, channel)
            expect = f'Updated "{new}".'
            self.pending = (f"update of {title} to {new}", after)
            browser.submit("title", dict(values, channel=channel), "update")
        elif shown and pick < 0.5:
            chosen = self.rng.sample(sorted(shown), min(len(shown), self.rng.choice((1, 2))))
            after = {t: v for t, v in self.model.items() if t not in chosen}
            n = len(chosen)
            expect = f"Deleted {n} timer{'s' if n > 1 else ''}."
            self.pending = (f"delete of {chosen}", after)
            # The page's Delete button asks first; its page's button deletes.
            browser.submit("key", {"key": [shown[t][0] for t in chosen]}, "confirmdelete")
            browser.submit("key", {}, "delete")
        else:
            new = self.title()
            values = timer_values(self.rng, new)
            channel = self.rng.choice(channels(browser.page))
            after = dict(self.model)
            after[new] = stored(values, channel)
            expect = f'Created "{new}".'
            self.pending = (f"create of {new}", after)
            browser.submit("title", dict(values, channel=channel), "create")
        answer = self.pending
        self.journal.append(f"{answer[0]}: {browser.notice() or browser.message()!r}")
        if browser.notice().startswith(expect) or "The action was carried out" in browser.page:
            self.model = answer[1]
            self.pending = None
            self.counts["acknowledged"] += 1
        elif self.killed.is_set():
            raise ConnectionResetError("the cut cut the answer short")
        else:
            # Refused (a firmware lock held too long): nothing may be stored.
            self.pending = None
            self.counts["refused"] += 1
            print(f"  refused: {answer[0]}: {(browser.message() or browser.page)[:200]!r}")
        if not browser.on_list():
            browser.open()

    def burst(self, number):
        """Starts the firmware, signs in and acts until qemu is killed at a
        random moment. Returns what was in flight at the cut."""
        self.guest.run(f"setsid /opt/check/bin/firmware {number} </dev/null >/dev/console 2>&1 &")
        killed = self.killed
        killed.clear()
        delay = self.rng.uniform(0.5, self.args.max_burst)

        def cut():
            time.sleep(delay)
            killed.set()
            self.guest.kill()

        cutter = threading.Thread(target=cut)
        cutter.start()
        browser = Browser(self.args.port)
        self.pending = None
        inflight = None
        try:
            self.pending = ("sign-in", None)
            self.sign_in(browser)
            self.pending = None
            if self.rng.random() < 0.15:
                self.change_password(browser)
            while True:
                self.act(browser)
        except (OSError, http.client.HTTPException, Failure) as error:
            if not killed.is_set():
                cutter.join()
                raise Failure(f"before the cut: {error}\nthe page:\n{browser.page[:3000]}") \
                    from error
            inflight = self.pending
        cutter.join()
        self.learn_firmware()
        if inflight:
            self.counts["cut in flight"] += 1
        self.journal.append(f"-- cut {number}")
        print(f"cut {number}: after {delay:.1f} s, "
              f"in flight: {inflight[0] if inflight else 'nothing'}", flush=True)
        return inflight

    # ---- a read-only and a full file system

    def storage_faults(self):
        for what, breaking, mending in (
                ("read-only", "mount -o remount,ro /usr/local/etc",
                 "mount -o remount,rw /usr/local/etc"),
                ("full", "dd if=/dev/zero of=/usr/local/etc/filler bs=64k 2>/dev/null; sync; "
                 "df /usr/local/etc | tail -1",
                 "rm /usr/local/etc/filler")):
            browser = Browser(self.args.port)
            self.sign_in(browser)
            print(f"{what}: {self.guest.run(breaking, check=False).strip()}")
            title = f"{what}-{self.title()}"
            values = timer_values(self.rng, title)
            browser.submit("title", values, "create")
            answer = browser.page
            told = browser.notice().startswith("Created") or "carried out" in answer
            self.guest.run(mending)
            print(f"{what}: a create answered {answer.strip().splitlines()[-1][:160]!r}")
            if told or "error" not in answer.lower():
                raise Failure(f"a create on a {what} file system answered:\n{answer[:1500]}")
            self.check(None)
            present = self.guest.sql(
                TIMER_DB, f"select count(*) as n from timer_record_table "
                f"where user_string = '{title}'")[0]["n"]
            if present:
                raise Failure(f"the refused create on a {what} file system is stored")
            if not sign_in(Browser(self.args.port), self.passwords[-1]):
                raise Failure(f"no sign-in after the {what} file system")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cuts", type=int, default=30)
    parser.add_argument("--disk", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--run-port", type=int, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--max-burst", type=float, default=8.0)
    parser.add_argument("qemu", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    if args.qemu[:1] == ["--"]:
        args.qemu = args.qemu[1:]
    seed = args.seed if args.seed is not None else random.randrange(10**6)
    print(f"power cuts: {args.cuts}, seed {seed}", flush=True)
    rng = random.Random(seed)
    os.makedirs(args.work, exist_ok=True)
    guest = Guest(args)
    run = Run(args, guest, rng)
    began = time.monotonic()
    try:
        save_state(args, guest, args.work)
        boot(args, guest, args.work, 0)
        # The first sign-in replaces the initial password.
        browser = Browser(args.port)
        run.sign_in(browser)
        run.change_password(browser)
        run.storage_faults()
        guest.kill()
        inflight = None
        for number in range(1, args.cuts + 1):
            boot(args, guest, args.work, number)
            run.check(inflight)
            inflight = run.burst(number)
        boot(args, guest, args.work, args.cuts + 1)
        run.check(inflight)
        run.sign_in(Browser(args.port))
        guest.run("umount /usr/local/etc")
        guest.kill()
        fsck = subprocess.run(["e2fsck", "-fn", args.disk], capture_output=True, text=True,
                              env={**os.environ, "PATH": os.environ["PATH"] + ":/usr/sbin:/sbin"})
        if fsck.returncode != 0:
            raise Failure(f"e2fsck of the disk:\n{fsck.stdout}{fsck.stderr}")
    except Failure as error:
        print(f"powercut: FAILED: {error}", file=sys.stderr)
        return 1
    finally:
        guest.kill()
    took = time.monotonic() - began
    print(f"power cuts: {args.cuts} in {took:.0f} s; " +
          ", ".join(f"{k}: {v}" for k, v in run.counts.items()) +
          f"; web timers stored: {len(run.model)}, firmware timers: {len(run.fw_rows)}; "
          "integrity_check ok on both databases after every cut; e2fsck clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
