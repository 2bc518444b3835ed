#!/usr/bin/env bash
# Measures how many datagrams per second the logger writes to its log file without loss, and the same
# for `socat -u UDP-RECV:PORT OPEN:FILE` on the same machine in the same run.
#   Apps/loadgen/run-benchmark.sh [build-dir]
# Runs in a network namespace of its own when it can, so the fixed ports meet nobody else's.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$here/build"}
build=$(cd "$build" && pwd)

if [ -z "${VIVOZO_BENCH_ISOLATED:-}" ] && [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    exec env VIVOZO_BENCH_ISOLATED=1 unshare -n "$0" "$build"
fi
[ -n "${VIVOZO_BENCH_ISOLATED:-}" ] && ip link set lo up

logger="$build/Apps/RORUVivozo/RORUVivozo"
loadgen="$build/Apps/loadgen/loadgen"
[ -x "$logger" ] && [ -x "$loadgen" ] || { echo "build the targets RORUVivozo and loadgen in $build first" >&2; exit 1; }

size=200
required_rate=20000
required_seconds=10
sweep_seconds=5
sweep_rates="40000 60000 80000 100000 150000 200000"
socat_lower_rates="15000 10000 5000 2000 1000"

root=$(mktemp -d /tmp/vivozo-bench-XXXXXX)
logger_pid=""
socat_pid=""
cleanup() {
    [ -n "$logger_pid" ] && kill -KILL "$logger_pid" 2>/dev/null || true
    [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

eval "$("$here/scripts/create-suite.sh" "$root")"
# Quiet supervision: the datagrams are no RTCM and nobody reads the operator messages here.
sqlite3 "$root/c/ProgramData/Hollvik/zelt/zelt.db" \
    "UPDATE integer_values SET value = 0 WHERE id IN (SELECT value_id FROM token_value
     WHERE token IN ('RUNT_PARAM_RTCM_INPUT_FREQ_INTERVAL_LENGTH', 'RUNT_PARAM_RTCM_INPUT_FREQ_EXPECTED'));"
mkdir -p "$root/c/bench"

sentence() { printf '%s\n\r' "$1" | socat -u - UDP-SENDTO:127.0.0.1:5081; }

(cd "$root" && exec "$logger" -debug 0 >"$root/logger.txt" 2>&1) &
logger_pid=$!
sleep 2

declare -A verdict
run_logger() { # rate seconds
    local rate=$1 seconds=$2 name="bench_${1}.rtcm"
    sentence "\$PZELT,160,C:\\bench,$name,600,3011"
    sleep 0.5
    echo "--- logger, $rate/s for $seconds s"
    if "$loadgen" --port 3011 --file "$root/c/bench/$name" --size $size --rate "$rate" \
        --count $((rate * seconds)); then verdict[logger_$rate]=ok; else verdict[logger_$rate]=loss; fi
}
run_socat() { # rate seconds
    local rate=$1 seconds=$2 file="$root/socat_${1}.out"
    socat -u UDP-RECV:3012 "OPEN:$file,creat,trunc" &
    socat_pid=$!
    sleep 0.5
    echo "--- socat, $rate/s for $seconds s"
    if "$loadgen" --port 3012 --file "$file" --size $size --rate "$rate" --count $((rate * seconds)); then
        verdict[socat_$rate]=ok
    else
        verdict[socat_$rate]=loss
    fi
    kill "$socat_pid" 2>/dev/null || true
    wait "$socat_pid" 2>/dev/null || true
    socat_pid=""
    rm -f "$file"
}

run_logger $required_rate $required_seconds
run_socat $required_rate $required_seconds
best_logger=0
best_socat=0
[ "${verdict[logger_$required_rate]}" = ok ] && best_logger=$required_rate
[ "${verdict[socat_$required_rate]}" = ok ] && best_socat=$required_rate
logger_going=$([ "$best_logger" -gt 0 ] && echo 1 || echo 0)
socat_going=$([ "$best_socat" -gt 0 ] && echo 1 || echo 0)
for rate in $sweep_rates; do
    if [ "$logger_going" = 1 ]; then
        run_logger "$rate" $sweep_seconds
        if [ "${verdict[logger_$rate]}" = ok ]; then best_logger=$rate; else logger_going=0; fi
    fi
    if [ "$socat_going" = 1 ]; then
        run_socat "$rate" $sweep_seconds
        if [ "${verdict[socat_$rate]}" = ok ]; then best_socat=$rate; else socat_going=0; fi
    fi
done
# socat below the required rate: the highest of these it keeps without loss.
if [ "$best_socat" = 0 ]; then
    for rate in $socat_lower_rates; do
        run_socat "$rate" $sweep_seconds
        if [ "${verdict[socat_$rate]}" = ok ]; then best_socat=$rate; break; fi
    done
fi

sentence '$PZELT,24'
wait "$logger_pid" || true
logger_pid=""
echo "=== $size-byte datagrams: logger ${verdict[logger_$required_rate]} at $required_rate/s for $required_seconds s;" \
    "highest rate without loss: logger $best_logger/s, socat $best_socat/s"
[ "${verdict[logger_$required_rate]}" = ok ]
