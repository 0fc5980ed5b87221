#!/usr/bin/env python3
"""Measures report-receiver as a maker runs it: durable throughput, a page of the listing at
100,000 reports, post latency while others read or attack, memory, and the time to stop.

usage: receiver_bench.py BUILD_DIR [spread hoard]   (BUILD_DIR/server/report-receiver, a Release
build; with names, only those measurements)
"""
import contextlib
import os
import select
import selectors
import socket
import sqlite3
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "server"))
os.environ.setdefault("REPORT_RECEIVER", os.path.join(sys.argv[1], "server", "report-receiver"))
from receiver_fixture import (REPORT_PATH, Receiver, exchange, post_request, query_of,  # noqa: E402
                              read_answer, report_items, request)

REPORT = post_request(query_of(report_items("Bench", email="oficina@exemplo.com.br")))


def peak_rss_mib(receiver):
    with open(f"/proc/{receiver.process.pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def timed_post(port):
    started = time.perf_counter()
    status, _, body = exchange(port, REPORT)
    assert (status, body) == (200, b"OK"), status
    return (time.perf_counter() - started) * 1000


def latencies(port, count, pause=0.01):
    values = []
    for _ in range(count):
        values.append(timed_post(port))
        time.sleep(pause)
    values.sort()
    return (f"median {statistics.median(values):.2f} ms, p99 {values[int(len(values) * 0.99)]:.2f} ms,"
            f" max {values[-1]:.2f} ms")


def throughput(receiver, senders=8, per_sender=250):
    def send():
        with socket.create_connection(("127.0.0.1", receiver.port)) as sock:
            for _ in range(per_sender):
                sock.sendall(REPORT)
                data = b""
                while not data.endswith(b"OK"):
                    data += sock.recv(4096)
    threads = [threading.Thread(target=send) for _ in range(senders)]
    started = time.perf_counter()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    seconds = time.perf_counter() - started
    print(f"throughput: {senders * per_sender} durable reports from {senders} senders in "
          f"{seconds:.2f} s = {senders * per_sender / seconds:.0f} reports/s")


def fsyncs_per_posts(posts=200):
    receiver = Receiver()
    trace = os.path.join(receiver.dir, "strace")
    tracer = subprocess.Popen(["strace", "-f", "-c", "-e", "trace=fsync,fdatasync", "-o", trace,
                               "-p", str(receiver.process.pid)], stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    for _ in range(posts):
        timed_post(receiver.port)
    tracer.terminate()
    tracer.wait()
    receiver.stop()
    with open(trace) as f:
        calls = sum(int(line.split()[3]) for line in f if "sync" in line and line.split()[0][0].isdigit())
    print(f"durability: {calls} fsync/fdatasync calls for {posts} acknowledged posts")


def fill(database, reports):
    """Stores reports straight into the file, as the receiver would, in one transaction."""
    items = report_items("Cliente")
    with sqlite3.connect(database) as db:
        start = db.execute("SELECT COALESCE(MAX(id), 0) FROM reports").fetchone()[0] + 1
        db.executemany("INSERT INTO reports (id, received, client) VALUES (?, ?, ?)",
                       ((i, "2026-12-01T10:00:00.000Z", "10.0.0.1")
                        for i in range(start, start + reports)))
        db.executemany("INSERT INTO report_items VALUES (?, ?, ?, ?)",
                       ((i, p, k, v) for i in range(start, start + reports)
                        for p, (k, v) in enumerate(items)))


def page_times(receiver, target, runs=20):
    values = []
    for _ in range(runs):
        started = time.perf_counter()
        status, _, body = receiver.get(target)
        assert status == 200, status
        values.append((time.perf_counter() - started) * 1000)
    return statistics.median(values), len(body)


def attack(port, count, dribble):
    sockets = [socket.create_connection(("127.0.0.1", port),
                                        source_address=(f"127.0.0.{2 + n % 10}", 0))
               for n in range(count)]
    stop = threading.Event()

    def drip():
        while not stop.is_set():
            for sock in sockets:
                try:
                    sock.send(b"P" if dribble else b"")
                except OSError:
                    pass
            stop.wait(1)
    thread = threading.Thread(target=drip)
    thread.start()
    return sockets, stop, thread


def post_waits(port, until, source="127.0.0.100"):
    """Posts one report after another from source until until() is true: each one's wait for "OK"
    (None when it never came within 60 s)."""
    waits = []
    while not until():
        started = time.perf_counter()
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=60,
                                          source_address=(source, 0)) as sock:
                sock.sendall(REPORT)
                answered = read_answer(sock, 60)[2] == b"OK"
        except OSError:
            answered = False
        waits.append(time.perf_counter() - started if answered else None)
        time.sleep(0.25)
    return waits


def spread_attack(addresses=16, per_address=1000, posts_for=20):
    """addresses × per_address connections, half dribbling a request line that never ends, half
    idle, each opened again as soon as it is cut, while another address posts reports."""
    receiver = Receiver()
    selector = selectors.DefaultSelector()

    def open_one(n):
        sock = socket.socket()
        sock.setblocking(False)
        sock.bind((f"127.0.0.{2 + n % addresses}", 0))
        sock.connect_ex(("127.0.0.1", receiver.port))
        selector.register(sock, selectors.EVENT_READ, n)
    for n in range(addresses * per_address):
        open_one(n)
    done, cut = threading.Event(), [0]

    def attack():
        dripped = time.monotonic()
        while not done.is_set():
            for key, _ in selector.select(0.2):
                try:
                    alive = key.fileobj.recv(4096) != b""
                except BlockingIOError:
                    continue
                except OSError:
                    alive = False
                if not alive:
                    selector.unregister(key.fileobj)
                    key.fileobj.close()
                    cut[0] += 1
                    open_one(key.data)
            if time.monotonic() - dripped >= 1:
                dripped = time.monotonic()
                for key in list(selector.get_map().values()):
                    if key.data % 2:
                        with contextlib.suppress(OSError):
                            key.fileobj.send(b"P")
    attacker = threading.Thread(target=attack)
    attacker.start()
    time.sleep(5)  # the attack in place
    ends = time.monotonic() + posts_for
    waits = post_waits(receiver.port, lambda: time.monotonic() > ends)
    done.set()
    attacker.join()
    for key in list(selector.get_map().values()):
        key.fileobj.close()
    answered = sorted(w * 1000 for w in waits if w is not None)
    print(f"post during {addresses} addresses x {per_address} slow-header/idle connections that "
          f"come back when cut ({cut[0]} cut): {len(answered)} of {len(waits)} answered \"OK\", "
          f"median {statistics.median(answered) if answered else float('nan'):.0f} ms, "
          f"max {answered[-1] if answered else float('nan'):.0f} ms; "
          f"peak memory {peak_rss_mib(receiver):.1f} MiB")
    receiver.stop()


def header_hoard(addresses=16, per_address=256):
    """Connections each sending a request line, then 30 KiB of headers, a slice at a time."""
    receiver = Receiver()
    sockets = []
    for n in range(addresses * per_address):
        with contextlib.suppress(OSError):
            sockets.append(socket.create_connection(
                ("127.0.0.1", receiver.port), source_address=(f"127.0.0.{2 + n % addresses}", 0)))
            sockets[-1].sendall(b"GET /reports HTTP/1.1\r\n")
    for _ in range(15):  # 2 KiB a connection every 0.25 s
        for sock in sockets:
            with contextlib.suppress(OSError):
                sock.send(b"X-Hoard: " + b"h" * 2037 + b"\r\n")
        time.sleep(0.25)
    time.sleep(1)
    print(f"{len(sockets)} connections from {addresses} addresses holding 30 KiB of headers: "
          f"peak memory {peak_rss_mib(receiver):.1f} MiB, a post then {timed_post(receiver.port):.2f} ms")
    for sock in sockets:
        sock.close()
    receiver.stop()


def hoard(connections=2000, addresses=8):
    """connections each sending all but the last byte of a 64 KiB body, a slice at a time."""
    receiver = Receiver()
    head = request("POST", f"{REPORT_PATH}?=", host="127.0.0.1", content_length=65536,
                   content_type="application/x-www-form-urlencoded")
    sockets = []
    for n in range(connections):
        with contextlib.suppress(OSError):
            sock = socket.create_connection(("127.0.0.1", receiver.port),
                                            source_address=(f"127.0.0.{2 + n % addresses}", 0))
            sock.sendall(head)
            sockets.append(sock)
    for _ in range(16):  # 4 KiB a connection every 0.25 s: 64 KiB - 1 in 4 s
        for sock in sockets:
            with contextlib.suppress(OSError):
                sock.send(b"x" * 4096)
        time.sleep(0.25)
    for sock in sockets:
        with contextlib.suppress(OSError):
            sock.send(b"x" * 4095)
    time.sleep(2)
    cut = 0
    for sock in sockets:
        try:
            cut += sock.recv(100, socket.MSG_DONTWAIT) == b""
        except BlockingIOError:
            pass
        except OSError:
            cut += 1
        sock.close()
    print(f"{connections} connections holding 64 KiB - 1 of a body: {cut} cut, "
          f"peak memory {peak_rss_mib(receiver):.1f} MiB, a post then {timed_post(receiver.port):.2f} ms")
    receiver.stop()


def main():
    if sys.argv[2:]:
        for name in sys.argv[2:]:
            {"spread": spread_attack, "spread48": lambda: spread_attack(48, 256),
             "hoard": hoard, "headers": header_hoard}[name]()
        return
    fsyncs_per_posts()
    receiver = Receiver()
    throughput(receiver)
    print(f"single post at rest: {latencies(receiver.port, 200)}")
    receiver.stop()
    fill(receiver.database, 100_000 - 2001)
    receiver = Receiver(folder=receiver.dir, database=receiver.database)
    first, size = page_times(receiver, "/reports?limit=50")
    deep, _ = page_times(receiver, "/reports?limit=50&before=1000")
    print(f"peak memory after start at 100,000 reports: {peak_rss_mib(receiver):.1f} MiB")
    print(f"listing at 100,000 reports: first page of 50 in {first:.1f} ms ({size} bytes), "
          f"a page deep in the history in {deep:.1f} ms")

    for limit in (50, 100):
        readers_stop = threading.Event()

        def read_all_the_time():
            while not readers_stop.is_set():
                receiver.get(f"/reports?limit={limit}")
        reader = threading.Thread(target=read_all_the_time)
        reader.start()
        print(f"post while a client reads {limit}-report pages without pause: "
              f"{latencies(receiver.port, 200)}")
        readers_stop.set()
        reader.join()
        print(f"  peak memory so far: {peak_rss_mib(receiver):.1f} MiB")

    for name, dribble in (("500 slow-header clients", True), ("500 idle clients", False)):
        sockets, stop, thread = attack(receiver.port, 500, dribble)
        print(f"post during {name}: {latencies(receiver.port, 50, 0.05)}")
        stop.set()
        thread.join()
        for sock in sockets:
            sock.close()

    for name, request in (("chunked floods", b"Transfer-Encoding: chunked\r\n\r\n" + b"10000\r\n" + b"a" * 65536),
                          ("header floods", b"X-A: b\r\n" * 8192)):
        def flood():
            for _ in range(20):
                with socket.create_connection(("127.0.0.1", receiver.port),
                                              source_address=("127.0.0.5", 0)) as sock:
                    try:
                        sock.sendall(b"POST /connect/lorvask.php?=x HTTP/1.1\r\nHost: a\r\n" + request * 16)
                    except OSError:
                        pass
        floods = [threading.Thread(target=flood) for _ in range(4)]
        for thread in floods:
            thread.start()
        for thread in floods:
            thread.join()
        print(f"after 80 {name}: a post {timed_post(receiver.port):.2f} ms")

    sockets, stop, thread = attack(receiver.port, 500, True)
    print(f"peak memory of the receiver through all of the above: {peak_rss_mib(receiver):.1f} MiB")
    started = time.perf_counter()
    receiver.stop()
    print(f"SIGTERM with 500 slow clients connected: exited in {(time.perf_counter() - started) * 1000:.0f} ms")
    stop.set()
    thread.join()
    for sock in sockets:
        sock.close()
    spread_attack()
    spread_attack(48, 256)
    hoard()
    header_hoard()


if __name__ == "__main__":
    main()
