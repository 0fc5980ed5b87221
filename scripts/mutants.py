"""Mutation check: applies each mutant of a list in turn, rebuilds incrementally, runs the test
suites whose programs the mutant changed, restores the file, and prints one line per mutant and
the score. A mutant line reads:  path: original text => replacement text
(the original must occur exactly once in the file). Lines starting with # are comments."""
import json
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUILD = os.path.join(ROOT, "build-mutants")
BACKUP = os.path.join(BUILD, "mutant-original")


def restore():
    """Puts back the file a mutant changed, also after a run that was killed outright."""
    if os.path.exists(BACKUP + ".path"):
        with open(BACKUP + ".path") as f:
            path = f.read()
        os.replace(BACKUP, path)
        os.unlink(BACKUP + ".path")


def run(command, timeout=None):
    return subprocess.run(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=timeout)


def test_programs():
    """Each CTest test with the programs of this build it runs: in its command, and for scripted
    tests the program named in its environment."""
    shown = json.loads(run(["ctest", "--test-dir", BUILD, "--show-only=json-v1"]).stdout)
    programs = {}
    for test in shown["tests"]:
        paths = list(test["command"])
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                paths += [v.split("=", 1)[1] for v in prop["value"] if "=/" in v]
        programs[test["name"]] = [p for p in paths
                                  if p.startswith(BUILD + os.sep) and os.path.isfile(p)]
    return programs


def stamps(programs):
    return {p: os.stat(p).st_mtime_ns for paths in programs.values() for p in paths}


def mutants(path):
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.strip() and not line.startswith("#"):
                file, _, change = line.partition(": ")
                original, _, replacement = change.partition(" => ")
                yield number, file, original, replacement


def try_mutant(file, original, replacement, programs, per_test_timeout):
    path = os.path.join(ROOT, file)
    with open(path) as f:
        text = f.read()
    if text.count(original) != 1:
        return "stale (the original text is not there exactly once)"
    before = stamps(programs)
    with open(BACKUP + ".path", "w") as f:
        f.write(path)
    with open(BACKUP, "w") as f:
        f.write(text)
    try:
        with open(path, "w") as f:
            f.write(text.replace(original, replacement))
        if run(["cmake", "--build", BUILD, "-j", str(os.cpu_count())]).returncode != 0:
            return "stillborn (does not build)"
        after = stamps(programs)
        suites = sorted(name for name, paths in programs.items()
                        if any(after.get(p) != before.get(p) for p in paths))
        if not suites:
            return "survived (no suite runs the changed code)"
        result = run(["ctest", "--test-dir", BUILD, "-j", str(os.cpu_count()), "--timeout",
                      str(per_test_timeout), "-R", "^(" + "|".join(suites) + ")$"])
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
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    os.makedirs(BUILD, exist_ok=True)
    restore()
    try:
        if (run(["cmake", "-S", ".", "-B", BUILD, "-DCMAKE_BUILD_TYPE=Debug",
                 "-DREPORT_HOST=127.0.0.1:18080"]).returncode != 0
                or run(["cmake", "--build", BUILD, "-j", str(os.cpu_count())]).returncode != 0):
            sys.exit("the unmutated tree does not build")
        programs = test_programs()
        scored = killed = 0
        started = time.monotonic()
        for number, file, original, replacement in mutants(listing):
            outcome = try_mutant(file, original, replacement, programs, per_test_timeout)
            print(f"{number:4} {file}: {original!r} => {replacement!r}: {outcome}", flush=True)
            if outcome.startswith(("killed", "survived")):
                scored += 1
                killed += outcome.startswith("killed")
        print(f"score: {killed} of {scored} mutants killed ({100 * killed / max(scored, 1):.0f} %) "
              f"in {time.monotonic() - started:.0f} s")
        # Leave the build as the tree is, for the next run's incremental build.
        run(["cmake", "--build", BUILD, "-j", str(os.cpu_count())])
    finally:
        restore()


if __name__ == "__main__":
    main()
