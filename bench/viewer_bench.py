#!/usr/bin/env python3
"""Times the viewer's API on a real-sized history: 100,000 reports of 20,000 chairs, each chair with
two completed service runs (a before and an after report) and one lone report. The reports are
written straight into a database of schema 1, as a receiver from before the viewer kept them, so
the receiver's start-up upgrade (the schema's steps and the backfill of every report's facts and of
the fleet's figures) is timed too.

usage: viewer_bench.py BUILD_DIR   (BUILD_DIR/server/report-receiver, a Release build)
"""
import os
import random
import shutil
import sqlite3
import statistics
import sys
import tempfile
import time
import urllib.parse
from datetime import datetime, timedelta, timezone

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "server"))
os.environ.setdefault("REPORT_RECEIVER", os.path.join(sys.argv[1], "server", "report-receiver"))
from receiver_fixture import Receiver, report_items, report_keys  # noqa: E402

CHAIRS = 20_000
FIRST = ["Ana", "João", "Maria", "José", "Francisca", "Antônio", "Adriana", "Carlos", "Juliana",
         "Paulo", "Márcia", "Lucas", "Fernanda", "Pedro", "Aline", "Rafael", "Patrícia", "Bruno"]
LAST = ["Silva", "Santos", "Oliveira", "Souza", "Rodrigues", "Ferreira", "Alves", "Pereira",
        "Lima", "Gomes", "Costa", "Ribeiro", "Martins", "Carvalho", "Almeida", "Lopes", "Soares",
        "Fernandes", "Vieira", "Barbosa", "Rocha", "Dias", "Nascimento", "Andrade", "Moreira"]
MOTORS = ["KRT", "KRS", "Dorvalis", "KRT 071", "TRV"]
FIRMWARES = ["2.3", "2.4", "2.10"]
EVENTS = [k for k in report_keys() if k.startswith(("drive_event_", "painel_event_"))]
SCHEMA_1 = ("CREATE TABLE reports (id INTEGER PRIMARY KEY AUTOINCREMENT, received TEXT NOT NULL,"
            " client TEXT NOT NULL);"
            "CREATE TABLE report_items (report_id INTEGER NOT NULL REFERENCES reports(id),"
            " position INTEGER NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,"
            " PRIMARY KEY (report_id, position));")


def chair_reports(n, rng):
    """The five reports of chair n: (time, sender, items)."""
    serial = f"VZ{chr(65 + n % 26)}{chr(65 + n // 26 % 26)}{n % 10}{n // 10 % 10}{n:06d}"
    name = f"{rng.choice(FIRST)} {rng.choice(LAST)} {rng.choice(LAST)}"
    digits = f"{rng.randrange(10**11):011d}"
    cpf, cnpj = f"{digits[:3]}.{digits[3:6]}.{digits[6:9]}-{digits[9:]}", ""
    if n % 5 == 0:
        cnpj = f"{digits[:2]}.{digits[2:5]}.{digits[5:8]}/0001-{rng.randrange(100):02d}"
    sender = f"10.0.{rng.randrange(4)}.{rng.randrange(1, 50)}"
    start = datetime(2025, 1, 1, tzinfo=timezone.utc) + timedelta(minutes=rng.randrange(700_000))
    reports, motor = [], rng.choice(MOTORS)
    for run, offset in enumerate((0, 120_000, 300_000)):  # minutes
        when = start + timedelta(minutes=offset + rng.randrange(1000))
        common = dict(drive_serial=serial, cpf=cpf, cnpj=cnpj, email="cliente@exemplo.com.br",
                      drive_versao_fw=FIRMWARES[n % len(FIRMWARES)])
        before = {**common, "drive_motorizacao": motor,
                  **{k: str(rng.randrange(10)) for k in EVENTS}}
        reports.append((when, sender, report_items(name, **before)))
        if run < 2:
            motor = rng.choice(MOTORS)
            after = {**common, "drive_motorizacao": motor, "drive_param_0x0F": rng.randrange(4000)}
            reports.append((when + timedelta(seconds=rng.randrange(20, 300)), sender,
                            report_items(name, **after)))
    return reports


def fill(database):
    rng = random.Random(13)
    reports = [r for n in range(CHAIRS) for r in chair_reports(n, rng)]
    reports.sort(key=lambda r: r[0])
    if os.path.exists(database):
        return reports
    with sqlite3.connect(database) as db:
        db.executescript(SCHEMA_1)
        db.executemany("INSERT INTO reports VALUES (?, ?, ?)",
                       ((i, w.strftime("%Y-%m-%dT%H:%M:%S.000Z"), s)
                        for i, (w, s, _) in enumerate(reports, 1)))
        db.executemany("INSERT INTO report_items VALUES (?, ?, ?, ?)",
                       ((i, p, k, v) for i, (_, _, items) in enumerate(reports, 1)
                        for p, (k, v) in enumerate(items)))
    return reports


def median_ms(receiver, target, runs=15):
    values = []
    for _ in range(runs):
        started = time.perf_counter()
        status, _, body = receiver.get(target)
        assert status == 200, (target, status, body[:200])
        values.append((time.perf_counter() - started) * 1000)
    return statistics.median(values), body


def main():
    # Filling takes minutes: the schema 1 file is kept in the build folder and copied for each run.
    kept = os.path.join(sys.argv[1], "viewer-bench-schema1.sqlite3")
    started = time.perf_counter()
    reports = fill(kept)
    print(f"{len(reports):,} reports of {CHAIRS:,} chairs (schema 1) in "
          f"{time.perf_counter() - started:.0f} s, {os.path.getsize(kept) / 2**20:.0f} MiB")
    folder = tempfile.mkdtemp(prefix="viewer-bench-")
    database = os.path.join(folder, "reports.sqlite3")
    shutil.copyfile(kept, database)
    started = time.perf_counter()
    receiver = Receiver(folder=folder, database=database)
    while True:
        try:
            if receiver.get("/viewer/api/chairs?limit=1")[0] == 200:
                break
        except OSError:
            if not receiver.started():
                sys.exit("the receiver stopped: " + receiver.process.stderr.read().decode())
            time.sleep(0.1)
    print(f"start-up upgrade with the backfill of every report: "
          f"{time.perf_counter() - started:.1f} s")
    chair = reports[len(reports) // 2][2]
    serial, name = dict(chair)["drive_serial"], dict(chair)["nome"]
    cpf = dict(chair)["cpf"]
    services = receiver.get("/viewer/api/services?serial=" + serial)[2]
    service = services.split(b'"id":', 1)[1].split(b",", 1)[0].decode()
    q = urllib.parse.quote
    cases = [
        ("chairs, first page of 50", "/viewer/api/chairs?limit=50"),
        ("chairs, a page deep in the history", "/viewer/api/chairs?limit=50&before=50000"),
        ("a chair's services", "/viewer/api/services?serial=" + serial),
        ("a service's difference", "/viewer/api/service?id=" + service),
        ("a service's reports as CSV", "/viewer/api/service.csv?id=" + service),
        ("search: whole serial", "/viewer/api/chairs?q=" + serial),
        ("search: serial prefix (1 chair in 26)", "/viewer/api/chairs?q=VZA"),
        ("search: serial prefix (every chair)", "/viewer/api/chairs?q=VZ"),
        ("search: customer's whole name", "/viewer/api/chairs?q=" + q(name)),
        ("search: common surname", "/viewer/api/chairs?q=silva"),
        ("search: a surname's first letters", "/viewer/api/chairs?q=fer"),
        ("search: one letter", "/viewer/api/chairs?q=a"),
        ("search: CPF as typed", "/viewer/api/chairs?q=" + q(cpf)),
        ("search: CPF's first digits", "/viewer/api/chairs?q=" + cpf[:5]),
        ("search: one digit", "/viewer/api/chairs?q=5"),
        ("search: nothing found", "/viewer/api/chairs?q=zzzzzz"),
        ("fleet, every service", "/viewer/api/fleet"),
        ("fleet, one year", "/viewer/api/fleet?de=2025-07&ate=2026-06"),
        ("fleet, one firmware", "/viewer/api/fleet?firmware=2.4"),
        ("fleet, one month and firmware", "/viewer/api/fleet?de=2026-01&ate=2026-01&firmware=2.3"),
        ("fleet, events as CSV", "/viewer/api/fleet/eventos.csv"),
        ("fleet, chairs by motorization as CSV", "/viewer/api/fleet/motorizacoes.csv"),
    ]
    print("median of 15 requests through the receiver (page limit 50):")
    for title, target in cases:
        ms, body = median_ms(receiver, target)
        print(f"  {title:40s} {ms:7.1f} ms  ({len(body):,} bytes)")
    receiver.stop()


if __name__ == "__main__":
    main()
