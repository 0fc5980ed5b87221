#!/usr/bin/env bash
# Static analysis of the tool's own code: clang-tidy with the checks in .clang-tidy, then cppcheck.
# Generated code (moc, uic, rcc) is not analysed. Exits non-zero on any finding.
# Usage: scripts/lint.sh [build folder, default build-lint]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages clang-tidy cppcheck

root=$PWD
build_dir=${1:-build-lint}
jobs=$(nproc)

echo "== Configuring $build_dir"
# The sources include the generated ui_*.h and moc files, so those are made first: the global
# autogen target runs uic and moc for every target without compiling the targets themselves.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_GLOBAL_AUTOGEN_TARGET=ON -DCMAKE_AUTOGEN_ORIGIN_DEPENDS=OFF > /dev/null
cmake --build "$build_dir" --target autogen -j "$jobs" > /dev/null

# Every translation unit of the build that lives in the source tree, outside any build folder.
mapfile -t sources < <(
    grep -o '"file": "[^"]*"' "$build_dir/compile_commands.json" |
        sed 's/^"file": "//; s/"$//' |
        grep "^$root/" | grep -v "^$root/build[^/]*/" | sort -u
)
[ ${#sources[@]} -gt 0 ] || { echo "no sources in $build_dir/compile_commands.json"; exit 1; }

status=0

echo "== clang-tidy (${#sources[@]} files, $jobs at a time)"
# Each file is one run, so its diagnostics come out together; the per-file count of warnings
# suppressed in system headers is noise.
printf '%s\0' "${sources[@]}" |
    xargs -0 -n 1 -P "$jobs" clang-tidy -p "$build_dir" --quiet 2> >(grep -v ' warnings\? generated\.$' >&2) ||
    status=1

echo "== cppcheck"
# Qt's own headers are not parsed (the qt library file describes its macros); this covers the one
# macro it does not know.
qt_extra=$(mktemp --suffix=.cfg)
trap 'rm -f "$qt_extra"' EXIT
cat > "$qt_extra" << 'EOF'
<?xml version="1.0"?>
<def format="2">
  <define name="Q_COREAPP_STARTUP_FUNCTION(function)" value="static const int function##_startup = (function(), 0);"/>
</def>
EOF
cppcheck --std=c++17 --language=c++ --library=qt --library="$qt_extra" -I "$root" \
    --enable=warning,performance,portability,style --inline-suppr \
    --suppress=missingIncludeSystem --error-exitcode=1 --quiet -j "$jobs" --template=gcc \
    "${sources[@]}" || status=1

if [ "$status" -eq 0 ]; then
    echo "== Clean"
else
    echo "== Findings above"
fi
exit "$status"
