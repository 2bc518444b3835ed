#!/bin/sh
# makerinex.bat LOGFILE RINEXFILE
# Turns one RTCM 3 datagram log file into a RINEX observation file with RTKLIB's convbin: RINEX 3.04
# when the file's observations are Multiple Signal Messages (RINEX 2.11 has no room for Galileo E5b
# or BeiDou), read from the reference station RTCM_STATION_ID (default 0) only; RINEX 2.11 otherwise.
# The logger starts it for every closed log file; put your own earlier on the PATH to replace it.
# Paths may be in the suite's Windows form: backslash becomes '/', drive "X:" becomes "$ZELT_ROOT/x"
# (the logger's own mapping). Texts go out through printf only: echo would eat their backslashes.
# Writes signal strengths, and navigation files beside the observation file when the log holds
# ephemerides. What convbin reports goes to a ".log" beside the RINEX file. Exits non-zero on failure.
set -u

case "${1:-}" in
--help | -h)
    printf '%s\n' "usage: makerinex.bat LOGFILE RINEXFILE" \
        "Converts the RTCM 3 log file LOGFILE into the RINEX observation file RINEXFILE with convbin" \
        "(RINEX 3.04 for MSM observations, 2.11 otherwise), never replacing an existing RINEX file;" \
        "convbin's report goes to a .log beside it. Windows paths map below \$ZELT_ROOT as in the logger."
    exit 0
    ;;
--version)
    # The source tree keeps the version in CMakeLists.txt; an install beside its bin in share/.
    here=$(cd "$(dirname -- "$0")/.." && pwd)
    version=$(cat "$here/share/roruvivozo/VERSION" 2>/dev/null ||
        sed -n 's/^project(RORUVivozo VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt" 2>/dev/null)
    printf 'makerinex.bat %s\n' "${version:-unknown}"
    exit 0
    ;;
esac
if [ "$#" -ne 2 ]; then
    echo "usage: makerinex.bat LOGFILE RINEXFILE" >&2
    exit 2
fi

# In the shell alone, without sed or tr, so that the input is open within moments of the start.
native_path() {
    path=$1
    while :; do
        case "$path" in
        *\\*) path="${path%%\\*}/${path#*\\}" ;;
        *) break ;;
        esac
    done
    case "$path" in
    [A-Za-z]:*)
        drive=${path%"${path#?}"}
        upper=ABCDEFGHIJKLMNOPQRSTUVWXYZ
        lower=abcdefghijklmnopqrstuvwxyz
        case "$upper" in
        *"$drive"*)
            before=${upper%%"$drive"*}
            while [ -n "$before" ]; do
                before=${before#?}
                lower=${lower#?}
            done
            drive=${lower%"${lower#?}"}
            ;;
        esac
        rest=${path#??}
        case "$rest" in /*) ;; *) rest="/$rest" ;; esac
        path="${ZELT_ROOT:-}/$drive$rest"
        ;;
    esac
    printf '%s\n' "$path"
}

log=$(native_path "$1")
# Opened at once and read through this descriptor: the logger may move the file aside and start a
# new one under its name while the conversion runs.
opened=1
command exec 3< "$log" 2> /dev/null || opened=0
rinex=$(native_path "$2")
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
    printf 'makerinex.bat: no date in RINEX name %s\n' "$2" > "${rinex%.*}.log"
    exit 1
fi

# Navigation files share the observation file's stem: ".08o" beside ".08n" (GPS) and ".08g" (GLONASS).
ext=${rinex##*.}
stem=${rinex%.*}
nav_ext="${ext%?}n"
gnav_ext="${ext%?}g"

# Two log files may start at the same second: an existing RINEX file is never replaced. The ".log"
# is created only where none exists (noclobber), so two conversions never pick the same name.
taken() {
    [ -e "$1.$ext" ] || [ -e "$1.$nav_ext" ] || [ -e "$1.$gnav_ext" ]
}
reserve() {
    (set -C && : > "$1.log") 2>/dev/null || return 1
    if taken "$1"; then
        rm -f -- "$1.log"
        return 1
    fi
}
counter=0
base=$stem
while ! reserve "$stem"; do
    counter=$((counter + 1))
    if [ "$counter" -gt 9999 ]; then
        printf 'makerinex.bat: no free RINEX name beside %s\n' "$2" >&2
        exit 1
    fi
    stem="${base}_$counter"
done
report="$stem.log"
written=$2
if [ "$counter" -ne 0 ]; then
    written="${2%.*}_$counter.${2##*.}"
    printf 'makerinex.bat: %s exists, writing %s instead\n' "$2" "$written" >> "$report"
fi
rinex="$stem.$ext"
if [ "$opened" -eq 0 ]; then
    printf 'makerinex.bat: can not open %s\n' "$1" >> "$report"
    exit 1
fi

# Write beside the targets and rename at the end, so that a RINEX file that exists is complete.
partial="$rinex.part"
nav_partial="$stem.$nav_ext.part"
gnav_partial="$stem.$gnav_ext.part"
# rtcm3scan, shipped beside this script, tells which observations the file begins with.
station=${RTCM_STATION_ID:-0}
version=2.11
station_option=
if [ "$(rtcm3scan --kind --station "$station" /dev/fd/3 2>/dev/null)" = msm ]; then
    version=3.04
    station_option="-STA=$station"
fi
convbin -r rtcm3 -v "$version" ${station_option:+-ro "$station_option"} -os -tr "$day" "$time" -o "$partial" \
    -n "$nav_partial" -g "$gnav_partial" /dev/fd/3 >> "$report" 2>&1
status=$?
if [ "$status" -ne 0 ] || ! grep -q "END OF HEADER" "$partial" 2>/dev/null; then
    printf 'makerinex.bat: convbin failed (status %s) on %s\n' "$status" "$1" >> "$report"
    rm -f -- "$partial" "$nav_partial" "$gnav_partial"
    exit 1
fi
# A navigation file only where the log held ephemerides: records after its header. The observation
# file comes last: once it exists, the conversion is complete.
navs=
for nav in "$nav_ext" "$gnav_ext"; do
    part="$stem.$nav.part"
    if [ -s "$part" ] && sed '1,/END OF HEADER/d' "$part" | grep -q .; then
        mv -f -- "$part" "$stem.$nav" || exit 1
        navs="$navs $nav"
    else
        rm -f -- "$part"
    fi
done
mv -f -- "$partial" "$rinex" || exit 1
printf 'makerinex.bat: wrote %s\n' "$written" >> "$report"
for nav in $navs; do
    printf 'makerinex.bat: wrote %s\n' "${written%.*}.$nav" >> "$report"
done
exit 0
