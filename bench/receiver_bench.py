#!/usr/bin/env python3
"""Measures report-receiver as a maker runs it: durable throughput, a page of the listing at
100,000 reports, post latency while others read or attack, memory, and the time to stop.

usage: receiver_bench.py BUILD_DIR   (BUILD_DIR/server/report-receiver, a Release build)
"""
import os
import select
import socket
import sqlite3
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "server"))
os.environ.setdefault("REPORT_RECEIVER", os.path.join(sys.argv[1], "server", "report-receiver"))
from receiver_fixture import Receiver, exchange, post_request, query_of, report_items  # noqa: E402

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


def main():
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


if __name__ == "__main__":
    main()
