"""The report receiver as a maker runs it: the real binary, real sockets, a real database: an
SQLite file, or with RECEIVER_STORE=postgresql a PostgreSQL server of the tests' own, which runs
the cases that depend on the store."""
import json
import os
import re
import select
import socket
import sqlite3
import tempfile
import time
import unittest

from receiver_fixture import (FORM, REPORT_PATH, STORE, Receiver, old_database, post_request,
                              query_of, read_answer, report_items, request)

# Bytes that are not UTF-8 (overlong, surrogate, stray), NUL and a character ending the value.
HOSTILE = "José \"da\" Silva\\ + & = % # <script>\x01\x1f\n\x00\udcc0\udcaf\udced\udca0\udc80\udcff😀"
# Each byte that is not UTF-8, and NUL, is stored and listed as U+FFFD.
AS_STORED = re.sub("[\x00\udc80-\udcff]", "\ufffd", HOSTILE)

once = unittest.skipUnless(STORE.name == "sqlite", "independent of the store: run with SQLite")


class Receiving(unittest.TestCase):
    def setUp(self):
        self.receiver = Receiver()
        self.assertTrue(self.receiver.started())

    def test_reports_are_stored_exactly_and_listed_in_pages_to_the_token_holder(self):
        self.addCleanup(lambda: self.assertEqual(self.receiver.stop(), 0))
        sent = [report_items(HOSTILE, cpf="529.982.247-25"), report_items("B"),
                report_items("C")]
        for items in sent:
            status, headers, body = self.receiver.post(items)
            self.assertEqual((status, body, headers["cache-control"],
                              headers["x-content-type-options"]), (200, b"OK", "no-store", "nosniff"))
        sent[0][1] = ("nome", AS_STORED)
        self.assertEqual([s[1:] for s in self.receiver.stored()], [("127.0.0.1", s) for s in sent])

        status, headers, body = self.receiver.get("/reports?limit=2")
        self.assertEqual((status, headers["content-type"], headers["cache-control"]),
                         (200, "application/json; charset=utf-8", "no-store"))
        first = json.loads(body)
        self.assertEqual([r["items"][1][1] for r in first["reports"]], ["C", "B"])
        self.assertRegex(first["reports"][0]["received"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        last = json.loads(self.receiver.get(f"/reports?limit=2&before={first['next']}")[2])
        self.assertIsNone(last["next"])
        self.assertEqual([tuple(i) for i in last["reports"][0]["items"]], sent[0])

        # The access log has one line per request and no query: no personal data.
        self.receiver.stop()
        with open(self.receiver.log) as log:
            lines = log.read().splitlines()
        self.assertEqual(len(lines), 5)
        self.assertRegex(lines[0], r"\d\d\.\d{3}Z 127\.0\.0\.1 POST /connect/lorvask\.php 200 2 [\d.]+ms$")


@once
class Refusing(unittest.TestCase):
    def test_each_request_gets_its_answer_and_only_service_reports_are_stored(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        port, token, items = receiver.port, receiver.token, report_items()
        query = query_of(items)
        local = {"host": f"localhost:{port}"}
        chunks = b"400\r\n" + b"a" * 1024 + b"\r\n"
        cases = [  # (post_request arguments, status), then (GET target, headers, status)
            ((query, b"x", {"content_type": "text/plain"}), 400),
            ((query, b"x", {"content_type": FORM + "X"}), 400),
            ((query.replace("nome=Ana", "nome=Jo%c3%afo+Z"), b"x", {}), 200),
            ((query, b"x" * 65536, {}), 200),
            ((query, b"x" * 65537, {}), 413),
            # A chunked body is counted as it comes: past the cap the connection is cut.
            ((query, chunks * 65 + b"0\r\n\r\n", {"content_length": None,
                                                  "transfer_encoding": "chunked"}), 0),
            (("", b"x", {}), 400),
            (("=", b"x", {}), 400),
            ((items[:-1], b"x", {}), 400),
            ((items + [("x", "1")], b"x", {}), 400),
            ((items[:2] + [items[3], items[2]] + items[4:], b"x", {}), 400),
            ((items[1:], b"x", {}), 400),
            ((query + "%G1", b"x", {}), 400),
            ((query, b"x", {"origin": "http://evil.example"}), 403),
            (("/reports", {"authorization": None}), 401),
            (("/reports", {"authorization": f"Bearer wrong-{token}"}), 401),
            (("/reports", {"authorization": f"Bearer {token[:-1]}"}), 401),
            (("/reports", {"authorization": f"Bearer x{token[1:]}"}), 401),
            (("/reports", {"host": f"evil.example:{port}"}), 421),
            (("/reports", {"origin": "http://evil.example"}), 403),
            (("/reports", {"origin": f"http://localhost:{port + 1}", **local}), 403),
            (("/reports", {"origin": f"http://localhost:{port}.evil.example", **local}), 403),
            (("/reports", {"origin": f"https://localhost:{port}", "host": f"LOCALHOST:{port}"}), 200),
            (("/reports?limit=100", {"host": f"127.0.0.1:{port}"}), 200),
            *[((f"/reports?{bad}", {}), 400) for bad in ("limit=0", "limit=101", "limit=x", "before=-1")],
            ((f"{REPORT_PATH}?{query}", {}), 405),
            (("/other", {}), 404),
        ]
        for row, (args, expected) in enumerate(cases):
            posted = not isinstance(args[1], dict)
            if posted:
                status, headers, body = receiver.post(args[0], body=args[1], **args[2])
            else:
                status, headers, body = receiver.get(args[0], **args[1])
            self.assertEqual(status, expected, row)
            self.assertEqual(body == b"OK", posted and expected == 200, row)
            if status == 401:
                self.assertEqual(headers["www-authenticate"], "Bearer")
        self.assertEqual([s[2][1][1] for s in receiver.stored()], ["Joïo Z", "Ana"])
        for name in ("reports.sqlite3", "reports.sqlite3-wal", "reports.sqlite3-shm"):
            mode = os.stat(os.path.join(receiver.dir, name)).st_mode & 0o777
            self.assertEqual(mode, 0o600, name)

    def test_a_request_must_arrive_whole_within_its_deadline(self):
        receiver = Receiver("--idle-timeout", "10", "--deadline", "2")
        self.addCleanup(receiver.stop, 9)
        sock = socket.create_connection(("127.0.0.1", receiver.port))
        self.addCleanup(sock.close)

        def dribble(data):
            """Sends data a byte every 50 ms; when the receiver ended it, or None."""
            for byte in data:
                try:
                    if select.select([sock], [], [], 0.05)[0] or not sock.send(bytes([byte])):
                        return time.monotonic()
                except OSError:
                    return time.monotonic()
        # Taking 1.5 s of the 2 s allowed, the first is answered; the second has 2 s from then.
        self.assertIsNone(dribble(post_request(report_items())[:30]))
        sock.sendall(post_request(report_items())[30:])
        self.assertEqual(read_answer(sock)[0], 200)
        answered = time.monotonic()
        closed = dribble(b"GET /reports HTTP/1.1\r\n" + b"X-A: b\r\n" * 200)
        self.assertTrue(closed and 1.5 < closed - answered < 3.0, closed and closed - answered)


@once
class Starting(unittest.TestCase):
    def test_refuses_unsafe_or_bad_settings(self):
        for args, kw in ((["--port", "0"], {}), (["--verbose"], {}), ([], {"token_mode": 0o640}),
                         ([], {"token": "fifteen-chars.."}),
                         (["--database", "postgresql://postgres@127.0.0.1:1/none"], {})):
            receiver = Receiver(*args, **kw)
            self.assertNotEqual(receiver.stop(), 0, (args, kw))
        # Without a token file nothing can be read, not even with an empty token.
        receiver = Receiver(token=None)
        self.assertEqual(receiver.send(request(
            "POST", "/viewer/entrar", b"token=", host="127.0.0.1", origin="http://127.0.0.1",
            content_type=FORM, content_length=6))[1].get("location"), "/viewer/?recusado")
        self.assertEqual(receiver.stop(), 0)

    def test_upgrades_an_old_database_restarts_on_it_and_names_the_proxy_client(self):
        folder = tempfile.mkdtemp(prefix="receiver-")
        old = old_database(os.path.join(folder, "old.sqlite3"),
                           [("2026-01-01T00:00:00.000Z", "10.1.1.1", [("", ""), ("nome", "Old")])])
        # Only the proxy's own entry, the last, names the client; an empty one names the proxy.
        for forwarded in ("1.1.1.1, 2.2.2.2, 10.9 9.9", "1.2.3.4, "):
            receiver = Receiver("--trusted-proxy", "127.0.0.1", folder=folder, database=old)
            self.assertEqual(receiver.post(report_items(), x_forwarded_for=forwarded)[0], 200)
            self.assertEqual(receiver.stop(), 0)
        receiver = Receiver(folder=folder, database=old)
        reports = json.loads(receiver.get("/reports")[2])["reports"]
        self.assertEqual(receiver.stop(), 0)
        self.assertEqual([(r["id"], r["client"]) for r in reports],
                         [(3, "127.0.0.1"), (2, "10.9 9.9"), (1, "10.1.1.1")])
        with open(os.path.join(folder, "access.log")) as log:
            self.assertIn(" 10.9?9.9 POST ", log.read())
        with sqlite3.connect(old) as db:
            self.assertGreaterEqual(db.execute("SELECT MAX(version) FROM schema_version").fetchone()[0], 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
