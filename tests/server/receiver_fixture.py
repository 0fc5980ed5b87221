"""The real report-receiver binary on loopback, the store it writes to, and a plain-socket client."""
import atexit
import contextlib
import glob
import http.client
import json
import os
import random
import resource
import shutil
import socket
import sqlite3
import subprocess
import tempfile
import time
import urllib.parse

RECEIVER = os.environ["REPORT_RECEIVER"]
REPORT_PATH = "/connect/lorvask.php"
FORM = "application/x-www-form-urlencoded"

# The tests' folders go under one that goes away with them, which others (the database's user) may cross.
tempfile.tempdir = tempfile.mkdtemp(prefix="receiver-tests-")
os.chmod(tempfile.tempdir, 0o711)
atexit.register(shutil.rmtree, tempfile.tempdir, True)


def report_keys():
    """The keys of a service report after its leading empty item, in the tool's order."""
    def numbered(prefix, *ranges):
        return [f"{prefix}{n:02X}" for first, last in ranges for n in range(first, last + 1)]
    return (["nome", "email", "telefone", "cep", "cpf", "cnpj", "cabo_comunicacao",
             "painel_serial", "painel_versao_fw", "painel_versao_hw"]
            + numbered("painel_event_0x", (0x01, 0x14), (0x21, 0x22))
            + numbered("painel_param_0x", (0x08, 0x2C))
            + ["drive_serial", "drive_versao_fw", "drive_versao_hw", "drive_motorizacao"]
            + numbered("drive_event_0x", (0x01, 0x16), (0x21, 0x25), (0x31, 0x33))
            + numbered("drive_param_0x", (0x08, 0x2C)))


def tag(stage="before", made="2026-12-07T10:00:00Z", run=1):
    """A Veltora-Service header naming run (a number, or a UUID's text)."""
    run = run if isinstance(run, str) else f"{run:08x}-0b0a-4908-8706-050403020100"
    return f"id={run}; stage={stage}; made={made}"


def report_items(name="Ana", **values):
    return [("", ""), ("nome", name)] + [(key, str(values.get(key, 0))) for key in report_keys()[1:]]


def old_database(path, reports):
    """An SQLite file as receivers wrote it before schema versions were kept, holding reports
    (received, sender, items) as ids 1, 2, ..."""
    with sqlite3.connect(path) as db:
        db.executescript(
            "CREATE TABLE reports (id INTEGER PRIMARY KEY AUTOINCREMENT, received TEXT NOT NULL,"
            " client TEXT NOT NULL); CREATE TABLE report_items (report_id INTEGER NOT NULL"
            " REFERENCES reports(id), position INTEGER NOT NULL, key TEXT NOT NULL,"
            " value TEXT NOT NULL, PRIMARY KEY (report_id, position));")
        for i, (received, sender, items) in enumerate(reports, 1):
            db.execute("INSERT INTO reports VALUES (?, ?, ?)", (i, received, sender))
            db.executemany("INSERT INTO report_items VALUES (?, ?, ?, ?)",
                           [(i, p, k, v) for p, (k, v) in enumerate(items)])
    return path


def corrupt_database(path):
    """An SQLite file whose index no longer matches its table: it opens and reads, but its
    integrity check lists what is wrong."""
    with contextlib.closing(sqlite3.connect(path)) as db, db:
        db.executescript("CREATE TABLE t (x); CREATE INDEX t_x ON t (x);"
                         " INSERT INTO t VALUES ('needle');")
        page = db.execute("SELECT rootpage FROM sqlite_schema WHERE name = 't_x'").fetchone()[0]
    with open(path, "r+b") as f:
        content = bytearray(f.read())
        start = (page - 1) * 4096
        content[start:start + 4096] = content[start:start + 4096].replace(b"needle", b"thread")
        f.seek(0)
        f.write(content)
    return path


def query_of(items):
    return "&".join(urllib.parse.quote(k, safe="") + "=" +
                    urllib.parse.quote(v.encode("utf-8", "surrogateescape"), safe="")
                    for k, v in items)


def request(method, target, body=b"", **headers):
    """Request bytes; a header named content_type goes as Content-Type, one set to None not at all."""
    head = "".join(f"{k.replace('_', '-')}: {v}\r\n" for k, v in headers.items() if v is not None)
    return f"{method} {target} HTTP/1.1\r\n{head}\r\n".encode() + body


def post_request(query, body=b"x", **headers):
    query = query if isinstance(query, str) else query_of(query)
    return request("POST", f"{REPORT_PATH}?{query}", body, **{
        "host": "127.0.0.1", "content_type": FORM, "content_length": len(body), **headers})


def read_answer(sock, timeout=10.0, method="GET"):
    """(status, headers, body) of the next answer; status 0 when the connection ended or went silent."""
    sock.settimeout(timeout)
    try:
        answer = http.client.HTTPResponse(sock, method=method)
        answer.begin()
        return answer.status, {k.lower(): v for k, v in answer.getheaders()}, answer.read()
    except (OSError, http.client.HTTPException):
        return 0, {}, b""


def exchange(port, data, source="127.0.0.1"):
    with socket.create_connection(("127.0.0.1", port), timeout=10,
                                  source_address=(source, 0)) as sock:
        with contextlib.suppress(OSError):  # cut off while sending: whatever answer came is read
            sock.sendall(data)
        return read_answer(sock, method=data.split(b" ", 1)[0].decode("latin-1"))


def free_port():
    """A free port below Linux's ephemeral ones, so no client socket takes it before the receiver does."""
    while True:
        with socket.socket() as sock, contextlib.suppress(OSError):
            sock.bind(("127.0.0.1", random.randrange(10000, 32768)))
            return sock.getsockname()[1]


class SqliteStore:
    name = "sqlite"

    def database(self, folder):
        return os.path.join(folder, "reports.sqlite3")

    def rows(self, database, sql):
        with contextlib.closing(sqlite3.connect(database)) as db, db:
            if sql.startswith("SELECT"):  # its rows as PostgreSQL's are read: text, NULL as ""
                return [tuple("" if v is None else str(v) for v in row) for row in db.execute(sql)]
            db.executescript(sql)


class PostgresStore:
    """A PostgreSQL server of the tests' own (as user postgres when run as root); a database per receiver."""
    name = "postgresql"

    def start(self):
        found = subprocess.run(["pg_config", "--bindir"], capture_output=True, text=True).stdout
        self.bin = next(d for d in [found.strip()] + glob.glob("/usr/lib/postgresql/*/bin")
                        if os.path.exists(f"{d}/pg_ctl"))
        as_owner = ["runuser", "-u", "postgres", "--"] if os.geteuid() == 0 else []
        self.dir, self.port, self.databases = tempfile.mkdtemp(prefix="postgres-"), free_port(), 0
        if as_owner:
            shutil.chown(self.dir, "postgres")
        self.ctl = lambda *args: subprocess.run(
            as_owner + [f"{self.bin}/pg_ctl", "-D", f"{self.dir}/data", "-l", f"{self.dir}/log",
                        "-w", *args], check=True, timeout=60, stdout=subprocess.DEVNULL)
        self.ctl("init", "-o", "-U postgres -A trust -E UTF8 --no-sync")
        with open(f"{self.dir}/data/postgresql.conf", "a") as conf:
            conf.write(f"port = {self.port}\nlisten_addresses = '127.0.0.1'\n"
                       f"unix_socket_directories = '{self.dir}'\nfsync = off\n")
        self.ctl("start")
        atexit.register(self.stop)

    def stop(self):
        if os.path.exists(f"{self.dir}/data/postmaster.pid"):
            self.ctl("stop", "-m", "immediate")

    def database(self, folder):
        self.databases += 1
        self.rows(f"postgresql://postgres@127.0.0.1:{self.port}/postgres",
                  f"CREATE DATABASE reports{self.databases}")
        return f"postgresql://postgres@127.0.0.1:{self.port}/reports{self.databases}"

    def rows(self, database, sql):
        out = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d",
                              database, "-c", sql], check=True, timeout=60,
                             capture_output=True, text=True).stdout
        return [tuple(line.split("|")) for line in out.splitlines()]


STORE = SqliteStore()
if os.environ.get("RECEIVER_STORE") == "postgresql":
    STORE = PostgresStore()
    STORE.start()


class Receiver:
    """report-receiver on loopback (as user, if given), its database, token (None: no token file)
    and log in its folder."""

    def __init__(self, *args, folder=None, database=None, port=None, token_mode=0o600,
                 token="t0ken-" + os.urandom(12).hex(), user=None, files=None):
        self.dir = folder or tempfile.mkdtemp(prefix="receiver-")
        self.port, self.token = port or free_port(), token
        self.token_file = os.path.join(self.dir, "token")
        if token is not None:
            with open(self.token_file, "w") as f:
                f.write(token + "\n")
            os.chmod(self.token_file, token_mode)
            args += ("--token-file", self.token_file)
        self.database = database or STORE.database(self.dir)
        self.log = os.path.join(self.dir, "access.log")
        with open(self.log, "a") as log:
            as_user = ["runuser", "-u", user, "--"] if user else []
            self.process = subprocess.Popen(  # files: its descriptors, which set its connection cap
                as_user + [RECEIVER, "--port", str(self.port), "--database", self.database, *args],
                stdout=log, stderr=subprocess.PIPE, preexec_fn=files and (
                    lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (files, files))))
        # A test that fails half way must not leave its receiver running.
        atexit.register(self.process.kill)
        for _ in range(200):  # until it listens or ends, at most some 10 s
            with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", self.port)):
                return
            if self.process.poll() is not None:
                return
            time.sleep(0.05)

    def started(self):
        return self.process.poll() is None

    def send(self, data):
        return exchange(self.port, data)

    def post(self, items, **headers):
        return self.send(post_request(items, **headers))

    def get(self, target, **headers):
        return self.send(request("GET", target, **{
            "host": "127.0.0.1", "authorization": f"Bearer {self.token}", **headers}))

    def stored(self):
        """(id, client, items) of every report, oldest first, as the receiver lists them."""
        reports, page = [], {"next": ""}
        while page["next"] is not None:
            before = f"&before={page['next']}" if page["next"] else ""
            page = json.loads(self.get(f"/reports?limit=100{before}")[2])
            reports += page["reports"]
        return [(r["id"], r["client"], [tuple(i) for i in r["items"]]) for r in reversed(reports)]

    def metrics(self):
        """{'name{labels}': value} of the metrics page, once promtool has found it well formed."""
        status, headers, page = self.get("/metrics")
        assert (status, headers["content-type"]) == (200, "text/plain; version=0.0.4; charset=utf-8")
        subprocess.run(["promtool", "check", "metrics"], input=page, check=True, timeout=30)
        return {line.rsplit(" ", 1)[0]: float(line.rsplit(" ", 1)[1])
                for line in page.decode().splitlines() if not line.startswith("#")}

    def users(self, *args):
        """The users command on its database: a one-time password when it prints one."""
        done = subprocess.run([RECEIVER, "users", *args, "--database", self.database],
                              capture_output=True, text=True, timeout=60)
        assert done.returncode == 0, done.stderr
        return done.stdout.split()[-1] if "one-time" in done.stdout else done.stdout

    def form(self, path, source="127.0.0.1", cookie=None, **fields):
        """(status, Location, session cookie or None, Retry-After) of the viewer's form at path."""
        body = urllib.parse.urlencode(fields).encode()
        status, headers, _ = exchange(self.port, request(
            "POST", path, body, host=f"127.0.0.1:{self.port}", origin=f"http://127.0.0.1:{self.port}",
            content_type=FORM, content_length=len(body), cookie=cookie and f"veltora_sessao={cookie}"), source)
        value = headers.get("set-cookie", "").split(";")[0].partition("=")[2]
        return status, headers.get("location"), value or None, headers.get("retry-after")

    def staff(self, name, role):
        """A session of a new user of role, one-time password changed to name's own."""
        once = self.users("add", name, "--role", role)
        cookie = self.form("/viewer/entrar", usuario=name, senha=once)[2]
        return self.form("/viewer/senha", cookie=cookie, atual=once, nova=f"{name}-own-password")[2]

    def memory_kib(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))

    def stop(self, sig=15, timeout=10):
        """Its exit status; what it wrote to standard error is then in errors."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        self.errors = self.process.communicate(timeout=timeout)[1].decode()
        return self.process.returncode
