"""scripts/tomorrow-recordings.py: the recordings it picks from a timer list
(tomorrow_timers.json), and its exit status against a stand-in server."""

import contextlib
import datetime
import http.server
import importlib.util
import io
import json
import os
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "tomorrow-recordings.py")
spec = importlib.util.spec_from_file_location("tomorrow", SCRIPT)
tomorrow = importlib.util.module_from_spec(spec)
spec.loader.exec_module(tomorrow)

with open(os.path.join(HERE, "tomorrow_timers.json"), encoding="utf-8") as fixture:
    TIMERS = fixture.read()


class Recorder(http.server.BaseHTTPRequestHandler):
    """The timer list for the token "good", a problem for any other."""

    def do_GET(self):
        good = self.headers.get("Authorization") == "Bearer good"
        body = TIMERS if good else json.dumps(
            {"type": "urn:skedra:problem:unauthorized", "title": "Not signed in",
             "status": 401, "detail": "The token is not known."})
        self.send_response(200 if good and self.path == "/cgi/api/v1/timers" else 401)
        self.end_headers()
        self.wfile.write(body.encode("utf-8"))

    def log_message(self, *args):
        pass


class TomorrowRecordings(unittest.TestCase):
    def test_picks_tomorrows_recordings_in_order(self):
        now = datetime.datetime.fromisoformat("2031-03-14T12:00:00+01:00")
        self.assertEqual(tomorrow.tomorrows_recordings(json.loads(TIMERS)["items"], now), [
            "06:00-06:15  Krimi Kanal  Firmware's own",
            "07:30-08:00  KiKA  Cartoons",
            "09:00-09:10  3sat  News & Weather <live>",
            "20:15-21:45  Das Erste  Tatort",
            "23:30-00:30  Krimi Kanal  Late film",
        ])

    def test_exit_status_and_problem_on_http_error(self):
        server = http.server.HTTPServer(("127.0.0.1", 0), Recorder)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        url = "http://127.0.0.1:%d/cgi/" % server.server_port
        try:
            for token, status, message in (("good", 0, ""),
                                           ("bad", 1, "Not signed in - The token is not known.")):
                errors = io.StringIO()
                with contextlib.redirect_stderr(errors), contextlib.redirect_stdout(io.StringIO()):
                    self.assertEqual(tomorrow.main(["tomorrow-recordings.py", url, token]), status)
                self.assertIn(message, errors.getvalue())
        finally:
            server.shutdown()
            server.server_close()


if __name__ == "__main__":
    unittest.main()
