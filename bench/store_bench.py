#!/usr/bin/env python3
"""The receiver's two stores side by side, in one run: reports stored per second with 8 and 32
senders against one and two receivers on one database (the stores taking turns, and PostgreSQL's
rate as a share of SQLite's), and the time of a page of the listing at 100,000 stored reports.
Each sender posts as the tool does: a new connection, the whole report, the answer read. Commits
are durable in both: SQLite syncs its WAL, PostgreSQL runs with fsync.

    python3 bench/store_bench.py build-release/server/report-receiver [--seconds 5] [--runs 3]
"""
import argparse
import collections
import multiprocessing
import os
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

parser = argparse.ArgumentParser()
parser.add_argument("receiver")
parser.add_argument("--seconds", type=float, default=5.0, help="posting time of each run")
parser.add_argument("--runs", type=int, default=3, help="runs of each posting case; the median")
parser.add_argument("--reports", type=int, default=100000, help="reports stored for the listing")
parser.add_argument("--one-chair", action="store_true", help="every sender posts the same chair")
options = parser.parse_args()
sys.dont_write_bytecode = True
os.environ["REPORT_RECEIVER"] = os.path.abspath(options.receiver)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "server"))
from receiver_fixture import (PostgresStore, Receiver, SqliteStore, exchange,  # noqa: E402
                              post_request, query_of, report_items)


def sender(port, source, request, deadline, counts):
    answers = collections.Counter()
    while time.monotonic() < deadline:
        status, _, body = exchange(port, request, source)
        answers["OK" if (status, body) == (200, b"OK") else str(status)] += 1
    counts.put(answers)


def throughput(store, receivers, senders):
    """Reports answered OK per second, and the other answers by status (0: none)."""
    database = store.database(tempfile.mkdtemp(prefix="bench-"))
    started = [Receiver(database=database) for _ in range(receivers)]
    try:
        counts = multiprocessing.Queue()
        deadline = time.monotonic() + options.seconds
        # Each sender from an address of its own, with chairs of its own, as service centres are;
        # --one-chair sends every report of one chair, which PostgreSQL's writers queue on.
        workers = [multiprocessing.Process(target=sender, args=(
            started[n % receivers].port, f"127.0.1.{n + 1}", post_request(query_of(report_items(
                "Bench", drive_serial="BENCH0000000" if options.one_chair else f"BENCH{n:07d}"))),
            deadline, counts)) for n in range(senders)]
        for worker in workers:
            worker.start()
        answers = collections.Counter()
        for _ in workers:
            answers.update(counts.get(timeout=options.seconds + 60))
        for worker in workers:
            worker.join()
        ok = answers.pop("OK", 0)
        return ok / options.seconds, " ".join(f"{n}x{status}" for status, n in answers.items())
    finally:
        for receiver in started:
            receiver.stop()


def fill_script(count):
    """Portable SQL that stores count reports of 142 items (the tool's leading empty item and 141
    named ones), each with the customer name of its own."""
    items = report_items("")
    keys = ",".join(f"({n}, '{k}', '{v}')" for n, (k, v) in enumerate(items))
    return ("CREATE TEMP TABLE report_keys (position INTEGER, key TEXT, value TEXT);"
            f"INSERT INTO report_keys VALUES {keys};"
            f"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < {count})"
            " INSERT INTO reports (received, client)"
            " SELECT '2026-01-01T00:00:00.000Z', '10.0.0.' || (i % 200) FROM n;"
            "INSERT INTO report_items (report_id, position, key, value)"
            " SELECT r.id, k.position, k.key,"
            " CASE WHEN k.key = 'nome' THEN 'Cliente ' || r.id ELSE k.value END"
            " FROM reports r CROSS JOIN report_keys k;")


def fill(store, database, count):
    if store.name == "sqlite":
        with sqlite3.connect(database) as db:
            db.executescript(fill_script(count))
    else:
        for sql in (fill_script(count), "VACUUM ANALYZE"):
            subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", database, "-c", sql],
                           check=True)


def listing(store):
    """Milliseconds (median of 20) of the newest page and of a page deep in the history, with
    the seconds the fill took."""
    database = store.database(tempfile.mkdtemp(prefix="bench-"))
    Receiver(database=database).stop()  # the receiver's own schema
    started = time.monotonic()
    fill(store, database, options.reports)
    filled = time.monotonic() - started
    receiver = Receiver(database=database)
    try:
        times = []
        for target in ("/reports?limit=50", "/reports?limit=50&before=1000"):
            samples = []
            for _ in range(20):
                begun = time.perf_counter()
                status, _, body = receiver.get(target)
                samples.append((time.perf_counter() - begun) * 1000)
                assert status == 200 and body.count(b'"id":') == 50, (status, body[:200])
            times.append(statistics.median(samples))
        return times, filled
    finally:
        receiver.stop()


def main():
    postgresql = PostgresStore()
    postgresql.start()
    try:
        print(f"{os.cpu_count()} CPUs, shared with the senders; load average"
              f" {os.getloadavg()[0]:.1f} at the start")
        print(f"\nlisting at {options.reports} reports (median of 20 requests, 50 reports a page)")
        print(f"{'store':<11} {'newest page':>12} {'before=1000':>12} {'fill':>8}")
        for store in (SqliteStore(), postgresql):
            (newest, deep), filled = listing(store)
            print(f"{store.name:<11} {newest:>9.1f} ms {deep:>9.1f} ms {filled:>6.0f} s", flush=True)

        # The tests' server skips syncing, which spares the fill above; measured commits must be
        # as durable as SQLite's.
        admin = f"postgresql://postgres@127.0.0.1:{postgresql.port}/postgres"
        postgresql.rows(admin, "ALTER SYSTEM SET fsync = on")
        postgresql.rows(admin, "SELECT pg_reload_conf()")
        assert postgresql.rows(admin, "SHOW fsync") == [("on",)]
        # The stores take turns, run by run, so that a change in the machine's pace in the
        # middle of the bench weighs on both alike.
        print(f"\nposting, median of {options.runs} runs of {options.seconds:g} s, the stores"
              " taking turns")
        print(f"{'receivers':>9} {'senders':>7} {'sqlite/s':>9} {'postgresql/s':>12} {'ratio':>6}"
              "  not OK")
        stores = (SqliteStore(), postgresql)
        for receivers in (1, 2):
            for senders in (8, 32):
                runs = {store.name: [] for store in stores}
                for _ in range(options.runs):
                    for store in stores:
                        runs[store.name].append(throughput(store, receivers, senders))
                rates = [statistics.median(rate for rate, _ in runs[store.name]) for store in stores]
                failed = " ".join(f"{name}: {failed}" for name, results in runs.items()
                                  for _, failed in results if failed)
                print(f"{receivers:>9} {senders:>7} {rates[0]:>9.0f} {rates[1]:>12.0f}"
                      f" {rates[1] / rates[0]:>6.2f}  {failed or '-'}", flush=True)
    finally:
        postgresql.stop()


if __name__ == "__main__":
    main()
