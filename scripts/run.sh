#!/usr/bin/env bash
# Builds the tool and the report receiver, starts the receiver on 127.0.0.1:8080 and opens the
# tool on the simulated chair.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages

build=build-run
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j "$(nproc)" --target veltora-motor-sim report-receiver

mkdir -p "$build/data"
"$build/server/report-receiver" --database "$build/data/reports.sqlite3" &
receiver=$!
trap 'kill $receiver 2>/dev/null || true' EXIT

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: starting the tool offscreen; close it with Ctrl+C."
    export QT_QPA_PLATFORM=offscreen
fi
"$build/app/veltora-motor-sim"
