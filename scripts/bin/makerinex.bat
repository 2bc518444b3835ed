#!/bin/sh
# makerinex.bat LOGFILE RINEXFILE
# Turns one RTCM 3 datagram log file into a RINEX observation file with RTKLIB's convbin, read from the
# reference station RTCM_STATION_ID (default 0) only: RINEX 2.11 when the file holds legacy GPS/GLONASS
# observations alone, 3.04 otherwise (RINEX 2.11 has no room for Galileo E5b or BeiDou). The logger
# starts it for every closed log file, telling it in its environment the version its scan decided
# (RINEX_VERSION), the station position it found (RINEX_APPROX_POSITION, x/y/z in metres) and the header
# labels of its tokens (RINEX_MARKER_NAME, RINEX_MARKER_NUMBER, RINEX_OBSERVER, RINEX_AGENCY); run by
# hand, it asks rtcm3scan, and writes 3.04 where it can not tell. Put your own earlier on the PATH to
# replace it.
# Paths may be in the suite's Windows form: backslash becomes '/', drive "X:" becomes "$ZELT_ROOT/x"
# (the logger's own mapping). Texts go out through printf only: echo would eat their backslashes.
# Writes signal strengths, and navigation files beside the observation file when the log holds
# ephemerides. What convbin reports goes to a ".log" beside the RINEX file. Exits non-zero on failure.
# Asked for an archive copy (RINEX_ARCHIVE_OBS, RINEX_ARCHIVE_NAV: its names, which the logger gives by
# the RINEX 3 long-name convention), it then also writes the same log file as RINEX 3.04, sampled to
# RINEX_ARCHIVE_INTERVAL seconds (0: as recorded), gzip-compressed; a copy it can not write is said in
# the .log, and leaves the suite's files and the exit status as they are.
set -u

case "${1:-}" in
--help | -h)
    printf '%s\n' "usage: makerinex.bat LOGFILE RINEXFILE" \
        "Converts the RTCM 3 log file LOGFILE into the RINEX observation file RINEXFILE with convbin" \
        "(RINEX 2.11 for legacy GPS/GLONASS observations alone, 3.04 otherwise), never replacing an" \
        "existing RINEX file; environment: RTCM_STATION_ID, RINEX_VERSION, RINEX_APPROX_POSITION," \
        "RINEX_MARKER_NAME, RINEX_MARKER_NUMBER, RINEX_OBSERVER, RINEX_AGENCY; an archive copy (RINEX 3.04," \
        "gzip) with RINEX_ARCHIVE_OBS, RINEX_ARCHIVE_NAV and RINEX_ARCHIVE_INTERVAL (seconds, 0: as recorded);" \
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
# The RINEX version: the logger's scan tells it (RINEX_VERSION); run by hand, rtcm3scan reads the whole
# file: 2.11 only for legacy GPS/GLONASS observations alone, 3.04 (which holds every system) otherwise.
station=${RTCM_STATION_ID:-0}
here=$(dirname -- "$0")
version=${RINEX_VERSION:-}
case "$version" in
2.11 | 3.04)
    printf 'makerinex.bat: RINEX %s, as the scan of the logger decided\n' "$version" >> "$report"
    ;;
*)
    scanner=
    # Beside this script (an install), in the build tree of a source tree, else on the PATH.
    for candidate in "$here/rtcm3scan" "$here/../../build/Apps/rtcm3scan/rtcm3scan" "$(command -v rtcm3scan)"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            scanner=$candidate
            break
        fi
    done
    kind=
    [ -n "$scanner" ] && kind=$("$scanner" --kind --station "$station" /dev/fd/3 2>/dev/null)
    case "$kind" in
    legacy | msm)
        version=3.04
        [ "$kind" = legacy ] && version=2.11
        printf 'makerinex.bat: RINEX %s, %s finds %s observations\n' "$version" "$scanner" "$kind" >> "$report"
        ;;
    *)
        version=3.04
        printf 'makerinex.bat: can not tell what %s holds (%s), writing RINEX 3.04, which holds every system\n' \
            "$1" "${scanner:-no rtcm3scan found}" >> "$report"
        ;;
    esac
    ;;
esac
# The header: the log file by the name the operator knows (convbin names only the descriptor it read),
# the labels of the suite's tokens, the station position the scan found. A RINEX COMMENT holds 60
# characters: a long name goes on in further COMMENT lines. The options collect in "$@".
log_name=$1
set -- -hc "log: $(printf '%.55s' "$log_name")"
rest=${log_name#"$(printf '%.55s' "$log_name")"}
while [ -n "$rest" ]; do
    chunk=$(printf '%.60s' "$rest")
    [ -n "$chunk" ] || break
    set -- "$@" -hc "$chunk"
    rest=${rest#"$chunk"}
done
# convbin splits OBSERVER / AGENCY at '/' and skips an empty part.
observer=$(printf '%s' "${RINEX_OBSERVER:-}" | tr / -)
agency=$(printf '%s' "${RINEX_AGENCY:-}" | tr / -)
[ -n "$observer$agency" ] && set -- "$@" -ho "${observer:- }/${agency:- }"
# No marker name given: the reference station's number, as convbin names a station whose position it
# has, so that no file goes without one.
set -- "$@" -hm "${RINEX_MARKER_NAME:-$(printf '%04d' "$station")}"
[ -n "${RINEX_MARKER_NUMBER:-}" ] && set -- "$@" -hn "$RINEX_MARKER_NUMBER"
[ -n "${RINEX_APPROX_POSITION:-}" ] && set -- "$@" -hp "$RINEX_APPROX_POSITION"
convbin -r rtcm3 -v "$version" -ro "-STA=$station" -os -tr "$day" "$time" "$@" -o "$partial" \
    -n "$nav_partial" -g "$gnav_partial" /dev/fd/3 >> "$report" 2>&1
status=$?
if [ "$status" -ne 0 ] || ! grep -q "END OF HEADER" "$partial" 2>/dev/null; then
    printf 'makerinex.bat: convbin failed (status %s) on %s\n' "$status" "$log_name" >> "$report"
    rm -f -- "$partial" "$nav_partial" "$gnav_partial"
    exit 1
fi
# No header line names a descriptor path. Through a second file, not sed -i, which would also set the
# file's owner: a call the service may not make.
without_descriptor() {
    sed '1,/END OF HEADER/{/^log: \/dev\/fd\/[0-9]* .*COMMENT *$/d}' "$1"
}
without_descriptor "$partial" > "$partial.header" && mv -f -- "$partial.header" "$partial" || exit 1
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

# The archive copy: convbin once more on the same descriptor's file (/dev/fd/3 opens it afresh), each
# file compressed into a hidden name beside its own and renamed, so that whoever takes the archive
# folder never finds half of one. An existing copy is never replaced.
no_archive() {
    printf 'makerinex.bat: archive copy not written: %s\n' "$1" >> "$report"
    rm -f -- "$copy" "$copy_nav" "${part:-}"
}
# archive_file WRITTEN RINEX: the RINEX file, compressed, becomes the archive file of that written name.
archive_file() {
    target=$(native_path "$1")
    part="$(dirname -- "$target")/.$(basename -- "$target").part"
    if ! (without_descriptor "$2" | gzip -n > "$part") 2>> "$report" || ! mv -f -- "$part" "$target"; then
        no_archive "can not write $1"
        return 1
    fi
    printf 'makerinex.bat: archived %s\n' "$1" >> "$report"
}
archive_copy() {
    copy="$stem.archive.part"
    copy_nav="$stem.archive-nav.part"
    folder=$(dirname -- "$(native_path "$RINEX_ARCHIVE_OBS")")
    for name in "$RINEX_ARCHIVE_OBS" "${RINEX_ARCHIVE_NAV:-}"; do
        if [ -n "$name" ] && [ -e "$(native_path "$name")" ]; then
            no_archive "$name exists"
            return
        fi
    done
    if ! mkdir -p -- "$folder" 2> /dev/null; then
        no_archive "can not create ${RINEX_ARCHIVE_OBS%\\*}"
        return
    fi
    sampling=
    case "${RINEX_ARCHIVE_INTERVAL:-0}" in
    '' | 0 | *[!0-9]*) ;;
    *) sampling="-ti $RINEX_ARCHIVE_INTERVAL" ;;
    esac
    # shellcheck disable=SC2086 # sampling is two words or none
    convbin -r rtcm3 -v 3.04 -ro "-STA=$station" -os -tr "$day" "$time" $sampling "$@" -o "$copy" \
        -n "$copy_nav" /dev/fd/3 >> "$report" 2>&1
    converted=$?
    if [ "$converted" -ne 0 ] || ! grep -q "END OF HEADER" "$copy" 2> /dev/null; then
        no_archive "convbin failed (status $converted)"
        return
    fi
    archive_file "$RINEX_ARCHIVE_OBS" "$copy" || return
    if [ -n "${RINEX_ARCHIVE_NAV:-}" ] && [ -s "$copy_nav" ] && sed '1,/END OF HEADER/d' "$copy_nav" | grep -q .; then
        archive_file "$RINEX_ARCHIVE_NAV" "$copy_nav" || return
    fi
    rm -f -- "$copy" "$copy_nav"
}
[ -n "${RINEX_ARCHIVE_OBS:-}" ] && archive_copy "$@"
exit 0
