"""The real report-receiver binary on loopback, the store it writes to, and the clients the
receiver tests use."""
import atexit
import glob
import json
import os
import random
import shutil
import socket
import sqlite3
import subprocess
import tempfile
import time
import urllib.parse

RECEIVER = os.environ["REPORT_RECEIVER"]
REPORT_PATH = "/connect/lorvask.php"

# Every folder the tests make goes under one that goes away with them; others (the database
# server's own user) may pass through it, not list it.
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


def report_items(name="Ana", **values):
    items = [("", "")] + [(key, str(values.get(key, 0))) for key in report_keys()]
    items[1] = ("nome", name)
    return items


def old_database(path, reports):
    """An SQLite file as receivers wrote it before schema versions were kept, holding reports
    (received, sender, items) as ids 1, 2, ..."""
    with sqlite3.connect(path) as db:
        db.executescript(
            "CREATE TABLE reports (id INTEGER PRIMARY KEY AUTOINCREMENT, received TEXT NOT NULL,"
            " client TEXT NOT NULL);"
            "CREATE TABLE report_items (report_id INTEGER NOT NULL REFERENCES reports(id),"
            " position INTEGER NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL,"
            " PRIMARY KEY (report_id, position));")
        db.executemany("INSERT INTO reports VALUES (?, ?, ?)",
                       [(i, received, sender) for i, (received, sender, _) in enumerate(reports, 1)])
        db.executemany("INSERT INTO report_items VALUES (?, ?, ?, ?)",
                       [(i, p, k, v) for i, (_, _, items) in enumerate(reports, 1)
                        for p, (k, v) in enumerate(items)])
    return path


def query_of(items):
    return "&".join(urllib.parse.quote(k, safe="") + "=" + urllib.parse.quote(v.encode("utf-8", "surrogateescape"), safe="")
                    for k, v in items)


def post_request(query, content_type="application/x-www-form-urlencoded", extra=""):
    body = b"x"
    return (f"POST {REPORT_PATH}?{query} HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            f"Content-Type: {content_type}\r\nContent-Length: {len(body)}\r\n{extra}\r\n"
            ).encode() + body


class Answers:
    """The HTTP answers arriving on one socket, in order."""

    def __init__(self, sock):
        self.sock = sock
        self.data = b""

    def _fill(self, enough):
        while not enough():
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionResetError
            self.data += chunk

    def next(self, deadline=10.0):
        """(status, headers, body); status 0 when the connection ended or went silent."""
        self.sock.settimeout(deadline)
        try:
            self._fill(lambda: b"\r\n\r\n" in self.data)
            head, _, rest = self.data.partition(b"\r\n\r\n")
            lines = head.decode("latin-1").split("\r\n")
            headers = {k.lower(): v.strip() for k, _, v in (l.partition(":") for l in lines[1:])}
            length = int(headers.get("content-length", "0"))
            self.data = rest
            self._fill(lambda: len(self.data) >= length)
            body, self.data = self.data[:length], self.data[length:]
            return int(lines[0].split()[1]), headers, body
        except (ConnectionResetError, BrokenPipeError, socket.timeout):
            return 0, {}, b""


def read_answer(sock, deadline=10.0):
    return Answers(sock).next(deadline)


def exchange(port, request, source="127.0.0.1"):
    with socket.create_connection(("127.0.0.1", port), timeout=10,
                                  source_address=(source, 0)) as sock:
        sock.sendall(request)
        return read_answer(sock)


def free_port():
    """A free port below Linux's ephemeral ones, so no client socket takes it before the receiver
    binds it (one connecting there while nothing listens could even be given it as its own)."""
    for _ in range(100):
        with socket.socket() as sock:
            try:
                sock.bind(("127.0.0.1", random.randrange(10000, 32768)))
                return sock.getsockname()[1]
            except OSError:
                pass
    raise OSError("no free port")


class SqliteStore:
    name = "sqlite"

    def start(self):
        pass

    stop = start

    def database(self, folder):
        return os.path.join(folder, "reports.sqlite3")

    def stored(self, database):
        """(id, client, items) of every stored report, oldest first, read from the file itself,
        which must be sound."""
        with sqlite3.connect(database) as db:
            assert db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
            heads = db.execute("SELECT id, client FROM reports ORDER BY id").fetchall()
            return [(i, c, db.execute("SELECT key, value FROM report_items WHERE report_id=?"
                                      " ORDER BY position", (i,)).fetchall())
                    for i, c in heads]


class PostgresStore:
    """A PostgreSQL server of the tests' own, in a temporary folder on a free port, run as the
    user postgres when the tests run as root; a new database for each receiver."""
    name = "postgresql"

    def start(self):
        found = subprocess.run(["pg_config", "--bindir"], capture_output=True, text=True).stdout
        self.bin = next(d for d in [found.strip()] + glob.glob("/usr/lib/postgresql/*/bin")
                        if os.path.exists(f"{d}/pg_ctl"))
        self.as_owner = ["runuser", "-u", "postgres", "--"] if os.geteuid() == 0 else []
        self.dir, self.port, self.databases = tempfile.mkdtemp(prefix="postgres-"), free_port(), 0
        if self.as_owner:
            shutil.chown(self.dir, "postgres")
        atexit.register(self.stop)
        self.run("initdb", "-D", f"{self.dir}/data", "-U", "postgres", "-A", "trust", "-E", "UTF8",
                 "--no-sync")
        with open(f"{self.dir}/data/postgresql.conf", "a") as conf:
            conf.write(f"port = {self.port}\nlisten_addresses = '127.0.0.1'\n"
                       f"unix_socket_directories = '{self.dir}'\nfsync = off\n")
        self.ctl("start")

    def run(self, program, *args):
        subprocess.run(self.as_owner + [f"{self.bin}/{program}", *args], check=True,
                       timeout=60, stdout=subprocess.DEVNULL)

    def ctl(self, *args):
        self.run("pg_ctl", "-D", f"{self.dir}/data", "-l", f"{self.dir}/log", "-w", *args)

    def stop(self):
        if os.path.exists(f"{self.dir}/data/postmaster.pid"):
            self.ctl("stop", "-m", "immediate")
        shutil.rmtree(self.dir, ignore_errors=True)

    def database(self, folder):
        self.databases += 1
        name = f"reports{self.databases}"
        self.rows(f"postgresql://postgres@127.0.0.1:{self.port}/postgres", f"CREATE DATABASE {name}")
        return f"postgresql://postgres@127.0.0.1:{self.port}/{name}"

    def rows(self, database, sql):
        out = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d",
                              database, "-c", sql], check=True, timeout=60,
                             capture_output=True, text=True).stdout
        return [tuple(line.split("|")) for line in out.splitlines()]

    def stored(self, database):
        items = ("SELECT COALESCE(json_agg(json_build_array(key, value) ORDER BY position), '[]')"
                 " FROM report_items WHERE report_id = r.id")
        reports = self.rows(database, f"SELECT COALESCE(json_agg(json_build_array(id, client,"
                                      f" ({items})) ORDER BY id), '[]') FROM reports r")
        return [(i, c, [tuple(item) for item in items])
                for i, c, items in json.loads(reports[0][0])]


STORE = PostgresStore() if os.environ.get("RECEIVER_STORE") == "postgresql" else SqliteStore()


class Receiver:
    """report-receiver on a free loopback port, its database and token in a folder of its own."""

    def __init__(self, *args, folder=None, token_mode=0o600, database=None):
        self.dir = folder or tempfile.mkdtemp(prefix="receiver-")
        self.port = free_port()
        self.token = "t0ken-" + os.urandom(12).hex()
        self.token_file = os.path.join(self.dir, "token")
        with open(self.token_file, "w") as f:
            f.write(self.token + "\n")
        os.chmod(self.token_file, token_mode)
        self.database = database or STORE.database(self.dir)
        self.log = open(os.path.join(self.dir, "access.log"), "w+")
        self.process = subprocess.Popen(
            [RECEIVER, "--port", str(self.port), "--database", self.database,
             "--token-file", self.token_file, *args],
            stdout=self.log, stderr=subprocess.PIPE)
        # A test that fails half way must not leave its receiver running.
        atexit.register(self.process.kill)
        for _ in range(200):
            if self.process.poll() is not None:
                break
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)

    def started(self):
        return self.process.poll() is None

    def post(self, items, **kw):
        return exchange(self.port, post_request(query_of(items), **kw))

    def get(self, target, token=None, host="127.0.0.1", origin=None):
        headers = f"Host: {host}\r\n"
        if token is not False:
            headers += f"Authorization: Bearer {token or self.token}\r\n"
        if origin:
            headers += f"Origin: {origin}\r\n"
        return exchange(self.port, f"GET {target} HTTP/1.1\r\n{headers}\r\n".encode())

    def stored(self):
        return STORE.stored(self.database)

    def stop(self, sig=15, timeout=10):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            return self.process.wait(timeout)
        finally:
            self.process.stderr.close()
            self.log.close()
