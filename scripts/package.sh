#!/usr/bin/env bash
# Builds the Debian packages: veltora-motor (the tool, its menu entry, icon and the cable's udev
# rule) and veltora-report-receiver (the receiver and its systemd unit), each with its manual page,
# copyright and changelog, into build-package/, and checks them with lintian: any error or warning
# fails the script.
# The report server the tool posts to: REPORT_HOST=host[:port] (plain HTTP) or
# REPORT_HOST=https://host[:port] bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages dpkg-dev file lintian

build=build-package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELTORA_TESTS=OFF -DREPORT_HOST="${REPORT_HOST:-127.0.0.1:8080}" > /dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack)
ls -l "$build"/*.deb

if [ "$(id -u)" -eq 0 ]; then
    # lintian would rather not run as root: it checks copies that nobody may read.
    copies=$(mktemp -d)
    trap 'rm -rf "$copies"' EXIT
    cp "$build"/*.deb "$copies"
    chmod -R a+rX "$copies"
    runuser -u nobody -- lintian --fail-on error,warning "$copies"/*.deb
else
    lintian --fail-on error,warning "$build"/*.deb
fi
echo "lintian: no error or warning."
