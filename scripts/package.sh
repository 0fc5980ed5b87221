#!/usr/bin/env bash
# Builds the Debian packages: veltora-motor (the tool, its menu entry, icon and the cable's udev
# rule) and veltora-report-receiver (the receiver and its systemd unit), into build-package/.
# The report server the tool posts to: REPORT_HOST=host[:port] bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages dpkg-dev file

build=build-package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELTORA_TESTS=OFF -DREPORT_HOST="${REPORT_HOST:-127.0.0.1:8080}" > /dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack)
ls -l "$build"/*.deb
