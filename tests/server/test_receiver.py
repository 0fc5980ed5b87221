"""The report receiver as a maker runs it: the real binary, real sockets, a real database: an
SQLite file, or with RECEIVER_STORE=postgresql a PostgreSQL server of the tests' own, which runs
the cases that depend on the store."""
import json
import os
import select
import signal
import socket
import sqlite3
import subprocess
import tempfile
import threading
import time
import unittest
from concurrent.futures import ThreadPoolExecutor

from receiver_fixture import (REPORT_PATH, STORE, Answers, Receiver, exchange, old_database,
                              post_request, query_of, read_answer, report_items)

HOSTILE = "José \"da\" Silva\\ + & = % # <script>\x01\n\x00\udcff😀"
# Bytes that are not UTF-8, and NUL, are stored and listed as U+FFFD.
AS_STORED = HOSTILE.replace("\x00", "\ufffd").replace("\udcff", "\ufffd")

once = unittest.skipUnless(STORE.name == "sqlite", "independent of the store: run with SQLite")
postgresql_only = unittest.skipUnless(STORE.name == "postgresql", "a fault of PostgreSQL's own")


def setUpModule():
    STORE.start()


def tearDownModule():
    STORE.stop()


def post_under_load(ports, during, senders=8, answers=None):
    """(sent at, name, status) of each report posted by the senders to the ports in turn while
    during() runs, appended to answers as they come; a sender stops at a refused connection."""
    answers = [] if answers is None else answers
    stop = threading.Event()

    def sender(n):
        for k in range(5000):
            started = time.monotonic()
            try:
                status, _, body = exchange(ports[(n + k) % len(ports)],
                                           post_request(query_of(report_items(f"{n}-{k}"))))
            except OSError:
                return
            answers.append((started, f"{n}-{k}", 200 if body == b"OK" else status))
            if stop.is_set():
                return
    threads = [threading.Thread(target=sender, args=(n,)) for n in range(senders)]
    for thread in threads:
        thread.start()
    try:
        during()
    finally:
        stop.set()
        for thread in threads:
            thread.join(30)
    return answers


class StoringAndReading(unittest.TestCase):
    def setUp(self):
        self.receiver = Receiver()
        self.assertTrue(self.receiver.started())

    def tearDown(self):
        self.assertEqual(self.receiver.stop(), 0)

    def test_reports_are_stored_exactly_and_listed_in_pages_to_the_token_holder(self):
        sent = [report_items(HOSTILE, cpf="529.982.247-25"), report_items("B"),
                report_items("C")]
        for items in sent:
            status, headers, body = self.receiver.post(items)
            self.assertEqual((status, body), (200, b"OK"))
            self.assertEqual(headers["cache-control"], "no-store")
            self.assertEqual(headers["x-content-type-options"], "nosniff")
        sent[0][1] = ("nome", AS_STORED)
        self.assertEqual([s[2] for s in self.receiver.stored()], sent)
        self.assertEqual({s[1] for s in self.receiver.stored()}, {"127.0.0.1"})

        status, headers, body = self.receiver.get("/reports?limit=2")
        self.assertEqual(status, 200)
        self.assertTrue(headers["content-type"].startswith("application/json"))
        self.assertEqual(headers["cache-control"], "no-store")
        first = json.loads(body)
        self.assertEqual([r["items"][1][1] for r in first["reports"]], ["C", "B"])
        self.assertRegex(first["reports"][0]["received"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        status, _, body = self.receiver.get(f"/reports?limit=2&before={first['next']}")
        last = json.loads(body)
        self.assertIsNone(last["next"])
        self.assertEqual([tuple(i) for i in last["reports"][0]["items"]], sent[0])
        for bad in ("limit=0", "limit=101", "limit=x", "before=-1"):
            self.assertEqual(self.receiver.get("/reports?" + bad)[0], 400, bad)

        # The access log has one line per request and no query: no personal data.
        self.receiver.stop()
        self.receiver.log = open(self.receiver.log.name)
        log = self.receiver.log.read()
        self.assertNotIn("529.982.247-25", log)
        self.assertNotIn("Silva", log)
        self.assertRegex(log, r"\d\d\.\d{3}Z 127\.0\.0\.1 POST /connect/lorvask\.php 200 2 [\d.]+ms\n")
        self.assertEqual(log.count("\n"), 3 + 2 + 4)

    @once
    def test_only_service_reports_are_stored(self):
        items = report_items()
        swapped = items[:2] + [items[3], items[2]] + items[4:]
        cases = {
            "text body": (post_request(query_of(items), content_type="text/plain"), 400),
            "no query": (post_request("", ), 400),
            "empty item only": (post_request("="), 400),
            "missing key": (post_request(query_of(items[:-1])), 400),
            "extra key": (post_request(query_of(items + [("x", "1")])), 400),
            "keys out of order": (post_request(query_of(swapped)), 400),
            "no leading item": (post_request(query_of(items[1:])), 400),
            "bad escape": (post_request(query_of(items) + "%G1"), 400),
            "foreign origin": (post_request(query_of(items), extra="Origin: http://evil.example\r\n"), 403),
            "wrong method": (f"GET {REPORT_PATH}?{query_of(items)} HTTP/1.1\r\nHost: a\r\n\r\n".encode(), 405),
            "other path": (post_request(query_of(items)).replace(b"lorvask", b"other"), 404),
        }
        for name, (request, expected) in cases.items():
            status, _, body = exchange(self.receiver.port, request)
            self.assertEqual(status, expected, name)
            self.assertNotEqual(body, b"OK", name)
        self.assertEqual(self.receiver.stored(), [])

    @once
    def test_reading_needs_the_token_the_own_host_and_no_foreign_origin(self):
        port = self.receiver.port
        cases = [({"token": False}, 401), ({"token": "wrong-" + self.receiver.token}, 401),
                 ({"token": self.receiver.token[:-1]}, 401),
                 ({"host": f"evil.example:{port}"}, 421),
                 ({"origin": "http://evil.example"}, 403),
                 ({"origin": f"http://localhost:{port + 1}", "host": f"localhost:{port}"}, 403),
                 ({"origin": f"https://localhost:{port}", "host": f"localhost:{port}"}, 200),
                 ({"host": f"127.0.0.1:{port}"}, 200)]
        for headers, expected in cases:
            self.assertEqual(self.receiver.get("/reports", **headers)[0], expected, headers)
        for name in ("reports.sqlite3", "reports.sqlite3-wal", "reports.sqlite3-shm"):
            mode = os.stat(os.path.join(self.receiver.dir, name)).st_mode & 0o777
            self.assertEqual(mode, 0o600, name)


@once
class Starting(unittest.TestCase):
    def test_refuses_unsafe_or_bad_settings(self):
        for args, kw in ((["--port", "0"], {}), (["--verbose"], {}), ([], {"token_mode": 0o644}),
                         (["--database", "postgresql://postgres@127.0.0.1:1/none"], {})):
            receiver = Receiver(*args, **kw)
            self.assertNotEqual(receiver.stop(), 0, (args, kw))

    def test_upgrades_a_database_from_before_versions_and_names_the_proxy_client(self):
        folder = tempfile.mkdtemp(prefix="receiver-")
        old = os.path.join(folder, "old.sqlite3")
        old_database(old, [("2026-01-01T00:00:00.000Z", "10.1.1.1", [("", ""), ("nome", "Old")])])
        receiver = Receiver("--trusted-proxy", "127.0.0.1", folder=folder, database=old)
        self.assertEqual(receiver.post(report_items(), extra="X-Forwarded-For: 1.2.3.4, 10.9.9.9\r\n")[0], 200)
        reports = json.loads(receiver.get("/reports")[2])["reports"]
        self.assertEqual([(r["id"], r["client"]) for r in reports], [(2, "10.9.9.9"), (1, "10.1.1.1")])
        self.assertEqual(receiver.stop(), 0)
        with sqlite3.connect(old) as db:
            self.assertGreaterEqual(db.execute("SELECT MAX(version) FROM schema_version").fetchone()[0], 1)


@once
class UnderAbuse(unittest.TestCase):
    """Attackers come from 127.0.0.2 and up; the technician's post from 127.0.0.1."""

    def setUp(self):
        self.receiver = Receiver("--idle-timeout", "4", "--deadline", "2")
        self.attackers = []

    def tearDown(self):
        for sock in self.attackers:
            sock.close()
        self.receiver.stop(signal.SIGKILL)

    def open_attackers(self, count, first_byte=b"P"):
        for n in range(count):
            sock = socket.create_connection(("127.0.0.1", self.receiver.port), timeout=5,
                                            source_address=(f"127.0.0.{2 + n % 10}", 0))
            if first_byte:
                sock.sendall(first_byte)
            self.attackers.append(sock)

    def assert_real_post_goes_through(self):
        before = len(self.receiver.stored())
        self.assertEqual(self.receiver.post(report_items("Real"))[:3:2], (200, b"OK"))
        self.assertEqual(len(self.receiver.stored()), before + 1)

    def test_slow_and_idle_clients_neither_block_posts_nor_stay(self):
        self.open_attackers(250, b"P")
        slow = set(self.attackers)
        self.open_attackers(250, None)
        started = time.monotonic()
        # A header byte every second keeps the 4 s idle timeout away: only the deadline ends them.
        while slow and time.monotonic() - started < 10:
            for sock in select.select(list(slow), [], [], 0)[0]:
                try:
                    answer = sock.recv(100)
                    self.assertTrue(answer == b"" or answer.startswith(b"HTTP/1.1 4"), answer)
                except ConnectionResetError:
                    pass
                slow.discard(sock)
            for sock in slow:
                sock.send(b"O")
            self.assert_real_post_goes_through()
            time.sleep(1)
        self.assertEqual(len(slow), 0)
        idle = self.attackers[250:]
        self.assertEqual(len(select.select(idle, [], [], 6)[0]), len(idle))
        self.assertEqual(self.receiver.stop(signal.SIGTERM, timeout=5), 0)

    def test_floods_are_cut_off_and_pipelined_requests_answered_in_order(self):
        items = query_of(report_items())
        chunked = (f"POST {REPORT_PATH}?{items} HTTP/1.1\r\nHost: a\r\nContent-Type: "
                   "application/x-www-form-urlencoded\r\nTransfer-Encoding: chunked\r\n\r\n").encode()
        with socket.create_connection(("127.0.0.1", self.receiver.port), source_address=("127.0.0.2", 0)) as sock:
            sock.sendall(chunked)
            try:
                for _ in range(200):  # 200 x 64 KiB, far past the cap
                    sock.sendall(b"10000\r\n" + b"a" * 0x10000 + b"\r\n")
            except OSError:
                pass
            self.assertNotEqual(read_answer(sock, 3)[0], 200)
        with socket.create_connection(("127.0.0.1", self.receiver.port), source_address=("127.0.0.3", 0)) as sock:
            try:
                sock.sendall(b"GET /reports HTTP/1.1\r\n" + b"X-A: b\r\n" * 200000)
            except OSError:
                pass
            self.assertIn(read_answer(sock, 3)[0], (0, 413, 431))
        with socket.create_connection(("127.0.0.1", self.receiver.port)) as sock:
            sock.sendall(post_request(items) + post_request(query_of(report_items("Second"))) +
                         b"GET /nothing HTTP/1.1\r\nHost: a\r\n\r\n")
            answers = Answers(sock)
            self.assertEqual([answers.next()[0] for _ in range(3)], [200, 200, 404])
        self.assertEqual([s[2][1][1] for s in self.receiver.stored()], ["Ana", "Second"])
        self.assert_real_post_goes_through()


class UnderLoad(unittest.TestCase):
    def start(self, count):
        """count receivers started at once on one new database."""
        database = STORE.database(tempfile.mkdtemp(prefix="receiver-"))
        with ThreadPoolExecutor(count) as pool:
            self.receivers = list(pool.map(lambda _: Receiver(database=database), range(count)))
        for receiver in self.receivers:
            self.addCleanup(receiver.stop, signal.SIGKILL)
        self.assertTrue(all(r.started() for r in self.receivers))
        return database

    def assert_stored_once(self, database, answers):
        """Every report answered OK is stored whole, once."""
        stored = {}
        for _, _, items in STORE.stored(database):
            stored.setdefault(items[1][1], []).append(items)
        acknowledged = [name for _, name, status in answers if status == 200]
        self.assertGreater(len(acknowledged), 50)
        for name in acknowledged:
            self.assertEqual(stored.get(name), [report_items(name)], name)

    def test_kill_under_load_loses_no_acknowledged_report(self):
        database = self.start(1)
        def kill_once_many_are_acknowledged():
            for _ in range(200):  # however loaded the machine, at most 20 s
                if sum(status == 200 for _, _, status in answers) > 60:
                    break
                time.sleep(0.1)
            self.receivers[0].process.kill()
        answers = []
        post_under_load([self.receivers[0].port], kill_once_many_are_acknowledged,
                        answers=answers)
        self.assert_stored_once(database, answers)

    @postgresql_only
    def test_two_receivers_on_one_database_ride_out_its_restart(self):
        """Both store every acknowledged report once and list them alike; while the database
        restarts they answer 500, and afterwards they store again by themselves."""
        database = self.start(2)
        times = {}

        def restart():
            time.sleep(1)
            times["stopping"] = time.monotonic()
            STORE.ctl("stop", "-m", "fast")
            time.sleep(1)
            STORE.ctl("start")
            times["started"] = time.monotonic()
            time.sleep(1)
        answers = post_under_load([r.port for r in self.receivers], restart)
        self.assertEqual({status for _, _, status in answers}, {200, 500})
        self.assertIn(500, [status for sent, _, status in answers
                            if times["stopping"] < sent < times["started"]])
        self.assertEqual({status for sent, _, status in answers if sent > times["started"]}, {200})
        self.assert_stored_once(database, answers)
        pages = [json.loads(r.get("/reports?limit=100")[2])["reports"] for r in self.receivers]
        self.assertEqual(pages[0], pages[1])
        self.assertEqual([r["id"] for r in pages[0]],
                         [i for i, _, _ in reversed(STORE.stored(database))][:100])
        # Started together, they created the schema once.
        self.assertEqual(STORE.rows(database, "SELECT COUNT(*) - MAX(version) FROM schema_version"),
                         [("0",)])


@once
@unittest.skipUnless(os.geteuid() == 0, "mounting a small file system needs root")
class DiskFull(unittest.TestCase):
    def test_a_full_disk_is_never_acknowledged_and_recovers(self):
        folder = tempfile.mkdtemp(prefix="receiver-")
        small = os.path.join(folder, "small")
        os.mkdir(small)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", small], check=True)
        try:
            receiver = Receiver(folder=small)
            self.assertEqual(receiver.post(report_items("first"))[0], 200)
            filler = os.path.join(small, "filler")
            with open(filler, "wb") as f:
                try:
                    while True:
                        f.write(b"\0" * 65536)
                        f.flush()
                except OSError:
                    pass
            answers = [receiver.post(report_items(f"full-{n}"))[:3:2] for n in range(20)]
            self.assertNotIn((200, b"OK"), answers)
            os.unlink(filler)
            self.assertEqual(receiver.post(report_items("after"))[:3:2], (200, b"OK"))
            names = [items[1][1] for _, _, items in receiver.stored()]
            self.assertEqual(names, ["first", "after"])
            self.assertEqual(receiver.stop(), 0)
        finally:
            subprocess.run(["umount", "-l", small], check=False)


if __name__ == "__main__":
    unittest.main(verbosity=2)
