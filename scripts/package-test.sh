#!/usr/bin/env bash
# The Debian package as a workstation gets it: builds the .deb in a built tree, installs it with dpkg,
# checks that the installed programs answer and that systemd accepts the units, runs the installed logger
# through one short logging scenario from the installed files only, with the status page served beside it,
# then removes the package and checks that none of its files is left. Runs in a network namespace of its own where the system allows it.
#   scripts/package-test.sh [build-dir]
# Needs root (dpkg). The package is removed again at the end, also when a step fails; a machine that
# already has it installed is left alone.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
package=roruvivozo

if [ "$(id -u)" -ne 0 ]; then
    echo "package test: skipped, installing a package needs root"
    exit 0
fi
# A workstation's own installation, its configuration included, is never replaced by a test.
found=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
if [ -z "${VIVOZO_PACKAGE_ISOLATED:-}" ] && [ -n "$found" ] && [ "$found" != not-installed ]; then
    echo "package test: skipped, $package is on this machine (dpkg status $found; dpkg -P $package to test here)"
    exit 0
fi
if [ -z "${VIVOZO_PACKAGE_ISOLATED:-}" ] && command -v unshare >/dev/null && unshare -n true 2>/dev/null; then
    exec env VIVOZO_PACKAGE_ISOLATED=1 unshare -n "$0" "$build"
fi
if [ -n "${VIVOZO_PACKAGE_ISOLATED:-}" ]; then
    ip link set lo up
else
    echo "package test: no network namespace here, the logger uses the machine's ports" >&2
fi

step() { printf '=== package test: %s\n' "$*"; }
fail() {
    printf 'package test FAILED: %s\n' "$*" >&2
    exit 1
}

work=$(mktemp -d /tmp/vivozo-package.XXXXXX)
logger_pid=
notify_pid=
serve_pid=
# The program itself, below the shell, setpriv and strace that started it: descendant NAME PID.
descendant() {
    local child
    for child in $(pgrep -P "$2"); do
        if [ "$(cat "/proc/$child/comm" 2>/dev/null)" = "$1" ]; then echo "$child"; else descendant "$1" "$child"; fi
    done
}
cleanup() {
    [ -n "$logger_pid" ] && kill $(descendant RORUVivozo "$logger_pid") 2>/dev/null || true
    [ -n "$serve_pid" ] && kill $(descendant zeltconsole "$serve_pid") 2>/dev/null || true
    [ -n "$notify_pid" ] && kill "$notify_pid" 2>/dev/null || true
    local left
    left=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    if [ -n "$left" ] && [ "$left" != not-installed ]; then
        dpkg -P "$package" >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Another apt or dpkg run may hold the lock for a while: wait for it instead of failing.
dpkg_waiting() {
    for _ in $(seq 1 60); do
        if dpkg "$@" >"$work/dpkg.out" 2>&1; then
            return 0
        fi
        grep -q 'lock' "$work/dpkg.out" || break
        sleep 5
    done
    cat "$work/dpkg.out" >&2
    return 1
}

step "building the package"
rm -f "$build/${package}_"*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.out" 2>&1) || {
    cat "$work/cpack.out" >&2
    fail "cpack"
}
debs=("$build/${package}_"*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single ${package}_*.deb in $build"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb"): Depends: $depends"
for needed in rtklib gnuplot libsqliteodbc libc6 libodbc; do
    [[ $depends == *"$needed"* ]] || fail "the package does not depend on $needed"
done

step "installing $(basename "$deb")"
dpkg_waiting -i "$deb" || fail "dpkg -i"
mapfile -t installed < <(dpkg -L "$package" | while read -r f; do [ -d "$f" ] || echo "$f"; done)
conffile=/etc/default/roruvivozo
[ -f "$conffile" ] || fail "no $conffile"
unit=$(dpkg -L "$package" | grep '/roruvivozo.service$') || fail "no roruvivozo.service installed"
web_unit=$(dpkg -L "$package" | grep '/roruvivozo-web.service$') || fail "no roruvivozo-web.service installed"
# The page is the administrator's choice: the package enables no unit.
! ls /etc/systemd/system/*.wants/roruvivozo*.service >/dev/null 2>&1 || fail "the package enabled a unit"

# From here on only the installed files: the service's environment from its file, with the suite root
# moved into this test's directory, a working directory outside the source tree, and the service's user.
defaults=$(set -a && . "$conffile" && printf '%s\n' "$ZELT_ROOT" "$ODBCSYSINI" "$ODBCINI" "$PATH" "$ProgramData" \
    "$VIVOZO_OPTIONS") || fail "$conffile does not read as shell assignments, as systemd reads it"
mapfile -t service <<<"$defaults"
[ "${service[1]}" = "${service[0]}/odbc" ] && [ "${service[2]}" = "${service[0]}/odbc/odbc.ini" ] ||
    fail "$conffile: the ODBC files are not those vivozo-create-suite writes under ZELT_ROOT"
[ "${service[4]}" = 'C:\ProgramData' ] || fail "$conffile: ProgramData reads as ${service[4]}"
user=$(sed -n 's/^User=//p' "$unit")
getent passwd "$user" >/dev/null || fail "the package made no user $user"
chmod 755 "$work"
install -d -o "$user" "$work/root"
cd "$work"
installed_env() {
    env -i PATH="${service[3]}" HOME="$work" ProgramData="${service[4]}" ZELT_ROOT="${ZELT_ROOT:-}" \
        ODBCSYSINI="${ODBCSYSINI:-}" ODBCINI="${ODBCINI:-}" "$@"
}
# As systemd starts it: the service's user and group, no login session. With strace at hand, every system
# call of the program and of all it starts is recorded, to be held against the unit's filter.
calls=calls
install -d -o "$user" "$work/calls" "$work/web-calls"
as_service() {
    local tracer=() && command -v strace >/dev/null && tracer=(strace -f -qq -o "$work/$calls/$1.$RANDOM")
    installed_env setpriv --reuid="$user" --regid="$user" --init-groups -- "${tracer[@]}" "$@"
}
filter_calls() { # the system calls a SystemCallFilter= value stands for, its sets expanded
    local name
    for name in "$@"; do
        if [[ $name == @* ]]; then filter_calls $(systemd-analyze syscall-filter "$name" | sed '1d; s/#.*//'); else echo "$name"; fi
    done
}

step "the installed programs answer"
[ "$(installed_env RORUVivozo -version)" = "RORUVivozo $version" ] || fail "RORUVivozo -version"
for program in zeltconsole rtcm3scan rtcmreplay rtcmbridge vivozo-create-suite makerinex.bat; do
    [ "$(installed_env "$program" --version)" = "$program $version" ] || fail "$program --version"
    # Read whole first: grep -q would leave the program writing into a closed pipe.
    help=$(installed_env "$program" --help) && grep -q "$program" <<<"$help" || fail "$program --help"
done
installed_env RORUVivozo -version

if command -v systemd-analyze >/dev/null; then
    step "systemd-analyze verify $unit $web_unit"
    systemd-analyze verify "$unit" "$web_unit" || fail "systemd-analyze verify"
    # The unit names the programs wherever they are installed.
    step "the unit installed with another prefix, and its security"
    cmake --install "$build" --prefix "$work/opt/x" >/dev/null || fail "cmake --install --prefix $work/opt/x"
    other="$work/opt/x/lib/systemd/system/roruvivozo.service"
    grep -qx "ExecStart=$work/opt/x/bin/RORUVivozo \$VIVOZO_OPTIONS" "$other" || fail "$other: $(grep ^ExecStart= "$other")"
    grep -qx "EnvironmentFile=$work/opt/x/etc/default/roruvivozo" "$other" || fail "$other names another environment file"
    grep -q "^PATH=.*:$work/opt/x/bin:" "$work/opt/x/etc/default/roruvivozo" || fail "the environment's PATH misses $work/opt/x/bin"
    grep -qx "ExecStart=$work/opt/x/bin/zeltconsole serve \$VIVOZO_WEB_OPTIONS" "${other%/*}/roruvivozo-web.service" ||
        fail "roruvivozo-web.service under $work/opt/x names another zeltconsole"
    systemd-analyze verify "$other" || fail "systemd-analyze verify $other"
    systemd-analyze security --offline=true --threshold=20 "$unit" | tail -n 1 || fail "the unit's exposure is above 2.0"
    systemd-analyze security --offline=true --threshold=20 "$web_unit" | tail -n 1 ||
        fail "the page's unit's exposure is above 2.0"
else
    step "systemd-analyze is not installed: the unit is not verified"
fi

step "a suite from the installed vivozo-create-suite"
exports=$(as_service vivozo-create-suite "$work/root") || fail "vivozo-create-suite as $user"
eval "$exports"
[ -s "$ZELT_ROOT/c/ProgramData/Hollvik/zelt/zelt.db" ] || fail "vivozo-create-suite made no database"

step "one logging scenario with the installed logger"
cp "$(cmake -P "$here/cmake/Captures.cmake")/testglo.rtcm3" "$work/testglo.rtcm3"
installed_env rtcm3scan --make-demo "$work/capture.rtcm3" "$work/testglo.rtcm3" >/dev/null
# systemd's notify socket, as the unit's Type=notify and WatchdogSec= give it (the watchdog asked for
# every second here, so that a short run sees beats): each message on a line of its own.
python3 -c 'import os, socket, sys
listener = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
listener.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o666)
while True:
    print(listener.recv(4096).decode(), flush=True)' "$work/notify" >"$work/notified" 2>&1 &
notify_pid=$!
for _ in $(seq 1 50); do [ -S "$work/notify" ] && break; sleep 0.1; done
# shellcheck disable=SC2086 # the options are words, as systemd splits them
as_service env NOTIFY_SOCKET="$work/notify" WATCHDOG_USEC=1000000 RORUVivozo ${service[5]} >"$work/trace.txt" 2>&1 &
logger_pid=$!
ready=0
for _ in $(seq 1 40); do
    installed_env zeltconsole --timeout 500 status >/dev/null 2>&1 && ready=1 && break
done
[ "$ready" = 1 ] || fail "the installed logger does not answer (trace: $(tail -5 "$work/trace.txt"))"
installed_env zeltconsole --no-wait start 'C:\pkg\rtcm' test.rtcm 60 3011
sent=$(installed_env rtcmreplay "$work/capture.rtcm3" 3011 500 "$work/sent.rtcm3")
[ "$(installed_env zeltconsole status)" = '$PZELT,162,ON' ] || fail "not logging after the datagrams"
step "the service manager hears ready, the state with file and rate, and the engine's beats"
snapshot="$ZELT_ROOT/c/temp/RORUVivozo.status.json"
expected="$(stat -c %s "$work/sent.rtcm3") bytes sent"
frames=
for _ in $(seq 1 50); do
    frames=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["since_start"]["datagrams"])' \
        "$snapshot" 2>/dev/null || true)
    [ "$sent" = "$frames frames, $expected" ] && [ "$(grep -c '^WATCHDOG=1' "$work/notified")" -ge 2 ] && break
    sleep 0.1
done
[ "$sent" = "$frames frames, $expected" ] || fail "status snapshot at $snapshot: ${frames:-no} datagrams; $sent"
echo "status snapshot: $frames datagrams, as sent"
grep -q '^READY=1' "$work/notified" || fail "no READY=1 on the notify socket"
grep -E '^STATUS=logging C:\\pkg\\rtcm\\test\.rtcm: [0-9,]+ datagrams, [0-9.]+ kB, [0-9.]+/s' "$work/notified" | tail -n 1 ||
    fail "no status line naming the file and its rate"
[ "$(grep -c '^WATCHDOG=1' "$work/notified")" -ge 2 ] || fail "no watchdog beats"
step "the status page, served by the installed zeltconsole as the page's unit runs it"
calls=web-calls as_service zeltconsole serve --listen 127.0.0.1:0 >"$work/serve.out" 2>&1 &
serve_pid=$!
for _ in $(seq 1 50); do grep -q 'serving' "$work/serve.out" && break; sleep 0.1; done
page=$(sed -n 's|.*\(http://[0-9.:]*/\).*|\1|p' "$work/serve.out")
[ -n "$page" ] || fail "zeltconsole serve does not serve: $(cat "$work/serve.out")"
[[ $(curl -sf "$page") == *'<title>RORU Vivozo</title>'* ]] || fail "no page at $page"
[[ $(curl -sf "${page}status.json") =~ \"state\":\ *\"logging\" ]] || fail "${page}status.json does not say logging"
[ "$(curl -s -o /dev/null -w '%{http_code}' -X POST "$page")" = 405 ] || fail "a POST to $page is not refused"
echo "$(cat "$work/serve.out"): the page, the snapshot, a POST refused"
# It ends on SIGTERM with status 0.
kill $(descendant zeltconsole "$serve_pid")
wait "$serve_pid" || fail "zeltconsole serve ended with status $?"
serve_pid=
[ "$(installed_env zeltconsole stop)" = '$PZELT,162,OFF' ] || fail "stop not answered"
[ "$(installed_env zeltconsole terminate)" = '$PZELT,162,OFF' ] || fail "terminate not answered"
status=0
wait "$logger_pid" || status=$?
logger_pid=
[ "$status" -eq 0 ] || fail "the logger ended with status $status"
grep -q '^STOPPING=1' "$work/notified" || fail "no STOPPING=1 at the end"
kill "$notify_pid" 2>/dev/null || true

allowed_calls() { # the system calls a unit's SystemCallFilter= lines allow, sorted, into $work/allowed
    : >"$work/allowed"
    while IFS= read -r value; do
        if [ "${value:0:1}" = '~' ]; then filter_calls ${value:1} | sort -u | comm -23 "$work/allowed" - >"$work/kept"
        else filter_calls $value | sort -u - "$work/allowed" >"$work/kept"; fi
        mv "$work/kept" "$work/allowed"
    done < <(sed -n 's/^SystemCallFilter=//p' "$1")
}
calls_outside() { # the calls recorded in the given strace files that $work/allowed lacks
    cat "$@" | sed -nE 's/^[0-9]+ +([a-z0-9_]+)\(.*/\1/p' | sort -u >"$work/made"
    comm -23 "$work/made" "$work/allowed" | xargs
}
if command -v strace >/dev/null && command -v systemd-analyze >/dev/null; then
    step "every system call made is one the unit's filter allows"
    for run in "$unit calls" "$web_unit web-calls"; do
        read -r filtered traced <<<"$run"
        allowed_calls "$filtered"
        outside=$(calls_outside "$work/$traced/"*)
        [ -z "$outside" ] || fail "system calls outside the filter of $(basename "$filtered"): $outside"
        echo "$(wc -l <"$work/made") different system calls made, all allowed by $(basename "$filtered")"
    done
    # MemoryDenyWriteExecute=yes, ProcSubset=pid: no memory both writable and executable, and of /proc
    # only the processes' own (and /proc/filesystems, where coreutils look for SELinux and do without,
    # the boot id, which the unit hides: the snapshot goes without it, so watch then takes its age
    # from the wall clock, and overcommit_memory, which glibc's malloc reads as a thread's heap shrinks
    # and does without: it then releases the pages as it does for the value 0).
    ! grep -qE '(mmap|mprotect)\(.*PROT_WRITE\|PROT_EXEC' "$work/calls/"* "$work/web-calls/"* || fail "memory mapped writable and executable"
    proc=$(cat "$work/calls/"* "$work/web-calls/"* | { grep -ohE '"/proc/[^"]*"' || true; } |
        { grep -vE '^"/proc/(self|[0-9]+|thread-self)(/|")|^"/proc/filesystems"$|^"/proc/sys/(kernel/random/boot_id|vm/overcommit_memory)"$' || true; } | sort -u | xargs)
    [ -z "$proc" ] || fail "/proc files outside ProcSubset=pid read: $proc"
fi

logdir="$ZELT_ROOT/c/pkg/rtcm"
cmp "$logdir/test.rtcm" "$work/sent.rtcm3" || fail "the log file differs from the datagrams sent"
echo "test.rtcm: $(stat -c %s "$logdir/test.rtcm") bytes, identical to the datagrams sent"
rinex=
for _ in $(seq 1 100); do
    rinex=$(ls "$logdir"/*.08o 2>/dev/null | head -n 1 || true)
    [ -n "$rinex" ] && break
    sleep 0.2
done
[ -n "$rinex" ] || fail "no RINEX file from the installed makerinex.bat (in $logdir: $(ls "$logdir"))"
grep -q 'END OF HEADER' "$rinex" || fail "$(basename "$rinex") has no header"
epochs=$(grep -c '^ [0-9][0-9] ' "$rinex" || true)
[ "$epochs" -gt 0 ] || fail "$(basename "$rinex") holds no epoch"
echo "$(basename "$rinex"): $epochs epochs"
picture="${rinex%.08o}.qc.png"
for _ in $(seq 1 100); do [ -s "${rinex%.08o}.qc.json" ] && break; sleep 0.2; done
[ -s "$picture" ] || fail "no quality picture beside $(basename "$rinex"): $(cat "${rinex%.08o}.qc.json" 2>/dev/null | grep -o "\"why_no_picture\": [^,]*")"
echo "$(basename "$picture"): drawn by the installed gnuplot, $(stat -c %s "$picture") bytes"

step "the bridge: its unit, its security, and the capture through the installed rtcmbridge as the service runs it"
bridge_unit=$(dpkg -L "$package" | grep '/roruvivozo-bridge@.service$') || fail "no roruvivozo-bridge@.service installed"
if command -v systemd-analyze >/dev/null; then
    # A template is verified and rated as one of its instances.
    cp "$bridge_unit" "$work/roruvivozo-bridge@caster1.service"
    systemd-analyze verify "$work/roruvivozo-bridge@caster1.service" || fail "systemd-analyze verify $bridge_unit"
    systemd-analyze security --offline=true --threshold=20 "$work/roruvivozo-bridge@caster1.service" | tail -n 1 ||
        fail "the bridge unit's exposure is above 2.0"
fi
rm -f "$work/calls/"*
socat -u UDP4-RECV:3011 "OPEN:$work/bridged.rtcm3,creat,trunc" &
notify_pid=$!
sleep 0.5
as_service rtcmbridge - --status "$work/root/bridge.json" <"$work/capture.rtcm3" 2>"$work/bridge.txt" ||
    fail "rtcmbridge from standard input: $(cat "$work/bridge.txt")"
for _ in $(seq 1 50); do cmp -s "$work/bridged.rtcm3" "$work/sent.rtcm3" && break; sleep 0.1; done
kill "$notify_pid" 2>/dev/null || true
cmp "$work/bridged.rtcm3" "$work/sent.rtcm3" || fail "the bridge's datagrams differ from the capture's frames"
echo "$(stat -c %s "$work/bridged.rtcm3") bytes bridged, the capture's frames; $(tail -n 1 "$work/bridge.txt")"
if command -v strace >/dev/null && command -v systemd-analyze >/dev/null; then
    allowed_calls "$bridge_unit"
    outside=$(calls_outside "$work/calls/"*)
    [ -z "$outside" ] || fail "system calls of the bridge outside its unit's filter: $outside"
    echo "$(wc -l <"$work/made") different system calls made by the bridge, all allowed by its unit"
fi

step "removing the package"
dpkg_waiting -r "$package" || fail "dpkg -r"
# dpkg -r keeps the configuration file the administrator may have edited; purge takes it too.
for f in "${installed[@]}"; do
    if [ "$f" = "$conffile" ]; then
        [ -e "$f" ] || fail "dpkg -r took the configuration file $f"
    elif [ -e "$f" ] || [ -L "$f" ]; then
        fail "dpkg -r left $f"
    fi
done
dpkg_waiting -P "$package" || fail "dpkg -P"
[ ! -e "$conffile" ] || fail "dpkg -P left $conffile"
echo "all ${#installed[@]} installed files are gone"
step "passed"
