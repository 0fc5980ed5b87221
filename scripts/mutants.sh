#!/usr/bin/env bash
# Mutation check of the test suites (slow: not run by CI). Applies each mutant listed in
# scripts/mutants.txt (or the file given), rebuilds incrementally in build-mutants/, runs the suites
# whose programs changed with a per-test timeout (MUTANT_TEST_TIMEOUT, default 120 s), restores the
# file, and prints one line per mutant and the score. The tree is restored even when interrupted.
# REPORT_HOST (default 127.0.0.1:18080) sets where the tests' receiver listens, so two checkouts
# can run at once.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages
exec python3 scripts/mutants.py "$@"
