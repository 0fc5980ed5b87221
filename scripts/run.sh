#!/usr/bin/env bash
# Builds the tool and the report receiver, starts the receiver on 127.0.0.1:8080 and runs the tool
# on the simulated chair. With a display the window opens for a service of your own; without one a
# scripted walkthrough runs the whole service offscreen, prints each step and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages

build=build-run
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j "$(nproc)" --target veltora-motor-sim veltora-walkthrough report-receiver

data=$build/data
mkdir -p "$data"
# Reading the reports back needs the receiver's token: one of this demo's own, readable by us only.
token=$data/token
[ -s "$token" ] || (umask 077 && head -c 24 /dev/urandom | base64 > "$token")
chmod 600 "$token"
receiver_command=("$build/server/report-receiver" --database "$data/reports.sqlite3" --token-file "$token")
# The viewer's staff sign in as themselves: an admin of this demo's own, with a new one-time
# password at every run (the one before is not kept anywhere).
users=("$build/server/report-receiver" users)
accounts=$("${users[@]}" list --database "$data/reports.sqlite3")
if grep -q '^demo'$'\t' <<< "$accounts"; then
    password=$("${users[@]}" reset demo --database "$data/reports.sqlite3" | awk '{print $NF}')
else
    password=$("${users[@]}" add demo --role admin --database "$data/reports.sqlite3" | awk '{print $NF}')
fi
"${receiver_command[@]}" > "$data/access.log" &
receiver=$!
trap 'kill $receiver 2>/dev/null || true; wait $receiver 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    (exec 3<> /dev/tcp/127.0.0.1/8080) 2> /dev/null && break
    kill -0 $receiver 2> /dev/null || { echo "The report receiver did not start."; exit 1; }
    sleep 0.1
done

sign_in="sign in as demo with the one-time password $password (then choose your own)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Reports go to http://127.0.0.1:8080; list them with"
    echo "  curl -H \"Authorization: Bearer \$(cat $token)\" http://127.0.0.1:8080/reports"
    echo "While the window is open, see them in a browser: open http://127.0.0.1:8080/viewer/ and"
    echo "  $sign_in."
    "$build/app/veltora-motor-sim" "$@"
else
    echo "No display: running the scripted walkthrough offscreen. Its reports stay in $data;"
    echo "to see them in a browser, start the receiver again:"
    echo "  ${receiver_command[*]}"
    echo "then, from a machine with a browser, tunnel to this one (ssh -L 8080:127.0.0.1:8080 $(hostname)),"
    echo "open http://127.0.0.1:8080/viewer/ there and $sign_in."
    # The walkthrough's customer goes into a settings store of its own, not the user's.
    XDG_CONFIG_HOME="$PWD/$data/config" QT_QPA_PLATFORM=offscreen \
        "$build/app/veltora-walkthrough" --screenshot "$data/walkthrough.png" --token-file "$token"
fi
