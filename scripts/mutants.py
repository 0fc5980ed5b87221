"""Mutation check: applies each mutant of a list in turn, rebuilds incrementally, runs the test
suites whose programs the mutant changed, restores the file, and prints one line per mutant and
the score. A mutant line reads:  path: original text => replacement text
(the original must occur exactly once in the file; "\u23ce" stands for a line break). Lines
starting with # are comments."""
import contextlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-mutants")
BACKUP = os.path.join(BUILD, "mutant-original")
JOBS = str(os.cpu_count())


def read_text(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def write_text(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def forget_generated(path):
    """Removes what uic generated from a .ui file. Ninja decides what to rebuild before the
    autogen step rewrites the header, so the sources that include it would keep the old form until
    a later build; without the header they are compiled again in the same build that makes it."""
    if path.endswith(".ui"):
        header = "ui_" + os.path.splitext(os.path.basename(path))[0] + ".h"
        for top, _, files in os.walk(BUILD):
            if header in files:
                os.unlink(os.path.join(top, header))


def restore():
    """Puts back the file a mutant changed, also after a run that was killed outright. The file
    gets a fresh time stamp: with the backup's older one, the build would keep the mutant's
    objects as up to date."""
    if os.path.exists(BACKUP + ".path"):
        path = read_text(BACKUP + ".path")
        if os.path.exists(BACKUP):
            os.replace(BACKUP, path)
        os.utime(path)
        forget_generated(path)
        os.unlink(BACKUP + ".path")


def run(command):
    """Runs command in a process group of its own, and kills the whole group when interrupted, so
    no compiler or test outlives the run and writes a mutant's object after the restore."""
    with subprocess.Popen(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, start_new_session=True) as process:
        try:
            output, _ = process.communicate()
        except BaseException:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGKILL)
            raise
    return subprocess.CompletedProcess(command, process.returncode, output)


def test_programs():
    """Each CTest test with the programs of this build it runs: in its command, named in its
    environment, and those whose path is written into one of these (a test that starts another
    program of the build)."""
    shown = json.loads(run(["ctest", "--test-dir", BUILD, "--show-only=json-v1"]).stdout)
    built = [os.path.join(top, name) for top, _, files in os.walk(BUILD)
             if "CMakeFiles" not in top for name in files
             if os.access(os.path.join(top, name), os.X_OK) and not name.endswith((".sh", ".py"))]
    programs = {}
    for test in shown["tests"]:
        paths = list(test["command"])
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                paths += [v.split("=", 1)[1] for v in prop["value"] if "=/" in v]
        paths = [p for p in paths if p.startswith(BUILD + os.sep) and os.path.isfile(p)]
        for path in list(paths):
            with open(path, "rb") as f:
                content = f.read()
            # As a C string or, from a QStringLiteral, as UTF-16.
            paths += [p for p in built if p not in paths and (
                p.encode() + b"\0" in content or p.encode("utf-16-le") + b"\0\0" in content)]
        programs[test["name"]] = paths
    return programs


def stamps(programs):
    return {p: os.stat(p).st_mtime_ns for paths in programs.values() for p in paths}


def build(targets=()):
    command = ["cmake", "--build", BUILD, "-j", JOBS]
    if targets:
        command += ["--target", *targets]
    return run(command).returncode == 0


def mutants(path):
    for number, line in enumerate(read_text(path).splitlines(), 1):
        if line.strip() and not line.startswith("#"):
            file, _, change = line.partition(": ")
            original, _, replacement = change.partition(" => ")
            unfold = lambda text: text.replace("\u23ce", "\n")
            yield number, file, unfold(original), unfold(replacement)


def try_mutant(file, original, replacement, programs, targets, per_test_timeout):
    path = os.path.join(ROOT, file)
    text = read_text(path)
    if text.count(original) != 1:
        return "stale (the original text is not there exactly once)"
    before = stamps(programs)
    write_text(BACKUP, text)
    write_text(BACKUP + ".path", path)
    try:
        write_text(path, text.replace(original, replacement))
        forget_generated(path)
        if not build(targets):
            return "stillborn (does not build)"
        after = stamps(programs)
        suites = sorted(name for name, paths in programs.items()
                        if any(after.get(p) != before.get(p) for p in paths))
        if not suites:
            return "survived (no suite runs the changed code)"
        result = run(["ctest", "--test-dir", BUILD, "-j", JOBS, "--timeout", str(per_test_timeout),
                      "-R", "^(" + "|".join(re.escape(s) for s in suites) + ")$"])
        # CTest closes with "The following tests FAILED:" and lines "  7 - name (Failed)".
        failed = sorted(line.split(" - ", 1)[1].rsplit(" (", 1)[0].strip()
                        for line in result.stdout.split("tests FAILED:", 1)[-1].splitlines()
                        if " - " in line and "tests FAILED" in result.stdout)
        if not failed and result.returncode != 0:
            failed = [f"ctest (exit {result.returncode})"]
        return "killed by " + ", ".join(failed) if failed else "survived"
    finally:
        restore()


def main():
    listing = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "scripts", "mutants.txt")
    per_test_timeout = int(os.environ.get("MUTANT_TEST_TIMEOUT", "120"))
    for stop in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(stop, lambda *_: sys.exit(130))
    os.makedirs(BUILD, exist_ok=True)
    restore()
    try:
        # Each mutant relinks every program that uses the changed file, so the build is kept
        # lean: no debug information, and Ninja, ccache and lld where they are installed (ccache
        # turns the restored file's compilation into a lookup).
        configure = ["cmake", "-S", ".", "-B", BUILD, "-DCMAKE_BUILD_TYPE=Debug",
                     "-DCMAKE_CXX_FLAGS_DEBUG=-g0",
                     "-DREPORT_HOST=" + os.environ.get("REPORT_HOST", "127.0.0.1:18080")]
        if shutil.which("ninja") and not os.path.exists(os.path.join(BUILD, "Makefile")):
            configure += ["-G", "Ninja"]
        if shutil.which("ccache"):
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        if shutil.which("ld.lld"):
            configure.append("-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld")
        if run(configure).returncode != 0 or not build():
            sys.exit("the unmutated tree does not build")
        programs = test_programs()
        # Only what the tests run is rebuilt per mutant, not the benchmarks or the packaged tool.
        targets = sorted({os.path.basename(p) for paths in programs.values() for p in paths})
        if not build(targets):
            sys.exit("the tests' programs are not build targets: " + " ".join(targets))
        scored = killed = 0
        started = time.monotonic()
        for number, file, original, replacement in mutants(listing):
            outcome = try_mutant(file, original, replacement, programs, targets, per_test_timeout)
            print(f"{number:4} {file}: {original!r} => {replacement!r}: {outcome}", flush=True)
            if outcome.startswith(("killed", "survived")):
                scored += 1
                killed += outcome.startswith("killed")
        print(f"score: {killed} of {scored} mutants killed ({100 * killed / max(scored, 1):.0f} %) "
              f"in {time.monotonic() - started:.0f} s")
        # Leave the build as the tree is, for the next run's incremental build.
        build()
    finally:
        restore()


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit("interrupted; the tree is as it was")
