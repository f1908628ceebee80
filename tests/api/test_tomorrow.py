"""scripts/tomorrow-recordings.py: the recordings it picks from a timer list
(tomorrow_timers.json) and what it says of an HTTP error."""

import datetime
import importlib.util
import io
import json
import os
import unittest
import urllib.error

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "tomorrow-recordings.py")
spec = importlib.util.spec_from_file_location("tomorrow", SCRIPT)
tomorrow = importlib.util.module_from_spec(spec)
spec.loader.exec_module(tomorrow)


class TomorrowRecordings(unittest.TestCase):
    def test_picks_tomorrows_recordings_in_order(self):
        with open(os.path.join(HERE, "tomorrow_timers.json"), encoding="utf-8") as fixture:
            timers = json.load(fixture)["items"]
        now = datetime.datetime.fromisoformat("2031-03-14T12:00:00+01:00")  # a Friday
        self.assertEqual(tomorrow.tomorrows_recordings(timers, now), [
            "06:00-06:15  Krimi Kanal  Firmware's own",
            "07:30-08:00  KiKA  Cartoons",
            "09:00-09:10  3sat  News & Weather <live>",
            "20:15-21:45  Das Erste  Tatort",
            "23:30-00:30  Krimi Kanal  Late film",
        ])

    def test_names_the_problem_of_an_http_error(self):
        body = b'{"title":"Not signed in","status":401,"detail":"The token is not known."}'
        error = urllib.error.HTTPError("http://r/", 401, "Unauthorized", {}, io.BytesIO(body))
        self.assertEqual(tomorrow.problem_text(error),
                         "HTTP 401 Unauthorized: Not signed in - The token is not known.")
        error = urllib.error.HTTPError("http://r/", 502, "Bad Gateway", {}, io.BytesIO(b"<html>"))
        self.assertEqual(tomorrow.problem_text(error), "HTTP 502 Bad Gateway")


if __name__ == "__main__":
    unittest.main()
