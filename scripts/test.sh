#!/usr/bin/env bash
# Builds the tool and runs every test suite: once as built for use, once more under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
# The viewer's browser test drives Debian's chromium with puppeteer-core, from npm; the receiver's
# test checks its metrics page with prometheus' promtool; the report's TLS test makes its
# certificates with the openssl command.
if command -v node > /dev/null && command -v npm > /dev/null; then
    ensure_packages chromium prometheus openssl
else
    ensure_packages chromium prometheus openssl nodejs npm
fi
(cd tests/server/browser && npm ci --no-audit --no-fund --loglevel=error)

jobs=$(nproc)
# Tests start their own report receiver on this port, away from a receiver the user may be running.
test_host=127.0.0.1:18080

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DREPORT_HOST="$test_host" "$@" > /dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== Tests"
run_suite build-test -DCMAKE_BUILD_TYPE=Debug
echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DVELTORA_SANITIZE=ON
