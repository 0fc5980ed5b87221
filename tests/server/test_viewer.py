"""The maker's view over the real receiver: services paired from reports, search and paging, what a
service changed, the sign-in, and the page itself in a real browser."""
import json
import os
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from receiver_fixture import (FORM, STORE, Receiver, exchange, old_database, old_store, post_request,
                              report_items, report_keys, request, tag)

EVENTS = [k for k in report_keys() if k.startswith("drive_event_")]
HOSTILE = "<script>alert(1)</script><img src=x onerror=alert(2)>"
once = unittest.skipUnless(STORE.name == "sqlite", "independent of the store: run with SQLite")


def chair_report(serial, events, name="Ana Lima", motor="KRS", **values):
    counts = {k: str(events) for k in EVENTS}
    return report_items(name, drive_serial=serial, drive_motorizacao=motor,
                        **{"cpf": "529.982.247-25", "cnpj": "", **counts, **values})


def api(receiver, target):
    status, _, body = receiver.get("/viewer/api/" + target)
    assert status == 200, (target, status, body)
    return json.loads(body)


@once
class Pairing(unittest.TestCase):
    # (serial, minutes from the first report, sender, drive event count), stored in this order as
    # reports 1, 2, ... by a receiver from before services were kept.
    HISTORY = [("PAIR00000001", 0, "A", 5), ("PAIR00000001", 2, "A", 0),
               ("PAIR00000001", 180, "A", 3), ("PAIR00000001", 181, "A", 0),
               ("LATE00000002", 0, "A", 4), ("LATE00000002", 11, "A", 0),
               ("STOP00000003", 0, "A", 6), ("STOP00000003", 5, "A", 6), ("STOP00000003", 6, "A", 0),
               ("SEND00000004", 0, "A", 2), ("SEND00000004", 1, "B", 0),
               ("ZERO00000005", 0, "A", 0), ("ZERO00000005", 1, "A", 0), ("ZERO00000005", 2, "A", 0),
               ("EDGE00000006", 0, "A", 3), ("EDGE00000006", 10, "A", 0),
               ("BACK00000007", 5, "A", 3), ("BACK00000007", 4, "A", 0)]
    # Each chair's services, newest first, as (before id, after id or None).
    EXPECTED = {"PAIR00000001": [(3, 4), (1, 2)],       # two runs on one day
                "LATE00000002": [(6, None), (5, None)],  # the after came too late
                "STOP00000003": [(8, 9), (7, None)],     # a stopped run, then a whole one
                "SEND00000004": [(11, None), (10, None)],  # another sender
                "ZERO00000005": [(14, None), (12, 13)],  # an after never starts a service
                "EDGE00000006": [(15, 16)],              # at the tenth minute still
                "BACK00000007": [(18, None), (17, None)]}  # received before the one it follows

    def test_reports_pair_into_services_when_upgraded(self):
        folder = tempfile.mkdtemp(prefix="viewer-")
        receiver = Receiver(folder=folder, database=old_database(os.path.join(folder, "old.sqlite3"), [
            (f"2026-03-02T{9 + minutes // 60:02d}:{minutes % 60:02d}:00.000Z", sender,
             chair_report(serial, events)) for serial, minutes, sender, events in self.HISTORY]))
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        # Bytes an older receiver stored as they came, not UTF-8: each shown as U+FFFD.
        STORE.rows(receiver.database, "UPDATE report_items SET value = CAST(X'41E282FF42' AS TEXT)"
                   " WHERE report_id = 1 AND key = 'email'")
        self.assertIn(["email", "A\ufffd\ufffdB"], api(receiver, "service.json?id=1")["reports"][0]["items"])
        for serial, expected in self.EXPECTED.items():
            services = api(receiver, f"services?serial={serial}")["services"]
            self.assertEqual([(s["id"], s["after"] and s["after"]["id"]) for s in services],
                             expected, serial)

    # Runs that name themselves: (serial, minutes from the first report, sender, drive event
    # count, run, stage, seconds it was made before it came), posted in this order as reports 1, 2, ...
    NAMED = [("RUNS00000001", 0, "127.0.0.1", 5, 1, "before", 60), ("RUNS00000001", 120, "127.0.0.2", 0, 1, "after", 60.001),
             ("RUNS00000002", 120, "127.0.0.1", 0, 2, "before", 0),  # its drive log empty; the run stopped
             ("RUNS00000002", 125, "127.0.0.1", 0, 3, "before", 0), ("RUNS00000002", 126, "127.0.0.1", 0, 3, "after", 0),
             ("RUNS00000003", 126, "127.0.0.1", 4, 4, "before", 0), ("RUNS00000003", 127, "127.0.0.1", 4, 4, "interrupted", 0),
             ("RUNS00000004", 127, "127.0.0.1", 3, 5, "before", 0), ("RUNS00000004", 128, "127.0.0.1", 0, None, None, 0),
             ("RUNS00000005", 128, "127.0.0.1", 3, None, None, 0), ("RUNS00000005", 129, "127.0.0.1", 0, 6, "after", 0)]
    # Each chair's services, newest first, as (first id, its stage, after id or None).
    NAMED_EXPECTED = {"RUNS00000001": [(1, "before", 2)],  # two hours apart, from two senders
                      "RUNS00000002": [(4, "before", 5), (3, "before", None)],  # a retry
                      "RUNS00000003": [(6, "before", 7)],
                      "RUNS00000004": [(9, None, None), (8, "before", None)],  # named and unnamed never pair
                      "RUNS00000005": [(11, "after", None), (10, None, None)]}

    def test_runs_that_name_themselves_pair_by_their_id_alone(self):
        receiver = Receiver()
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        at, iso = 0, "'%Y-%m-%dT%H:%M:%fZ'"
        for serial, minutes, sender, events, run, stage, early in self.NAMED:
            back = f"'-{minutes - at} minutes'"
            STORE.rows(receiver.database, f"UPDATE reports SET received = strftime({iso}, received, {back}),"
                       f" made = strftime({iso}, made, {back}); UPDATE report_facts SET received ="
                       f" strftime({iso}, received, {back})")
            at, header = minutes, {"veltora_service": tag(stage, run=run)} if run else {}
            self.assertEqual(exchange(receiver.port, post_request(chair_report(serial, events), **header), sender)[0], 200)
            STORE.rows(receiver.database, f"UPDATE reports SET made = strftime({iso}, received, '-{early} seconds')"
                       " WHERE id = (SELECT MAX(id) FROM reports) AND made IS NOT NULL")
        for serial, expected in self.NAMED_EXPECTED.items():
            services = api(receiver, f"services?serial={serial}")["services"]
            self.assertEqual([(s["id"], s["stage"], s["after"] and s["after"]["id"]) for s in services],
                             expected, serial)
        # Made over a minute before it came, the report says so; a minute is no news.
        service = api(receiver, "service?id=2")
        self.assertEqual((service["before"]["made"], service["after"]["made"] is not None), (None, True))


class Fleet(unittest.TestCase):
    # Stored before the fleet was kept, as ids 1, 2, ...: (serial, received, motorization, drive
    # firmware, event counters other than 0).
    STORED = [("FLT000000001", "2024-03-31T23:59", "KRS", "2.3", {"drive_event_0x01": 5, "drive_event_0x02": "x"}),
              ("FLT000000001", "2024-04-01T00:01", "KRS", "2.3", {}),  # its after, in the next month
              ("FLT000000002", "2024-04-01T00:00", "Dorvalis", "2.4", {"painel_event_0x21": 7}),
              ("FLT000000002", "2026-03-31T23:59", "KRT", "2.4", {"drive_event_0x33": 2}),  # now KRT
              ("FLT000000003", "2026-04-01T00:00", "KRS", "=2.5", {"drive_event_0x01": 1})]
    # Then posted now by runs naming themselves: (motorization, counters, run, stage).
    NOW = [("KRS", {"drive_event_0x02": 3}, 1, "before"), ("TRV", {}, 1, "after"),
           ("TRV", {}, 2, "after")]  # a closing report alone: its counters were read after clearing
    MONTH = time.strftime("%Y-%m", time.gmtime())
    # The figures of a query: chairs and services by current motorization and firmware, the months
    # shown (first, last, those with services), and per device and motorization the services whose
    # counters were read before clearing with each counter above 0 as (services above 0, total).
    CASES = [("ate=2026-03", [("KRS", 1, 1), ("KRT", 1, 2)], [("2.3", 1, 1), ("2.4", 1, 2)],
              ("2024-04", "2026-03", {"2024-04": 1, "2026-03": 1}),
              {("drive", "KRS"): (1, {"0x01": (1, 5)}), ("painel", "KRS"): (1, {}),
               ("drive", "Dorvalis"): (1, {}), ("painel", "Dorvalis"): (1, {"0x21": (1, 7)}),
               ("drive", "KRT"): (1, {"0x33": (1, 2)}), ("painel", "KRT"): (1, {})}),
             ("de=2024-04&ate=2026-03", [("KRT", 1, 2)], [("2.4", 1, 2)],
              ("2024-04", "2026-03", {"2024-04": 1, "2026-03": 1}),
              {("drive", "Dorvalis"): (1, {}), ("painel", "Dorvalis"): (1, {"0x21": (1, 7)}),
               ("drive", "KRT"): (1, {"0x33": (1, 2)}), ("painel", "KRT"): (1, {})}),
             ("de=2026-04", [("KRS", 1, 1), ("TRV", 1, 2)], [("2.4", 1, 2), ("=2.5", 1, 1)],
              ("2026-04", MONTH, {"2026-04": 1, MONTH: 2}),
              {("drive", "KRS"): (2, {"0x01": (1, 1), "0x02": (1, 3)}), ("painel", "KRS"): (2, {})}),
             ("firmware=2.3", [("KRS", 1, 1)], [("2.3", 1, 1)], None,
              {("drive", "KRS"): (1, {"0x01": (1, 5)}), ("painel", "KRS"): (1, {})})]

    def test_the_fleet_adds_up_the_services_of_a_period_and_a_firmware(self):
        folder = tempfile.mkdtemp(prefix="viewer-")
        receiver = Receiver(folder=folder, database=old_store(folder, [
            (f"{at}:00.000Z", "127.0.0.1", chair_report(serial, 0, motor=motor, drive_versao_fw=firmware, **counts))
            for serial, at, motor, firmware, counts in self.STORED]))
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        for motor, counts, run, stage in self.NOW:
            receiver.post(chair_report("FLT000000004", 0, motor=motor, drive_versao_fw="2.4", **counts),
                          veltora_service=tag(stage, run=run))
        for query, motors, firmwares, months, events in self.CASES:
            fleet = api(receiver, "fleet?" + query)
            shown = [(m["month"], m["services"]) for m in fleet["months"]]
            self.assertEqual(([(g["motorization"], g["chairs"], g["services"]) for g in fleet["by_motorization"]],
                              [(g["firmware"], g["chairs"], g["services"]) for g in fleet["by_firmware"]],
                              months and (shown[0][0], shown[-1][0], {m: n for m, n in shown if n}),
                              {(e["device"], e["motorization"]): (e["services"], {
                                  c["code"]: (c["above_zero"], c["total"]) for c in e["counters"] if c["total"]})
                               for e in fleet["events"]}), (motors, firmwares, months, events), query)
        self.assertEqual((fleet["firmwares"], len(shown)), (["2.3", "2.4", "=2.5"], 24))
        share = {c["code"]: (c["share"], c["mean"]) for c in api(receiver, "fleet?de=2026-04")["events"][0]["counters"]}
        self.assertEqual((share["0x01"], share["0x02"], share["0x03"]), ((0.5, 0.5), (0.5, 1.5), (0, 0)))
        for table, lines in (("eventos", ["dispositivo,motorizacao,evento,servicos,acima_de_zero,percentual_acima_de_zero,media",
                                          "drive,KRS,0x01,2,1,50.0,0.50"]),
                             ("motorizacoes", ["motorizacao,cadeiras,servicos", "KRS,1,1", "TRV,1,2"]),
                             ("firmwares", ["firmware,cadeiras,servicos", "2.4,1,2", "'=2.5,1,1"]), ("meses", ["mes,servicos", "2026-04,1"])):
            _, headers, body = receiver.get(f"/viewer/api/fleet/{table}.csv?de=2026-04")
            self.assertEqual((headers["content-disposition"], body.decode().split("\r\n")[:len(lines)]),
                             (f'attachment; filename="frota-{table}.csv"', lines))
        for target in ("fleet", "fleet/meses.csv"):
            self.assertEqual(receiver.get("/viewer/api/" + target, authorization=None)[::2],
                             (401, b"ERROR: a valid token or session is needed\n"), target)


def post_chairs(receiver):
    """Posts a chair serviced twice, the first run paired, a workshop's, and one named in markup."""
    sent = [chair_report("ABC123000001", 4, "José da Silva-Souza", motor="KRS"),
            chair_report("ABC123000001", 0, "José da Silva-Souza", motor="Dorvalis",
                         drive_param_0x0F="-5", painel_param_0x10="3", email="=HYPERLINK(\"http://x\")"),
            chair_report("XYZ999000002", 1, "Oficina Ávila Ltda", cnpj="12.ABC.345/01DE-35"),
            chair_report("ABD777000003", 9, HOSTILE), chair_report("ABC123000001", 3, "José da Silva-Souza")]
    return sent, [int(json.loads(receiver.get("/reports?limit=1")[2])["reports"][0]["id"])
                  for items in sent if receiver.post(items)[0] == 200]


@once
class Reading(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.receiver = Receiver()
        cls.addClassCleanup(cls.receiver.stop)
        cls.sent, cls.ids = post_chairs(cls.receiver)

    def test_chairs_are_found_by_serial_name_words_and_taxpayer_and_show_their_services(self):
        cases = {"": ["ABC123000001", "ABD777000003", "XYZ999000002"], "abc": ["ABC123000001"],
                 "AB": ["ABC123000001", "ABD777000003"], "silva": ["ABC123000001"],
                 "da silva": ["ABC123000001"], "JOSE": ["ABC123000001"], "souza": ["ABC123000001"],
                 "ilva": [], "a silva": [], "avila": ["XYZ999000002"],
                 "529.982": ["ABC123000001", "ABD777000003"], "12abc345": ["XYZ999000002"],
                 "script": ["ABD777000003"], "%": []}
        for search, expected in cases.items():
            found = api(self.receiver, "chairs?q=" + urllib.parse.quote(search))
            self.assertEqual([c["serial"] for c in found["chairs"]], expected, search)
        chairs, before = [], ""
        while before is not None:
            page = api(self.receiver, "chairs?limit=2" + before)
            chairs += page["chairs"]
            before = page["next"] and f"&before={page['next']}"
        self.assertEqual([(c["serial"], c["customer"], c["taxpayer"], c["motorization"], c["services"])
                          for c in chairs],
                         [("ABC123000001", "José da Silva-Souza", "529.982.247-25", "KRS", 2),
                          ("ABD777000003", HOSTILE, "529.982.247-25", "KRS", 1),
                          ("XYZ999000002", "Oficina Ávila Ltda", "12.ABC.345/01DE-35", "KRS", 1)])
        for bad, expected in (("chairs?limit=0", 400), ("chairs?limit=500", 200), ("chairs?before=x", 400), ("service?id=0", 400),
                              ("service?id=1&limit=501", 400), (f"service?id={self.ids[-1] + 1}", 404),
                              ("fleet?de=2026-12&ate=2026-12", 200), ("fleet?de=2026-13", 400), ("fleet?ate=2026-00", 400),
                              ("fleet?de=2026-02&ate=2026-01", 400), ("fleet?de=202-01", 400), ("fleet/x.csv", 404),
                              ("fleet?de=20x6-01", 400), ("fleet?ate=2026-0a", 400),
                              ("services?serial=ABC123000001&limit=0", 400), ("services?serial=ABC123000001&limit=500", 200),
                              ("services?serial=ABC123000001&limit=501", 400), ("chairs?q=%zz", 400),
                              ("service.txt?id=1", 404), ("nada", 404)):
            self.assertEqual(self.receiver.get("/viewer/api/" + bad)[0], expected, bad)
        self.assertEqual(self.receiver.get("/viewer/nada.js")[0], 404)

        # A service shows what changed, in order, and downloads its reports.
        service = api(self.receiver, f"service?id={self.ids[1]}")
        self.assertEqual((service["id"], service["after"]["id"]), (self.ids[0], self.ids[1]))
        changes = [(c["group"], c["item"], c["before"], c["after"]) for c in service["changes"]]
        self.assertEqual(changes[:4], [("motorizacao", "drive_motorizacao", "KRS", "Dorvalis"),
                                       ("parametro", "drive_param_0x0F", "0", "-5"),
                                       ("parametro", "painel_param_0x10", "0", "3"),
                                       ("evento", "drive_event_0x01", "4", "0")])
        self.assertEqual((changes[-1], len(changes)),
                         (("outro", "email", "0", "=HYPERLINK(\"http://x\")"), 4 + len(EVENTS)))
        self.assertEqual([len(service["events"][d]) for d in ("painel", "drive")], [22, 30])
        page = api(self.receiver, f"service?id={self.ids[0]}&offset=1&limit=2")
        self.assertEqual(([c["item"] for c in page["changes"]], page["next"]),
                         (["drive_param_0x0F", "painel_param_0x10"], 3))
        lone = api(self.receiver, f"service?id={self.ids[2]}")
        self.assertEqual((lone["after"], lone["changes"]), (None, []))

        status, headers, body = self.receiver.get(f"/viewer/api/service.json?id={self.ids[0]}")
        self.assertEqual(headers["content-disposition"], f'attachment; filename="servico-{self.ids[0]}.json"')
        self.assertEqual([[tuple(i) for i in r["items"]] for r in json.loads(body)["reports"]],
                         self.sent[:2])
        lines = self.receiver.get(f"/viewer/api/service.csv?id={self.ids[0]}")[2].decode().split("\r\n")
        self.assertEqual(lines[:2], ["item,antes,depois", f"relatorio,{self.ids[0]},{self.ids[1]}"])
        self.assertLessEqual({'email,0,"\'=HYPERLINK(""http://x"")"', "drive_param_0x0F,0,-5"}, set(lines))

    def test_a_sign_in_gives_a_cookie_that_scripts_and_other_sites_cannot_use(self):
        port, once = self.receiver.port, self.receiver.users("add", "eva", "--role", "leitura")
        own = f"http://127.0.0.1:{port}"

        def send(method, path, body="", origin=own, cookie=None, host=f"127.0.0.1:{port}", others=""):
            cookie = cookie and f"{others}veltora_sessao={cookie}"
            form = {"content_type": FORM, "content_length": len(body)} if method == "POST" else {}
            return self.receiver.send(request(method, path, body.encode(), host=host, origin=origin,
                                              cookie=cookie, **form))

        def sign_in(password, origin=own):
            status, headers, _ = send("POST", "/viewer/entrar", "usuario=eva&senha=" + password, origin)
            return status, headers.get("location"), headers.get("set-cookie", "")
        self.assertEqual(sign_in("wrong-" + once), (303, "/viewer/?recusado", ""))
        self.assertEqual(sign_in(once, "http://evil.example")[0], 403)
        self.assertEqual(sign_in(once, None)[0], 403)
        status, location, cookie = sign_in(once)
        self.assertEqual((status, location), (303, "/viewer/?trocar"))
        self.assertRegex(cookie, r"^veltora_sessao=[0-9a-f]{64}; Max-Age=43200; Path=/; HttpOnly; SameSite=Strict$")
        self.assertTrue(sign_in(once, f"https://127.0.0.1:{port}")[2].endswith("; Secure"))
        value = cookie.split(";")[0].split("=", 1)[1]
        value = self.receiver.form("/viewer/senha", cookie=value, atual=once, nova="eva-own-password")[2]
        cases = [({"cookie": value, "origin": None}, 200), ({"origin": None}, 401),
                 ({"cookie": value, "others": "lang=pt; "}, 200),
                 *[({"cookie": bad}, 401) for bad in (value[:-1], value + "0", value[:-1] + "01"[value[-1] == "0"])],
                 ({"cookie": value, "origin": "http://evil.example"}, 403),
                 ({"cookie": value, "host": "evil.example"}, 421)]
        for headers, expected in cases:
            self.assertEqual(send("GET", "/viewer/api/chairs", **headers)[0], expected, headers)
        self.assertEqual(send("GET", f"/viewer/api/chairs?token={self.receiver.token}")[0], 401)
        status, headers, _ = send("POST", "/viewer/sair", cookie=value)
        self.assertEqual((status, headers["set-cookie"].split(";")[:2]), (303, ["veltora_sessao=", " Max-Age=0"]))
        # The page runs only its own script, and in no frame.
        status, headers, body = send("GET", "/viewer/")
        self.assertEqual((status, headers["x-frame-options"]), (200, "DENY"))
        self.assertIn("script-src 'self'", headers["content-security-policy"])
        self.assertNotRegex(body.decode(), r"<script(?![^>]*\ssrc=)|\son\w+=")


@once
class InABrowser(unittest.TestCase):
    """Debian's chromium, driven by puppeteer-core (tests/server/browser, npm ci). VIEWER_WALKTHROUGH
    names the walkthrough binary to service the simulated chair twice, VIEWER_SCREENSHOTS a folder."""

    def test_staff_sign_in_find_a_chair_open_its_service_and_sign_out(self):
        walkthrough = os.environ.get("VIEWER_WALKTHROUGH")
        # The walkthrough posts where it was built to (REPORT_HOST), 127.0.0.1:18080 by default.
        receiver = Receiver(port=walkthrough and int(os.environ.get("REPORT_HOST", ":18080").rsplit(":", 1)[1]))
        self.addCleanup(lambda: self.assertEqual(receiver.stop(), 0))
        self.assertTrue(receiver.started(), "the receiver could not listen")
        post_chairs(receiver)
        for n in range(50):  # a second page of chairs
            receiver.post(chair_report(f"PAGE{n:08d}", 0))
        # A stuck-key name serviced with counters others sent beyond 255, and a right-to-left override.
        high = {k: 255 for k in report_keys() if k.startswith("painel_event_")}
        high.update({k: 255 if i % 3 == 1 else 99999 for i, k in enumerate(EVENTS)})
        for events in (high, {}):
            receiver.post(chair_report("LONG00000004", 0, "Maria" + "a" * 1995, cnpj="12.ABC.345/01DE-35", **events))
        receiver.post(chair_report("BIDI00000005", 2, "\u202eexe.ogima José"))
        for serial in ("TITU00000007", "TITU00000008"):  # one person's chairs, for the Titular page
            receiver.post(chair_report(serial, 0, "Beatriz Titular", cpf="111.444.777-35", email="bia@example.com"))
        # One chair's runs: completed (its after made two hours before it came), interrupted, only
        # a before, only an after.
        for run, stage, events, values in ((11, "before", 4, {}), (11, "after", 0, {"drive_param_0x0F": "-5"}),
                                           (12, "before", 4, {}), (12, "interrupted", 4, {"drive_param_0x0F": "-5"}),
                                           (13, "before", 4, {}), (14, "after", 0, {})):
            made = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() - 7200 * (run == 11 and events == 0)))
            receiver.post(chair_report("ESTA00000006", events, **values), veltora_service=tag(stage, made, run))
        if walkthrough:
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            for _ in range(2):
                env["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="walkthrough-")
                subprocess.run([walkthrough, "--token-file", receiver.token_file], env=env,
                               check=True, stdout=subprocess.DEVNULL, timeout=120)
        env = dict(os.environ, VIEWER_URL=f"http://127.0.0.1:{receiver.port}", VIEWER_HOSTILE_SERIAL="ABD777000003",
                   **{f"VIEWER_{role.upper()}": f"{role}:{receiver.users('add', role, '--role', role == 'admin' and role or 'leitura')}"
                      for role in ("reader", "admin")},
                   VIEWER_LONG_SERIAL="LONG00000004", VIEWER_BIDI_SERIAL="BIDI00000005",
                   VIEWER_STATES_SERIAL="ESTA00000006", VIEWER_TITULAR="11144477735",
                   VIEWER_SERIAL="VZMD24123456" if walkthrough else "ABC123000001")
        if "VIEWER_SCREENSHOTS" in env:
            env["VIEWER_SCREENSHOTS"] = os.path.abspath(env["VIEWER_SCREENSHOTS"])
        run = subprocess.run(["node", "viewer_browser.mjs"], env=env, capture_output=True, text=True,
                             cwd=os.path.join(os.path.dirname(__file__), "browser"), timeout=240)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr[-3000:])


if __name__ == "__main__":
    unittest.main(verbosity=2)
