#!/usr/bin/env python3
"""Prints tomorrow's recordings of a recorder, read from its JSON interface.

    tomorrow-recordings.py URL TOKEN

URL is the interface's address, e.g. http://192.168.1.20/cgi-bin/skedra.cgi;
TOKEN an API token made on its settings page (read scope suffices). One line
a recording, sorted by its start:

    HH:MM-HH:MM  Channel name  Title

The times are the programme's (start and end, margins not included), in the
recorder's local time. "Tomorrow" is the day after today on the recorder's
clock, as the offsets of its times give it. On an HTTP error the problem
the recorder reports is printed and the exit status is 1.
"""

import datetime
import json
import sys
import urllib.error
import urllib.request

WEEKDAYS = ["mon", "tue", "wed", "thu", "fri", "sat", "sun"]


def parse_time(text):
    """An RFC 3339 date-time as an aware datetime (Python before 3.11 does
    not read a "Z")."""
    if text.endswith(("Z", "z")):
        text = text[:-1] + "+00:00"
    return datetime.datetime.fromisoformat(text)


def recording_on(timer, day, now):
    """The start of timer's programme on the date day, when it is recorded
    then, else None."""
    if timer.get("next_recording") is None:
        return None  # disabled, or every recording lies in the past
    next_recording = parse_time(timer["next_recording"])
    before = datetime.timedelta(minutes=timer.get("margin_before_minutes", 0))
    start = parse_time(timer["start"])
    # The programme's wall-clock time on day, in the offset the recorder
    # uses for its next recording.
    on_day = datetime.datetime.combine(day, start.time().replace(tzinfo=None)).replace(
        tzinfo=next_recording.tzinfo)
    if timer.get("repeat", 0) == 0:
        allowed = day == start.date()
    else:
        allowed = day >= start.date() and WEEKDAYS[day.weekday()] in timer.get("weekdays", [])
    if allowed and on_day - before >= next_recording and on_day > now:
        return on_day
    # A repeat whose days are not known here: the next recording itself,
    # when it falls on that day.
    programme = next_recording + before
    return programme if programme.date() == day else None


def tomorrows_recordings(timers, now):
    """The lines for the recordings of timers (the interface's Timer
    objects) that start tomorrow, seen from now (an aware datetime)."""
    found = []
    for timer in timers:
        offset = parse_time(timer.get("next_recording") or timer["start"]).tzinfo
        tomorrow = now.astimezone(offset).date() + datetime.timedelta(days=1)
        start = recording_on(timer, tomorrow, now)
        if start is not None:
            end = start + datetime.timedelta(minutes=timer["length_minutes"])
            found.append((start, timer["channel_name"], timer["title"], end))
    found.sort(key=lambda row: (row[0], row[1], row[2]))
    return ["%s-%s  %s  %s" % (start.strftime("%H:%M"), end.strftime("%H:%M"), channel, title)
            for start, channel, title, end in found]


def problem_text(error):
    """What an HTTP error says: its status and the problem's title and
    detail when the body is one."""
    text = "HTTP %d %s" % (error.code, error.reason)
    try:
        problem = json.loads(error.read().decode("utf-8"))
    except (ValueError, UnicodeDecodeError, OSError):
        return text
    if isinstance(problem, dict):
        parts = [str(problem[key]) for key in ("title", "detail") if problem.get(key)]
        if parts:
            text += ": " + " - ".join(parts)
    return text


def main(argv):
    if len(argv) != 3:
        print("usage: tomorrow-recordings.py URL TOKEN", file=sys.stderr)
        return 2
    request = urllib.request.Request(
        argv[1].rstrip("/") + "/api/v1/timers",
        headers={"Authorization": "Bearer " + argv[2], "Accept": "application/json"})
    try:
        with urllib.request.urlopen(request, timeout=30) as answer:
            timers = json.loads(answer.read().decode("utf-8"))["items"]
    except urllib.error.HTTPError as error:
        print("tomorrow-recordings: " + problem_text(error), file=sys.stderr)
        return 1
    except urllib.error.URLError as error:
        print("tomorrow-recordings: cannot reach %s: %s" % (argv[1], error.reason),
              file=sys.stderr)
        return 1
    except (ValueError, KeyError, TypeError, UnicodeDecodeError) as error:
        print("tomorrow-recordings: the answer is not a timer list: %s" % error, file=sys.stderr)
        return 1
    now = datetime.datetime.now(datetime.timezone.utc)
    for line in tomorrows_recordings(timers, now):
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
