#!/usr/bin/env bash
# The logger's whole job on the default suite: installs, builds, creates the suite in demo-root/root, starts
# the logger, starts logging with the operator console, replays a real capture as datagrams, rotates
# once with a start sentence, stops, terminates, and shows the log files, the trace and the RINEX files.
# Everything it makes stays in demo-root/.
#   scripts/run-demo.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

# The logger's ports are fixed: where the system allows it, the demo gets a network of its own.
if [ -z "${VIVOZO_DEMO_ISOLATED:-}" ] && [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null &&
    unshare -n true 2>/dev/null; then
    "$here/scripts/install-deps.sh"
    exec env VIVOZO_DEMO_ISOLATED=1 unshare -n "$0" "$@"
fi
if [ -n "${VIVOZO_DEMO_ISOLATED:-}" ]; then
    ip link set lo up
else
    "$here/scripts/install-deps.sh"
fi

build="${VIVOZO_BUILD_DIR:-$here/build}"
"$here/scripts/build.sh" "$build"
logger="$build/Apps/RORUVivozo/RORUVivozo"
console="$build/Apps/zeltconsole/zeltconsole"
replay="$build/Apps/loadgen/rtcmreplay"
scan="$build/Apps/rtcm3scan/rtcm3scan"

demo="$here/demo-root"
root="$demo/root"
rm -rf "$demo"
mkdir -p "$demo"
eval "$("$here/scripts/create-suite.sh" "$root")"
export PATH="$here/scripts/bin:$PATH"
logdir='C:\demo\rtcm'

step() { printf '\n=== %s\n' "$*"; }

step "demo captures: the two halves of testglo.rtcm3, as the station recorded them"
"$scan" --make-demo "$demo/capture-first.rtcm3" --first-half
"$scan" --make-demo "$demo/capture-second.rtcm3" --second-half

# The capture has no 1013: a file of it is dated by the day it was opened. The logger runs on the
# capture's own day where faketime is at hand, so that convbin takes that day's leap seconds too; its
# waits on the monotonic clock stay real.
clock=()
faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1 || true)
if [ -n "$faketime_lib" ]; then
    clock=(env LD_PRELOAD="$faketime_lib" FAKETIME="@2009-12-18 23:11:00" DONT_FAKE_MONOTONIC=1)
fi
step "starting the logger (trace in $demo/trace.txt)${clock:+, its clock at 2009-12-18 23:11:00}"
"${clock[@]}" "$logger" -debug 31 >"$demo/trace.txt" 2>&1 &
logger_pid=$!
trap 'kill "$logger_pid" 2>/dev/null || true' EXIT
# Ready once it answers a status query.
for _ in $(seq 1 40); do
    "$console" --timeout 500 status && break
done

step "start logging into $logdir\\first.rtcm"
# Answered with "$PZELT,162,ON" only once the first datagram has opened the file.
"$console" --no-wait start "$logdir" first.rtcm 60 3011
step "replaying the capture's first half into the data port"
"$replay" "$demo/capture-first.rtcm3" 3011 500 "$demo/sent-first.rtcm3"
"$console" status

step "rotating: a start sentence closes first.rtcm (and converts it); the next datagram opens second.rtcm"
"$console" --no-wait start "$logdir" second.rtcm 60 3011
sleep 1
"$replay" "$demo/capture-second.rtcm3" 3011 500 "$demo/sent-second.rtcm3"
"$console" status

step "stop logging"
"$console" stop
step "terminate the logger"
"$console" terminate
status=0
wait "$logger_pid" || status=$?
trap - EXIT
echo "logger exit status: $status"

step "log files"
ls -l "$root/c/demo/rtcm"
for part in first second; do
    if cmp "$root/c/demo/rtcm/$part.rtcm" "$demo/sent-$part.rtcm3"; then
        echo "$part.rtcm is byte-identical to the datagrams replayed"
    else
        echo "$part.rtcm DIFFERS from the datagrams replayed" >&2
        exit 1
    fi
done

step "trace (data lines)"
grep -A2 'Data:' "$demo/trace.txt" | grep -v '^--$' | head -60

step "RINEX from makerinex.bat: one file per log file, named at its first epoch"
for _ in $(seq 1 50); do
    [ "$(ls "$root/c/demo/rtcm/"*.08o 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.2
done
ls -l "$root/c/demo/rtcm/"*.08o
rinex_count=0
for rinex in "$root/c/demo/rtcm/"*.08o; do
    [ -e "$rinex" ] || continue
    rinex_count=$((rinex_count + 1))
    printf '\n--- %s\n' "$(basename "$rinex")"
    sed -n '1,/END OF HEADER/p' "$rinex"
    echo "..."
    echo "$(grep -c '^ [0-9][0-9] ' "$rinex") epochs in $(basename "$rinex")"
done
if [ "$rinex_count" -ne 2 ]; then
    echo "expected two RINEX files, one per log file; found $rinex_count" >&2
    exit 1
fi

step "quality beside each RINEX file: its report (.qc.json) and picture (.qc.png)"
for _ in $(seq 1 50); do
    [ "$(ls "$root/c/demo/rtcm/"*.qc.json 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.2
done
ls -l "$root/c/demo/rtcm/"*.qc.*
grep -H '"summary"' "$root/c/demo/rtcm/"*.qc.json
