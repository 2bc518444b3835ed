#!/bin/sh
# makerinex.bat LOGFILE RINEXFILE
# Turns one RTCM 3 datagram log file into a RINEX observation file with RTKLIB's convbin: RINEX 3.04
# when the file's observations are Multiple Signal Messages (RINEX 2.11 has no room for Galileo E5b
# or BeiDou), read from the reference station RTCM_STATION_ID (default 0) only; RINEX 2.11 otherwise.
# The logger starts it for every closed log file; put your own earlier on the PATH to replace it.
# Paths may be in the suite's Windows form: backslash becomes '/', drive "X:" becomes "$ZELT_ROOT/x"
# (the logger's own mapping). Texts go out through printf only: echo would eat their backslashes.
# What convbin reports goes to a ".log" beside the RINEX file. Exits non-zero on failure.
set -u

if [ "$#" -ne 2 ]; then
    echo "usage: makerinex.bat LOGFILE RINEXFILE" >&2
    exit 2
fi

native_path() {
    path=$(printf '%s\n' "$1" | sed -e 's#\\#/#g')
    case "$path" in
    [A-Za-z]:*)
        drive=$(printf '%s\n' "$path" | cut -c1 | tr 'A-Z' 'a-z')
        rest=${path#??}
        case "$rest" in /*) ;; *) rest="/$rest" ;; esac
        path="${ZELT_ROOT:-}/$drive$rest"
        ;;
    esac
    printf '%s\n' "$path"
}

log=$(native_path "$1")
rinex=$(native_path "$2")
report="${rinex%.*}.log"
dir=$(dirname -- "$rinex")

if ! mkdir -p -- "$dir"; then
    printf 'makerinex.bat: can not create %s\n' "$dir" >&2
    exit 1
fi

# RTCM 3 observations carry no week: the date and time in the RINEX name are convbin's hint.
name=$(basename -- "$rinex")
day=$(printf '%s\n' "$name" | sed -n 's#^\([0-9]\{4\}\)\([0-9]\{2\}\)\([0-9]\{2\}\)_[0-9]\{6\}\..*$#\1/\2/\3#p')
time=$(printf '%s\n' "$name" | sed -n 's#^[0-9]\{8\}_\([0-9]\{2\}\)\([0-9]\{2\}\)\([0-9]\{2\}\)\..*$#\1:\2:\3#p')
if [ -z "$day" ] || [ -z "$time" ]; then
    printf 'makerinex.bat: no date in RINEX name %s\n' "$2" > "$report"
    exit 1
fi

# Write beside the target and rename at the end, so that a RINEX file that exists is complete.
partial="$rinex.part"
# convbin takes no "--": keep a leading '-' of a relative path from reading as an option.
case "$log" in -*) log="./$log" ;; esac
# rtcm3scan, shipped beside this script, tells which observations the file begins with.
station=${RTCM_STATION_ID:-0}
kind=$(rtcm3scan --kind --station "$station" "$log" 2>/dev/null)
if [ "$kind" = msm ]; then
    convbin -r rtcm3 -v 3.04 -ro "-STA=$station" -tr "$day" "$time" -o "$partial" "$log" > "$report" 2>&1
else
    convbin -r rtcm3 -v 2.11 -tr "$day" "$time" -o "$partial" "$log" > "$report" 2>&1
fi
status=$?
if [ "$status" -ne 0 ] || ! grep -q "END OF HEADER" "$partial" 2>/dev/null; then
    printf 'makerinex.bat: convbin failed (status %s) on %s\n' "$status" "$1" >> "$report"
    rm -f -- "$partial"
    exit 1
fi
mv -f -- "$partial" "$rinex" || exit 1
printf 'makerinex.bat: wrote %s\n' "$2" >> "$report"
exit 0
