"""The report receiver as a maker runs it, over real sockets, on an SQLite file or (with
RECEIVER_STORE=postgresql, for the cases that depend on the store) a PostgreSQL server of its own."""
import contextlib
import json
import os
import re
import select
import shutil
import signal
import socket
import sqlite3
import subprocess
import tempfile
import time
import unittest
import urllib.parse
from concurrent.futures import ThreadPoolExecutor

from receiver_fixture import (FORM, RECEIVER, REPORT_PATH, STORE, Receiver, corrupt_database,
                              post_request, query_of, read_answer, report_items, request, tag)

# Bytes that are not UTF-8 (overlong, surrogate, stray, past U+10FFFF, cut short) beside the
# characters at those bounds, NUL and a character ending the value.
HOSTILE = ("José \"da\" Silva\\ + & = % # <script>\x01\x1f\n\x00\udcc0\udcaf\udced\udca0\udc80\udcff"
           "\udce0\udc80\udcaf\udce0\udc9f\udcbf\u0800\udcf0\udc8f\udcbf\udcbf\U00010000\udcf4\udc90\udc80\udc80"
           "\U0010ffff\udce2\udc82.\udcf5\udc80\udc80\udc80\udce2\udc82\udcc0😀")
# Each byte that is not UTF-8, and NUL, is stored and listed as U+FFFD.
AS_STORED = re.sub("[\x00\udc80-\udcff]", "\ufffd", HOSTILE)

once = unittest.skipUnless(STORE.name == "sqlite", "independent of the store: run with SQLite")


def failing(table):
    """A trigger that fails every insert into table (a report's commit half way, at its facts), and
    its removal."""
    if STORE.name == "sqlite":
        return (f"CREATE TRIGGER fail BEFORE INSERT ON {table} BEGIN SELECT RAISE(ABORT, 'full'); END",
                "DROP TRIGGER fail")
    return ("CREATE OR REPLACE FUNCTION fail() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RAISE"
            f" EXCEPTION ''full''; END'; CREATE TRIGGER fail BEFORE INSERT ON {table} FOR EACH ROW"
            " EXECUTE FUNCTION fail()", f"DROP TRIGGER fail ON {table}")


def gone(table):
    """Renames table away from under the receiver, and back."""
    return f"ALTER TABLE {table} RENAME TO away", f"ALTER TABLE away RENAME TO {table}"


def ipv6_loopback():
    with socket.socket(socket.AF_INET6) as sock, contextlib.suppress(OSError):
        sock.bind(("::1", 0))
        return True
    return False


def backup(*args):
    return subprocess.run([RECEIVER, "backup", *args], capture_output=True, text=True, timeout=60)


def cut(sockets):
    """Those of sockets the receiver has closed."""
    def closed(sock):
        with contextlib.suppress(BlockingIOError):
            try:
                return sock.recv(1, socket.MSG_DONTWAIT) == b""
            except ConnectionError:
                return True
        return False
    return [sock for sock in sockets if closed(sock)]


def while_posting(receiver, reports, enough, action):
    """Posts reports named r0, r1, ... from 8 senders and, once more than enough are acknowledged
    (at most 20 s however loaded the machine), calls action with the names acknowledged by then
    while the rest are still being sent. Each name's answer, once all are sent."""
    answers = {}

    def post(name):
        with contextlib.suppress(OSError):
            answers[name] = receiver.post(report_items(name))[0]
    with ThreadPoolExecutor(8) as pool:
        for n in range(reports):
            pool.submit(post, f"r{n}")
        for _ in range(200):
            if list(answers.values()).count(200) > enough:
                break
            time.sleep(0.1)
        action({name for name, status in list(answers.items()) if status == 200})
    return answers


class Receiving(unittest.TestCase):
    def test_reports_are_stored_exactly_and_listed_in_pages_to_the_token_holder(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        sent = [report_items(HOSTILE, cpf="529.982.247-25"), report_items("B"), report_items("C")]
        for items in sent:
            status, headers, body = receiver.post(items)
            self.assertEqual((status, body, headers["cache-control"],
                              headers["x-content-type-options"]), (200, b"OK", "no-store", "nosniff"))
        sent[0][1] = ("nome", AS_STORED)
        self.assertEqual([s[1:] for s in receiver.stored()], [("127.0.0.1", s) for s in sent])

        first = json.loads(receiver.get("/reports?limit=2")[2])
        self.assertRegex(first["reports"][0]["received"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        last = json.loads(receiver.get(f"/reports?limit=2&before={first['next']}")[2])
        self.assertEqual([[r["items"][1][1] for r in page["reports"]] for page in (first, last)],
                         [["C", "B"], [AS_STORED]])
        self.assertIsNone(last["next"])

        # A commit that fails half way is answered 500 and leaves nothing; the next is stored, and
        # pairs with the one before it (1 and 2 are one service, 3 and 5 another).
        create, drop = failing("report_facts")
        STORE.rows(receiver.database, create)
        self.assertEqual(receiver.post(report_items("D"))[0], 500)
        STORE.rows(receiver.database, drop)
        self.assertEqual(receiver.post(report_items("E"))[0], 200)
        self.assertEqual([s[2][1][1] for s in receiver.stored()][1:], ["B", "C", "E"])
        self.assertEqual(json.loads(receiver.get("/viewer/api/chairs")[2])["chairs"][0]["services"], 2)

        # A run's report sent by 8 at once, as when answers were lost: each answered OK, one stored.
        for stage in ("before", "after"):
            with ThreadPoolExecutor(8) as pool:
                answers = pool.map(lambda _: receiver.post(report_items(stage), veltora_service=tag(stage))[::2], range(8))
            self.assertEqual(list(answers), [(200, b"OK")] * 8)
        self.assertEqual([s[2][1][1] for s in receiver.stored()][3:], ["E", "before", "after"])
        run = json.loads(receiver.get("/viewer/api/services?serial=0")[2])["services"][0]
        self.assertEqual((run["stage"], run["after"]["stage"]), ("before", "after"))

        self.assertEqual(receiver.get("/health", authorization=None)[::2], (200, b"OK\n"))
        receiver.stop()
        with open(receiver.log) as log:
            lines = log.read().splitlines()
        self.assertEqual(len(lines), 28)  # one a request, with no query: no personal data; no health check
        self.assertRegex(lines[0], r"\d\d\.\d{3}Z 127\.0\.0\.1 POST /connect/lorvask\.php 200 2 [\d.]+ms$")

    def test_a_persons_reports_are_found_exported_and_anonymized_on_request_or_when_old(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        person = {"cpf": "111.444.777-35", "email": "bia@example.com", "telefone": "(11) 98765-4321", "cep": "01310-100"}
        sent = [report_items("Beatriz Souza", drive_serial="BIA1", drive_param_0x0F="-5", drive_event_0x01="7", **person),
                report_items("Beatriz Souza", drive_serial="BIA2", cpf="11144477735", email="Outra@Example.com"),
                report_items("Ana", drive_serial="ANA3", cpf="529.982.247-25", email=" BIA@Example.COM "),
                report_items("Oficina", drive_serial="OFI4", cnpj="12.ABC.345/01DE-35")]
        self.assertEqual([receiver.post(items)[0] for items in sent], [200] * 4)
        admin = receiver.staff("tita", "admin")  # a person's data is the admins' alone
        self.assertEqual([receiver.get("/viewer/api/titular?q=11144477735")[0],
                          receiver.get("/viewer/api/titular?q=11144477735", authorization=None,
                                       cookie=f"veltora_sessao={receiver.staff('lia', 'leitura')}")[0]], [403, 403])

        def found(query, shown="id"):
            return [r[shown] for r in json.loads(receiver.get("/viewer/api/titular?q=" + urllib.parse.quote(query), authorization=None,
                                                             cookie=f"veltora_sessao={admin}")[2])["reports"]]

        def erase(count, query="111.444.777-35"):
            body = urllib.parse.urlencode({"q": query, "count": count}).encode()
            return receiver.send(request("POST", "/viewer/api/titular/anonimizar", body, host="127.0.0.1", origin="http://127.0.0.1",
                                         cookie=f"veltora_sessao={admin}", content_type=FORM, content_length=len(body)))[::2]
        # A CPF or CNPJ with or without its punctuation, an e-mail in any case: whole, never a part.
        for query, ids in (("111.444.777-35", [1, 2]), ("11144477735", [1, 2]), ("1114447773", []), ("111444777350", []),
                           (" BIA@example.com", [1, 3]), ("bia@example.co", []), ("12abc34501de35", [4])):
            self.assertEqual(found(query), ids, query)
        _, headers, export = receiver.get("/viewer/api/titular.json?q=bia%40example.com", authorization=None,
                                          cookie=f"veltora_sessao={admin}")
        self.assertEqual(headers["content-disposition"], 'attachment; filename="titular.json"')
        export = json.loads(export)
        self.assertEqual([[tuple(item) for item in r["items"]] for r in export["reports"]], [sent[0], sent[2]])
        self.assertEqual([erase(3)[0], erase(1)[0], erase(2)], [409, 409, (200, b'{"anonymized":2}')])
        personal = ("nome", "email", "telefone", "cep", "cpf", "cnpj")
        self.assertEqual([items for _, _, items in receiver.stored()],
                         [[(k, "anonimizado" if k in personal else v) for k, v in items] for items in sent[:2]] + sent[2:])
        if STORE.name == "sqlite":  # neither the file nor its WAL keeps the erased bytes
            for name in ("reports.sqlite3", "reports.sqlite3-wal"):
                with open(os.path.join(receiver.dir, name), "rb") as f:
                    content = f.read()
                for erased in (b"111.444.777-35", b"11144477735", b"eatriz", b"98765-4321", b"01310-100", b"utra@"):
                    self.assertFalse(erased in content, (erased, name))
        self.assertEqual([found("11144477735"), found("bia@example.com", "serial"), found("outra@example.com")], [[], ["ANA3"], []])
        chairs = [[(c["serial"], c["customer"], c["taxpayer"]) for c in json.loads(receiver.get(f"/viewer/api/chairs?q={q}")[2])["chairs"]]
                  for q in ("beatriz", "111444", "anonimizado")]
        self.assertEqual(chairs, [[], [], [("BIA2", "anonimizado", "anonimizado"), ("BIA1", "anonimizado", "anonimizado")]])

        # Kept for 30 days: a report received a minute over them loses its personal data, one a minute short keeps it.
        for report, age in ((3, 30 * 86400 + 60), (4, 30 * 86400 - 60)):
            received = time.strftime("%Y-%m-%dT%H:%M:%S.000Z", time.gmtime(time.time() - age))
            STORE.rows(receiver.database, f"UPDATE reports SET received = '{received}' WHERE id = {report}")
        # And 501 reports of long ago (bare, without items): anonymized 500 a transaction.
        STORE.rows(receiver.database, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 501)"
                   " INSERT INTO reports (received, client) SELECT '2000-01-01T00:00:00.000Z', 'old' FROM n")
        self.assertEqual(receiver.stop(), 0)
        receiver = Receiver("--personal-data-days", "30", folder=receiver.dir, database=receiver.database, token=receiver.token)
        for _ in range(100):
            audit = STORE.rows(receiver.database, "SELECT who, address, action, subject, result FROM audit WHERE action IN"
                               " ('titular', 'exportacao', 'anonimizacao') ORDER BY id")
            if len(audit) == 14:
                break
            time.sleep(0.1)
        self.assertEqual(audit[:2] + audit[7:9] + audit[10:11], [("tita", "127.0.0.1", "titular", "1,2", "2")] * 2 + [
            ("tita", "127.0.0.1", "exportacao", "1,3", "2"), ("tita", "127.0.0.1", "anonimizacao", "1,2", "2"),
            ("tita", "127.0.0.1", "titular", "3", "1")])
        self.assertRegex("|".join(audit[12]), r"^retencao\|\|anonimizacao\|recebidos antes de 20\d\d-[-\d]+T[\d:.]+Z\|500$")
        self.assertEqual(audit[13], audit[12][:4] + ("2",))
        self.assertEqual([dict(items).get("cpf") for _, _, items in receiver.stored()][:4], ["anonimizado"] * 3 + ["0"])

    def test_the_metrics_page_counts_what_the_receiver_did(self):
        receiver = Receiver("--idle-timeout", "2")
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        statuses = [receiver.post(report_items(name))[0] for name in ("A", "B", "C")]
        statuses += [receiver.post(report_items(), origin="http://evil.example")[0],
                     receiver.post(report_items()[1:])[0], receiver.post(report_items()[1:])[0],
                     receiver.send(request("GET", "/health", host="127.0.0.1", connection="close"))[0]]
        silent = [socket.create_connection(("127.0.0.1", receiver.port)) for _ in range(3)]
        time.sleep(0.5)
        self.assertEqual(receiver.metrics()["report_receiver_open_connections"], 4)  # and its own
        time.sleep(3)  # past the idle timeout: the three are cut, the closed ones not counted
        metrics = receiver.metrics()
        self.assertEqual((statuses, cut(silent)), ([200, 200, 200, 403, 400, 400, 200], silent))
        self.assertEqual({k: v for k, v in metrics.items() if not k.startswith((
            "report_receiver_commit_seconds_bucket", "report_receiver_commit_seconds_sum"))}, {
            "report_receiver_reports_stored_total": 3,
            'report_receiver_posts_refused_total{status="403",cause="foreign origin"}': 1,
            'report_receiver_posts_refused_total{status="400",cause="not a service report"}': 2,
            "report_receiver_commit_seconds_count": 3,
            **{f'report_receiver_commit_batch_reports_bucket{{le="{le}"}}': 3
               for le in (1, 2, 4, 8, 16, 32, 64, "+Inf")},
            "report_receiver_commit_batch_reports_sum": 3, "report_receiver_commit_batch_reports_count": 3,
            "report_receiver_open_connections": 1,
            **{f'report_receiver_connections_cut_total{{reason="{r}"}}': 3 * (r == "idle")
               for r in ("deadline", "idle", "connection_cap", "request_budget", "body_cap")},
            "report_receiver_store_errors_total": 0,
            'report_receiver_build_info{version="1.0"}': 1, 'report_receiver_schema_info{version="9"}': 1})
        self.assertTrue(0 < metrics["report_receiver_commit_seconds_sum"] < 3)

    def test_staff_sign_in_as_themselves_their_sessions_end_at_once_and_every_read_is_recorded(self):
        receiver = Receiver()
        other = Receiver(database=receiver.database)  # a second receiver on the same database
        for each in (receiver, other):
            self.addCleanup(lambda each=each: self.assertEqual(each.stop(), 0))
        receiver.post(report_items("José da Silva"))
        read = lambda cookie, target, via=receiver: via.get(target, authorization=None, cookie=f"veltora_sessao={cookie}")[0]
        once = receiver.users("add", "ana", "--role", "admin")
        first = receiver.form("/viewer/entrar", usuario="ana", senha=once)
        self.assertEqual([first[1], read(first[2], "/viewer/api/chairs"), read(first[2], "/viewer/api/eu")],
                         ["/viewer/?trocar", 403, 200])  # the one-time password changed first
        refused = "/viewer/?trocar&recusada"  # a wrong current one, the same again, or under 10 characters
        for current, fresh, location in (("x" * 20, "ana-pass-1", refused), (once, once, refused),
                                         (once, "ana-pass-", refused), (once, "ana-pass-1", "/viewer/")):
            changed = receiver.form("/viewer/senha", cookie=first[2], atual=current, nova=fresh)
            self.assertEqual(changed[1], location, (current, fresh))
        admin, reader = changed[2], receiver.staff("bia", "leitura")
        ended = {what: receiver.staff(what, role) for what, role in (("sair", "leitura"), ("caio", "leitura"), ("duda", "admin"))}
        receiver.get("/reports")  # the machines' token, recorded as "token"
        for cookie, target, status in ((first[2], "/viewer/api/eu", 401), (admin, "/viewer/api/auditoria", 200),
                                       (admin, "/viewer/api/usuarios", 200), (reader, "/viewer/api/chairs?q=SILVA", 200),
                                       (reader, "/viewer/api/chairs?q=%3Dcmd()", 200), (reader, "/viewer/api/chairs?limit=0", 400),
                                       (reader, "/viewer/api/auditoria", 403),
                                       (reader, "/viewer/api/auditoria.csv", 403), (reader, "/viewer/api/usuarios", 403)):
            self.assertEqual(read(cookie, target, other), status, target)
        self.assertEqual(receiver.get("/viewer/api/auditoria")[0], 403)
        expires = int(STORE.rows(receiver.database, "SELECT expires FROM sessions WHERE user_name = 'bia'")[0][0])
        self.assertTrue(-60 <= expires - time.time() - 12 * 3600 <= 0, expires)  # a session lasts 12 h
        for change, status in ((f"UPDATE sessions SET expires = {int(time.time()) + 5} WHERE user_name = 'bia'", 200),
                               (f"UPDATE sessions SET expires = {int(time.time()) - 1} WHERE user_name = 'bia'", 401),  # expired
                               (f"UPDATE sessions SET expires = {int(time.time()) + 60} WHERE user_name = 'bia';"
                                " UPDATE users SET disabled = 1 WHERE name = 'bia'", 401)):  # its account disabled
            STORE.rows(receiver.database, change)
            self.assertEqual(read(reader, "/viewer/api/chairs"), status, change)
        # Sair, disabling and a reset each end a live session on every receiver at once.
        receiver.form("/viewer/sair", cookie=ended["sair"])
        receiver.users("disable", "caio")
        again = receiver.users("reset", "duda")
        self.assertEqual([read(cookie, "/viewer/api/chairs", other) for cookie in ended.values()], [401] * 3)
        STORE.rows(receiver.database, f"INSERT INTO sessions VALUES ('velha', 'sair', {int(time.time()) - 1})")
        # A reset's one-time password opens no admin's page until it is changed.
        self.assertEqual(read(receiver.form("/viewer/entrar", usuario="duda", senha=again)[2], "/viewer/api/usuarios"), 403)
        self.assertEqual(STORE.rows(receiver.database, "SELECT user_name FROM sessions WHERE id = 'velha' OR user_name = 'bia'"),
                         [("bia",)])  # a sign-in clears the sessions past their time, and only those
        users = json.loads(receiver.get("/viewer/api/usuarios", authorization=None, cookie=f"veltora_sessao={admin}")[2])["users"]
        self.assertLessEqual({("ana", True, False), ("caio", False, False), ("duda", True, True)},
                             {(u["name"], u["active"], u["must_change"]) for u in users})
        self.assertIn("ana\tadmin\tativo\t", receiver.users("list"))
        self.assertEqual(receiver.form("/viewer/entrar", usuario="caio", senha="caio-own-password")[1], "/viewer/?recusado")
        # After 5 failures the next try waits, a second, then two, per account and per address.
        tries = [receiver.form("/viewer/entrar", "127.0.0.3", usuario="ana", senha="wrong")[1::2] for _ in range(6)]
        self.assertEqual(tries, [("/viewer/?recusado", None)] * 5 + [("/viewer/?aguarde=1", "1")])
        time.sleep(1.05)
        self.assertEqual(receiver.form("/viewer/entrar", "127.0.0.3", usuario="ana", senha="ana-pass-1")[1], "/viewer/")
        self.assertEqual([receiver.form("/viewer/entrar", "127.0.0.5", usuario="ana", senha="wrong")[1] for _ in range(2)],
                         ["/viewer/?recusado"] * 2)  # the sign-in cleared the account's count
        tries = [receiver.form("/viewer/entrar", source, usuario="bia", senha="wrong")[1::2]
                 for source in ("127.0.0.3", "127.0.0.3", "127.0.0.4")]
        self.assertEqual(tries, [("/viewer/?recusado", None), ("/viewer/?aguarde=2", "2"), ("/viewer/?recusado", None)])
        # A failure a quarter of an hour after the one before counts from one again; no wait is over a minute.
        for failures, ago, locations in ((5, 895, ["recusado", "aguarde=2"]), (5, 905, ["recusado"] * 2),
                                         (10, 0, ["aguarde=32"] * 2), (11, 0, ["aguarde=60"] * 2)):
            STORE.rows(receiver.database, "DELETE FROM sign_in_failures WHERE key = 'endereco:127.0.0.6'; INSERT INTO"
                       f" sign_in_failures VALUES ('endereco:127.0.0.6', {failures}, {int((time.time() - ago) * 1000)})")
            self.assertEqual([receiver.form("/viewer/entrar", "127.0.0.6", usuario="x", senha="y")[1][9:] for _ in range(2)],
                             locations, (failures, ago))
        receiver.form("/viewer/entrar", usuario="bia-own-password", senha="x")  # a password typed as the name
        # The audit: who read what, searches with their query, never a password; filtered and as CSV.
        audit = lambda query="": [(e["who"], e["action"], e["subject"], e["result"]) for e in json.loads(other.get(
            "/viewer/api/auditoria?" + query, authorization=None, cookie=f"veltora_sessao={admin}")[2])["entries"]]
        self.assertLessEqual({("bia", "busca", "SILVA", "ok"), ("token", "relatorios", "", "ok"), ("ana", "entrada", "", "recusado"),
                              ("ana", "entrada", "", "aguarde"), ("desconhecido", "entrada", "", "recusado"),
                              ("ana", "senha", "", "recusado"), ("sair", "saida", "", "ok"), ("ana", "entrada", "", "ok"),
                              ("ana", "senha", "", "ok"), ("bia", "cadeiras", "", "400")}, set(audit()))
        today = time.strftime("%Y-%m-%d", time.gmtime())
        self.assertEqual([audit("pessoa=silva"), audit(f"desde={today}&ate={today}") == audit()[1:], audit(f"ate={today}") == audit()[1:], audit("usuario=bia")[:2]],
                         [[("bia", "busca", "SILVA", "ok")], True, True, [("bia", "entrada", "", "recusado"), ("bia", "entrada", "", "aguarde")]])
        self.assertEqual([audit(f"desde={today[:3]}9-12-31"), audit(f"ate={today[:3]}0-01-01"), audit("pessoa=%25"), audit("pessoa=_")],
                         [[], [], [], []])
        csv = other.get("/viewer/api/auditoria.csv", authorization=None, cookie=f"veltora_sessao={admin}")[2].decode()
        self.assertIn(",bia,127.0.0.1,busca,'=cmd(),ok\r\n", csv)
        self.assertFalse([word for word in ("wrong", "own-password", "ana-pass", once) if word in csv])
        # 100 entries a page, the next before its last; the CSV holds the newest 100,000 of those asked for.
        STORE.rows(receiver.database, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100001)"
                   " INSERT INTO audit (at, who, address, action, subject, result) SELECT '2026-01-01T00:00:00.000Z',"
                   " 'carga', '', 'busca', 'x', 'ok' FROM n")
        page = lambda query: other.get("/viewer/api/auditoria" + query, authorization=None, cookie=f"veltora_sessao={admin}")[2]  # noqa: E731
        newest = json.loads(page("?usuario=carga"))
        ids = [e["id"] for e in newest["entries"] + json.loads(page(f"?usuario=carga&antes={newest['next']}"))["entries"]]
        self.assertEqual((ids, newest["next"], json.loads(page("?pessoa=silva"))["next"]),
                         (list(range(ids[0], ids[0] - 200, -1)), ids[99], None))
        self.assertEqual(page(".csv?usuario=carga").count(b"\r\n"), 100001)
        for change in ("UPDATE audit SET who = 'x'", "DELETE FROM audit"):  # append-only
            self.assertRaises(Exception, STORE.rows, receiver.database, change)


@once
class Refusing(unittest.TestCase):
    def test_each_request_gets_its_answer_and_only_service_reports_are_stored(self):
        receiver = Receiver("--personal-data-days", "1")  # the shortest keeping: today's reports stay
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        post, get, port, token = receiver.post, receiver.get, receiver.port, receiver.token
        items = report_items()
        query, local = query_of(items), {"host": f"localhost:{port}"}
        chunks = b"400\r\n" + b"a" * 1024 + b"\r\n"
        raw, anonymous = receiver.send, lambda target, **h: request("GET", target, host="127.0.0.1", **h)
        admin = {"authorization": None, "cookie": f"veltora_sessao={receiver.staff('tita', 'admin')}"}
        erase = lambda body, **h: request("POST", "/viewer/api/titular/anonimizar", body, **{
            "host": "127.0.0.1", "origin": "http://127.0.0.1", **admin,
            "content_type": FORM, "content_length": len(body), **h})
        cases = [  # (send, query or target, headers and body, status)
            (post, query.replace("nome=Ana", "nome=Jo%c3%afo+Z"), {}, 200),
            # Empty pieces, as a proxy may leave them, are no items.
            (post, "&" + query.replace("&nome=Ana&", "&&nome=Bia&&") + "&", {}, 200),
            (post, query, {"body": b"x" * 65536}, 200), (post, query, {"body": b"x" * 65537}, 413),
            # A chunked body is counted as it comes: past the cap the connection is cut.
            (post, query, {"body": chunks * 65 + b"0\r\n\r\n", "content_length": None,
                           "transfer_encoding": "chunked"}, 0),
            *[(post, query, {"content_type": bad}, 400) for bad in ("text/plain", FORM + "X")],
            *[(post, bad, {}, 400) for bad in ("", "=", items[:-1], items + [("x", "1")], items[1:],
                                               items[:2] + [items[3], items[2]] + items[4:], query + "%G1")],
            (post, query, {"origin": "http://evil.example"}, 403),
            # A run's header: its three fields once each, in any order, a known stage, a lower-case
            # UUID and a time in UTC that exists, to the nanosecond.
            (post, query, {"veltora_service": tag("after", "2028-02-29T23:59:59.123456789Z", 2)}, 200),
            (post, query, {"veltora_service": f"made=2026-12-07T10:00:00Z;stage=interrupted;id={tag()[3:39]}"}, 200),
            *[(post, query, {"veltora_service": bad}, 400) for bad in (
                tag()[:-27], tag() + "; x=1", tag() + ";", tag().replace("; ", " "), tag("during"), tag("Before"),
                tag() + "; stage=before", tag(run=tag()[3:39].upper()), tag(run="{%s}" % tag()[3:39]),
                tag(run=tag()[3:38]), tag(run=tag()[3:39] + "0"), tag(run="g" + tag()[4:39]),
                *[tag(made=m) for m in ("2026-12-07T10:00:00+00:00", "2026-12-07T10:00:00z", "2026-12-07 10:00:00Z",
                                        "2026-02-29T10:00:00Z", "2026-12-07T24:00:00Z", "2026-12-07T10:00:00.Z",
                                        "2026-12-07T10:00:00.1234567891Z", "2026-12-07T10:00Z")])],
            *[(get, target, {"authorization": bad}, 401) for target in ("/reports", "/metrics") for bad in (
                None, f"Bearer wrong-{token}", f"Bearer {token[:-1]}", f"Bearer x{token[1:]}",
                f"Bearer {token[:-1]}{'b' if token.endswith('a') else 'a'}")],
            (get, "/metrics", {"host": f"evil.example:{port}"}, 421),
            (raw, request("POST", "/health", host="127.0.0.1", content_length=0), {}, 405),
            *[(get, "/reports", {"origin": bad, **local}, 403) for bad in (
                "http://evil.example", f"http://localhost:{port + 1}", f"http://localhost:{port}.evil.example")],
            (get, "/reports", {"host": f"evil.example:{port}"}, 421),
            (get, "/reports", {"origin": f"https://localhost:{port}", "host": f"LOCALHOST:{port}"}, 200),
            *[(get, f"/reports?{bad}", {}, 400) for bad in ("limit=0", "limit=101", "limit=x", "before=-1")],
            (get, "/reports?&&limit=9&", {}, 200), (get, f"{REPORT_PATH}?{query}", {}, 405), (get, "/x", {}, 404),
            # A URL of up to 16 KiB is read, however many its items; past it, 414 at once.
            *[(get, f"/reports?{'x' * (16 * 1024 - 9 + extra)}", {}, status)
              for extra, status in ((0, 200), (1, 414))],
            (get, f"/reports?{'&x' * 2000}", {}, 200),
            (raw, anonymous(f"/reports?{'x' * 40000}"), {}, 414),  # the library's own, as its 431 and 505
            # Line and headers up to 32 KiB, counting 64 bytes a header (2 here); past it, 431.
            *[(raw, anonymous("/reports", x_pad="p" * size), {}, status)
              for size, status in ((32589, 401), (32590, 431), (40000, 431))],
            (raw, b"GET /reports HTTP/2.0\r\nHost: 127.0.0.1\r\n\r\n", {}, 505),
            (raw, b"GET /reports HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: 127.0.0.1\r\n\r\n", {}, 400),
            *[(raw, anonymous(f"/viewer/index.html{nul}"), {}, 400) for nul in ("\x00", "%00")],
            (raw, request("HEAD", "/viewer/", host="127.0.0.1"), {}, 200),
            # A person's data: to an admin, erased only from the viewer's own pages, and only as
            # many reports as confirmed (none holds "1").
            (get, "/viewer/api/titular?q=1", {"authorization": None}, 401), (get, "/viewer/api/titular?q=.-", admin, 400),
            (get, "/viewer/api/titular/anonimizar", {}, 405), (get, "/viewer/api/titularx?q=1", admin, 404),
            # The audit's days are YYYY-MM-DD and its cursor an entry; the token has no password to change.
            *[(get, f"/viewer/api/auditoria?{query}", admin, status) for query, status in (
                ("desde=2026-01-1", 400), ("ate=2026-0101-", 400), ("antes=0", 400), ("antes=1&desde=2026-01-01&ate=2026-12-31", 200))],
            (raw, request("POST", "/viewer/senha", b"atual=x", host="127.0.0.1", origin="http://127.0.0.1",
                          authorization=f"Bearer {token}", content_type=FORM, content_length=7), {}, 303),
            *[(raw, erase(body, **h), {}, status) for body, h, status in (
                (b"q=1&count=1", {"origin": None}, 403), (b"q=1&count=1", {"origin": "http://evil.example"}, 403),
                (b"q=1&count=1", {"cookie": None}, 401), (b"q=1", {}, 400), (b"q=1&count=0", {}, 400),
                (b"q=1&count=1", {"content_type": "text/plain"}, 400),
                (b"q=&count=1", {}, 400), (b"q=1&count=1", {}, 409))],
        ]
        for row, (send, target, headers, expected) in enumerate(cases):
            status, headers, body = send(target, **headers)
            self.assertEqual((status, body == b"OK"), (expected, send == post and expected == 200), row)
            if status:
                self.assertEqual((headers["cache-control"], headers["x-content-type-options"]),
                                 ("no-store", "nosniff"), row)
            if status == 401:
                self.assertEqual(headers["www-authenticate"], "Bearer")
        self.assertEqual([s[2][1][1] for s in receiver.stored()], ["Joïo Z", "Bia", "Ana", "Ana", "Ana"])
        for name in ("reports.sqlite3", "reports.sqlite3-wal", "reports.sqlite3-shm"):
            self.assertEqual(os.stat(os.path.join(receiver.dir, name)).st_mode & 0o777, 0o600, name)

    def test_refused_urls_leave_nothing_behind(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))  # with no leak reported

        def send(count):  # as fast as a client can, each connection closed once its URL is sent
            for n in range(count):
                with socket.create_connection(("127.0.0.1", receiver.port)) as sock:
                    sock.sendall(request("GET", ["/reports?" + "a" * 32500, "/?" + "&a=b" * 2000][n % 2],
                                         host="127.0.0.1"))
        with socket.create_connection(("127.0.0.1", receiver.port)) as sock:
            sock.sendall(request("GET", "/?" + "a" * 20000, host="127.0.0.1")[:-2])  # headers unended
            status = read_answer(sock)[0]
            sock.settimeout(2)
            self.assertEqual((status, sock.recv(1)), (414, b""))  # at once
        send(1000)  # the allocator's arenas settle
        before = receiver.memory_kib()
        send(2000)
        if os.environ.get("RECEIVER_SANITIZED") != "ON":  # which holds freed memory back a while
            self.assertLess(receiver.memory_kib() - before, 8 * 1024)  # a leak: 40 MiB

    def test_a_store_failure_is_answered_500_and_its_cause_logged_once_a_second(self):
        receiver = Receiver()
        with sqlite3.connect(receiver.database) as db:
            db.execute("CREATE TRIGGER full BEFORE INSERT ON reports"
                       " BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END")
        posted = [receiver.post(report_items("Fulana", email="fulana@exemplo.com"))[0] for _ in range(3)]
        with sqlite3.connect(receiver.database) as db:
            db.executescript("DROP TABLE reports; DROP TABLE chairs; DROP TABLE schema_version")
        self.assertEqual(posted + [receiver.get(target)[0] for target in ("/reports", "/viewer/api/chairs", "/health")],
                         [500] * 5 + [503])
        self.assertEqual(receiver.metrics()["report_receiver_store_errors_total"], 5)
        self.assertEqual(receiver.stop(), 0)
        cause = "report-receiver: POST /connect/lorvask.php 500: report not stored: database or disk is full"
        self.assertEqual(receiver.errors.splitlines()[1:], [
            cause, "report-receiver: GET /reports 500: reports not read: no such table: reports",
            "report-receiver: GET /viewer/api/chairs 500: chairs not read: no such table: chairs",
            "report-receiver: GET /health 503: health check: no such table: schema_version",
            cause + " (2 more in 1 s)"])

    def test_near_the_cap_waiting_connections_give_way_longest_first(self):
        receiver = Receiver(files=128)  # a cap of 64 connections
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        opened = []
        self.addCleanup(lambda: [sock.close() for sock in opened])

        def connect():  # one at a time, so the receiver sees them in this order
            time.sleep(0.002)
            opened.append(socket.create_connection(("127.0.0.1", receiver.port),
                                                   source_address=("127.0.0.2", 0)))
            return opened[-1]
        report = post_request(report_items())
        busy = connect()
        busy.sendall(report[:-1])  # its request under way: never cut for room
        waiting = [connect() for _ in range(66)]
        # From 60 open (the cap less 1/16) each new one closes the longest waiting at once; from
        # 48 (3/4 of it) those waiting a second go, down to 47, and no more.
        for after, closed in ((0.2, 8), (1.5, 20), (1, 20)):
            time.sleep(after)
            self.assertEqual(cut(waiting), waiting[:closed], after)
        self.assertEqual(receiver.metrics()['report_receiver_connections_cut_total{reason="connection_cap"}'], 20)
        self.assertEqual(receiver.post(report_items())[0], 200)
        busy.sendall(report[-1:])
        self.assertEqual(read_answer(busy)[0], 200)

    def test_request_data_past_its_budget_cuts_the_one_held_longest(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        holders = []
        self.addCleanup(lambda: [sock.close() for sock in holders])

        def hold(data, n):
            holders.append(socket.create_connection(("127.0.0.1", receiver.port),
                                                    source_address=(f"127.0.0.{2 + n % 3}", 0)))
            holders[-1].sendall(data)
        head = len(post_request("=", body=b"", content_length=10000))
        for n in range(512):  # line, headers and the body they announce, 64 KiB each: 32 MiB
            hold(post_request("=", body=b"", content_length=65536 - head), n)
            if n in (0, 511):  # the first held longest
                time.sleep(0.5)
                self.assertEqual(cut(holders), [])
        hold(b"GET /reports HTTP/1.1\r\nX-Slow: " + b"h" * 1000, 512)  # waiting for its headers' end
        time.sleep(0.5)
        self.assertEqual((cut(holders), receiver.metrics()['report_receiver_connections_cut_total{reason="request_budget"}']), (holders[:1], 1))
        self.assertEqual(receiver.post(report_items())[0], 200)

    def test_a_request_must_arrive_whole_within_its_deadline(self):
        receiver = Receiver("--idle-timeout", "10", "--deadline", "2")
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        with socket.create_connection(("127.0.0.1", receiver.port)) as sock:
            # The first takes 1.2 s of its 2; once it is answered the next has 2 s of its own.
            report = post_request(report_items())
            sock.sendall(report[:30])
            time.sleep(1.2)
            sock.sendall(report[30:] + b"GET /reports HTTP/1.1\r\n")
            self.assertEqual(read_answer(sock)[0], 200)
            answered = time.monotonic()
            self.assertEqual(sock.recv(100), b"")
            self.assertTrue(1.5 < time.monotonic() - answered < 3.5, time.monotonic() - answered)
        # A new connection's first request has its deadline too, however its bytes keep trickling.
        with socket.create_connection(("127.0.0.1", receiver.port)) as sock:
            opened = time.monotonic()
            with contextlib.suppress(OSError):  # a reset while sending is a cut too
                for byte in report[:50]:
                    if select.select([sock], [], [], 0.1)[0]:
                        break
                    sock.send(bytes([byte]))
                self.assertEqual(sock.recv(100), b"")
            self.assertTrue(1.9 < time.monotonic() - opened < 3.5, time.monotonic() - opened)
        self.assertEqual([receiver.metrics()[f'report_receiver_connections_cut_total{{reason="{r}"}}']
                          for r in ("deadline", "idle")], [2, 0])

    @unittest.skipUnless(ipv6_loopback(), "no IPv6 loopback on this machine")
    def test_on_ipv6_the_receiver_answers_its_own_bracketed_host_alone(self):
        receiver = Receiver("--address", "::1")
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        for host, status in ((f"[::1]:{receiver.port}", 200), ("[::1]", 200), (f"localhost:{receiver.port}", 200),
                             (f"[::2]:{receiver.port}", 421), ("[::1", 421), ("::1", 421)):
            with socket.create_connection(("::1", receiver.port), timeout=10) as sock:
                sock.sendall(request("GET", "/reports", host=host, authorization=f"Bearer {receiver.token}"))
                self.assertEqual(read_answer(sock)[0], status, host)
        receiver.stop()
        with open(receiver.log) as log:
            self.assertIn(" ::1 GET /reports ", log.read())

    def test_settings_are_checked_at_start_and_a_trusted_proxy_names_the_client(self):
        running = Receiver()
        self.addCleanup(running.stop)
        newer = Receiver(token=None)  # a database a later receiver has upgraded
        newer.stop()
        STORE.rows(newer.database, "INSERT INTO schema_version (version) VALUES (99)")
        for args, kw, blamed in ((["--port=0"], {}, "bad value for --port: 0"), (["--port", "65536"], {}, "bad value for --port: 65536"),
                                 (["--deadline", "0"], {}, "--deadline"), (["--verbose"], {}, "--verbose"),
                                 (["--deadline"], {"token": None}, "missing value for --deadline"),
                                 (["--token-file", newer.dir], {"token": None}, "cannot read the token file " + newer.dir),
                                 ([], {"database": newer.database}, "schema version 99, newer than this receiver's"),
                                 *[(["--personal-data-days", days], {}, "--personal-data-days") for days in ("0", "36501")],
                                 ([], {"token_mode": 0o640}, "--token-file: the token file /"),
                                 *[([], {"token": token}, "--token-file: the token in /") for token in ("fifteen-chars..", "sixteen chars...")],
                                 (["--database", "postgresql://postgres@127.0.0.1:1/none"], {}, "--database"),
                                 ([], {"port": running.port}, "Address already in use")):
            receiver = Receiver(*args, **kw)
            receiver.process.wait(10)  # each ends by itself
            self.assertNotEqual(receiver.stop(), 0, (args, kw))
            self.assertIn(blamed, receiver.errors)
        self.assertIn("usage: report-receiver", subprocess.run([RECEIVER, "--help"], capture_output=True,
                                                             text=True, check=True).stdout)
        # Without a token file nothing can be read, not even with an empty token, nor an empty
        # name and password sign anyone in, nor a cookie of no session open the API; data kept longest.
        receiver = Receiver("--personal-data-days=36500", token=None)
        self.assertEqual([receiver.form("/viewer/entrar", usuario="", senha="")[1],
                          receiver.get("/reports", authorization="Bearer ")[0],
                          receiver.get("/viewer/api/chairs", authorization=None, cookie=f"veltora_sessao={'0' * 64}")[0]],
                         ["/viewer/?recusado", 401, 401])
        # The proxy's own entry, the last, names the client (an empty one: the proxy); each report
        # goes to a receiver started anew on the same database.
        for forwarded in ("1.1.1.1, 2.2.2.2, 10.9 9.9", "1.2.3.4, "):
            self.assertEqual(receiver.stop(), 0)
            receiver = Receiver("--trusted-proxy", "127.0.0.1", folder=receiver.dir)
            self.assertEqual(receiver.post(report_items(), x_forwarded_for=forwarded)[0], 200)
        self.assertEqual([s[1] for s in receiver.stored()], ["10.9 9.9", "127.0.0.1"])
        self.assertEqual(receiver.stop(), 0)
        with open(receiver.log) as log:
            self.assertIn(" 10.9?9.9 POST ", log.read())
        # A database others may read is made private at start; when it cannot be (another user's
        # file), the receiver does not start, and names the file.
        shared = tempfile.mkdtemp()
        os.chmod(shared, 0o777)
        database = os.path.join(shared, "reports.sqlite3")
        Receiver(folder=shared, token=None).stop()
        with open(database + "-wal", "w") as wal:  # left over, not in use
            wal.write("old")
        for name in (database, database + "-wal"):
            os.chmod(name, 0o644)
        private = Receiver(folder=shared, token=None)
        self.assertEqual([os.stat(n).st_mode & 0o777 for n in (database, database + "-wal")],
                         [0o600, 0o600])
        self.assertEqual(private.stop(), 0)
        if os.geteuid() == 0:
            os.chmod(database, 0o666)
            other = Receiver(folder=shared, token=None, user="nobody")
            self.addCleanup(other.stop)  # runuser passes SIGTERM on: none is left running
            self.assertEqual(other.process.wait(10), 1)
            self.assertIn(f"{database} is open to other users", other.process.stderr.read().decode())


    def test_the_users_command_refuses_what_it_cannot_do_and_says_why(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        longest = "a" * 64
        users = lambda *args: subprocess.run([RECEIVER, "users", *args, "--database", receiver.database],
                                             capture_output=True, text=True, timeout=60)
        for args, status, says in (
                (["add", longest, "--role", "leitura"], 0, "one-time password of " + longest),
                (["add", longest + "a", "--role", "leitura"], 2, "1 to 64"), (["add", "a b", "--role", "leitura"], 2, "1 to 64"),
                (["add", "Ze.b_c-d@e9", "--role", "admin"], 0, "one-time password of Ze.b_c-d@e9"),
                (["add", "ze", "zz", "--role", "leitura"], 2, "unexpected argument: zz"), (["list", "ze"], 2, "unexpected argument: ze"),
                (["add", "token", "--role", "admin"], 2, '(not "token")'), (["add", "ze", "--role", "dono"], 2, "--role admin"),
                (["add", "ze"], 2, "--role admin"), (["disable", longest, "--role", "admin"], 2, "add only"),
                (["remove", "ze"], 2, "add, list, disable or reset"),
                (["add", longest, "--role", "admin"], 1, "cannot add " + longest),  # taken
                (["disable", "ninguem"], 1, "no user called ninguem"), (["reset", "ninguem"], 1, "no user called ninguem"),
                (["disable", longest], 0, ""), (["list"], 0, f"{longest}\tleitura\tdesativado\t"),
                (["reset", longest], 0, "one-time password"), (["list"], 0, f"{longest}\tleitura\tsenha provisoria\t")):
            done = users(*args)
            self.assertEqual(done.returncode, status, (args, done.stderr))
            self.assertIn(says, done.stdout if status == 0 else done.stderr, args)


class Enduring(unittest.TestCase):
    def test_no_acknowledged_report_is_lost_to_a_kill_or_a_database_restart(self):
        receiver = Receiver()
        answers = while_posting(receiver, 300, 40, lambda _: receiver.stop(signal.SIGKILL))
        acknowledged = sorted(name for name, status in answers.items() if status == 200)
        self.assertGreater(len(acknowledged), 40)
        receiver = Receiver(folder=receiver.dir, database=receiver.database, token=receiver.token)
        self.addCleanup(receiver.stop)
        stored = [items[1][1] for _, _, items in receiver.stored()]
        self.assertEqual(sorted(set(stored) & set(acknowledged)), acknowledged)
        self.assertEqual(len(stored), len(set(stored)))
        if STORE.name == "postgresql":
            # Receivers starting together create the schema once, and connect again by themselves
            # after the database's restart.
            database = STORE.database(receiver.dir)
            with ThreadPoolExecutor(2) as pool:
                pair = list(pool.map(lambda _: Receiver(database=database), range(2)))
            for other in pair:
                self.addCleanup(other.stop)
            self.assertEqual(STORE.rows(database, "SELECT COUNT(*) - MAX(version) FROM schema_version"),
                             [("0",)])
            STORE.ctl("stop", "-m", "fast")  # a post meanwhile is refused, its cause on one line
            self.assertEqual([pair[0].post(report_items("while down"))[0], pair[1].get("/health")[0]],
                             [500, 503])
            STORE.ctl("start")
            self.assertEqual([other.post(report_items("after"))[0] for other in pair], [200, 200])
            # A run's report through both at once, 4 times each: stored once.
            with ThreadPoolExecutor(8) as pool:
                answers = pool.map(lambda n: pair[n % 2].post(report_items("run"), veltora_service=tag())[0], range(8))
            self.assertEqual(list(answers), [200] * 8)
            self.assertEqual([s[2][1][1] for s in pair[0].stored()], ["after", "after", "run"])
            # Items need their report, each of an insert's reports checked.
            items = "SELECT id, 1000, 'k', 'v' FROM reports UNION ALL SELECT MAX(id) + 1, 0, 'k', 'v' FROM reports"
            with self.assertRaises(subprocess.CalledProcessError):
                STORE.rows(database, "INSERT INTO report_items " + items)
            STORE.rows(database, "INSERT INTO report_items " + items.split(" UNION")[0])
            # Its database's server processes hung: the health check gives up after its second.
            self.assertEqual(pair[1].get("/health")[0], 200)
            backends = [int(pid) for (pid,) in STORE.rows(database, "SELECT pid FROM pg_stat_activity"
                        " WHERE application_name = 'report-receiver' AND datname = current_database()")]
            for sig, status in ((signal.SIGSTOP, 503), (signal.SIGCONT, 200)):
                for pid in backends:
                    os.kill(pid, sig)
                started = time.monotonic()
                self.assertEqual(pair[1].get("/health")[0], status)
                self.assertLess(time.monotonic() - started, 2)
            pair[0].stop()  # (libpq's own notices, on the schema made once, come as they are)
            lines = [line for line in pair[0].errors.splitlines()
                     if not line.startswith(("NOTICE", "report-receiver: listening"))]
            self.assertEqual([(line.split(": ")[:2], "?" in line) for line in lines],
                             [(["report-receiver", "POST /connect/lorvask.php 500"], False)])

    def test_a_report_the_database_refuses_is_answered_500_and_the_receiver_goes_on(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        self.assertEqual(receiver.post(report_items("kept"))[0], 200)
        admin = receiver.staff("ana", "admin")

        def read(target):  # as ana: its status, and whether it comes as a download
            status, headers, _ = receiver.get(target, authorization=None, cookie=f"veltora_sessao={admin}")
            return status, "content-disposition" in headers
        form = lambda path, source="127.0.0.1", **fields: receiver.form(path, source, cookie=admin, **fields)[0]  # noqa: E731
        refused = [(500, False)]
        # A table the receiver cannot read or write, in turn: nothing that needs it is answered OK,
        # and no read, sign-in, sign-out or erasure the audit cannot record happens unseen.
        waits = f"; INSERT INTO sign_in_failures VALUES ('endereco:127.0.0.9', 20, {int(time.time() * 1000)})"
        for (create, drop), tries, expected in (
                (gone("report_items"), lambda: [receiver.post(report_items("refused"))[::2], receiver.get("/reports")[0],
                                                receiver.get("/viewer/api/service?id=1")[0]], [(500, b"ERROR: not stored\n"), 500, 500]),
                (gone("report_facts"), lambda: [receiver.post(report_items("refused"))[0], receiver.get("/viewer/api/chairs")[0],
                                                receiver.get("/viewer/api/services?serial=0")[0]], [500] * 3),
                (gone("sessions"), lambda: [read("/viewer/api/eu"), form("/viewer/entrar", usuario="ana", senha="ana-own-password")],
                 refused + [500]),
                (gone("users"), lambda: [form("/viewer/entrar", usuario="ana", senha="ana-own-password")], [500]),
                (gone("fleet_months"), lambda: [read("/viewer/api/fleet")], refused),
                (gone("personal_keys"), lambda: [read("/viewer/api/titular?q=52998224725")], refused),
                ((failing("audit")[0] + waits, failing("audit")[1]), lambda: [
                    *map(read, ("/viewer/api/chairs", "/viewer/api/titular?q=0", "/viewer/api/titular.json?q=0", "/viewer/api/auditoria.csv")),
                    form("/viewer/api/titular/anonimizar", q="0", count="1"), form("/viewer/entrar", usuario="ana", senha="x"),
                    form("/viewer/entrar", usuario="ana", senha="ana-own-password"), form("/viewer/entrar", "127.0.0.9", usuario="ana"),
                    form("/viewer/sair")], refused * 4 + [500] * 5),
                (failing("sign_in_failures"), lambda: [form("/viewer/entrar", usuario="ana", senha="x")], [500]),
                (failing("sessions"), lambda: [form("/viewer/senha", atual="ana-own-password", nova="ana-new-password")], [500])):
            STORE.rows(receiver.database, create)
            self.assertEqual(tries(), expected, create)
            STORE.rows(receiver.database, drop)
        self.assertEqual(receiver.post(report_items("after"))[::2], (200, b"OK"))
        self.assertEqual([dict(items).get("nome") for _, _, items in receiver.stored()], ["kept", "after"])

    @once
    def test_a_backup_taken_during_posts_holds_every_report_acknowledged_before_it(self):
        receiver = Receiver()
        self.addCleanup(receiver.stop)
        copy, made = os.path.join(receiver.dir, "copy.sqlite3"), []

        def back_up(acknowledged):
            made.append((acknowledged, backup("--database", receiver.database, "--to", copy)))
        while_posting(receiver, 400, 100, back_up)
        acknowledged, made = made[0]
        self.assertEqual((made.returncode, os.stat(copy).st_mode & 0o777), (0, 0o600), made.stderr)
        # Restored: the copy as the database of a receiver of its own.
        folder = tempfile.mkdtemp()
        shutil.copy(copy, STORE.database(folder))
        restored = Receiver(folder=folder, token=receiver.token)
        self.addCleanup(restored.stop)
        self.assertGreater(len(acknowledged), 100)
        self.assertLessEqual(acknowledged, {items[1][1] for _, _, items in restored.stored()})

    @once
    def test_a_backup_is_refused_rather_than_made_wrong(self):
        receiver = Receiver()
        receiver.stop()
        with open(receiver.database, "rb") as f:
            database = f.read()
        copy, corrupt = (os.path.join(receiver.dir, name) for name in ("copy", "corrupt"))
        for args, status, says in (
                ([receiver.database + "x", copy], 1, "cannot open"),
                ([receiver.database, receiver.database], 1, "File exists"),  # the wrong way round
                ([corrupt_database(corrupt), copy], 1, "failed its integrity check: "),
                ([receiver.token_file, copy], 1, "not a database"),
                (["postgresql://db.example/reports", copy], 1, "pg_dump"),
                ([receiver.database, None], 2, "--to FILE")):
            made = backup("--database", args[0], *(["--to", args[1]] if args[1] else []))
            self.assertEqual((made.returncode, os.path.exists(copy)), (status, False), args)
            self.assertIn(says, made.stderr)
        with open(receiver.database, "rb") as f:
            self.assertEqual(f.read(), database)


if __name__ == "__main__":
    unittest.main(verbosity=2)
