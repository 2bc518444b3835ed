#!/usr/bin/env bash
# Creates a Zelt suite under ROOT (the ZELT_ROOT): the suite database, c:\temp and the unixODBC files
# that register the SQLite driver and the data source ZELTDB. No system file is touched.
#   scripts/create-suite.sh ROOT [--rebuild]
# An existing database is left alone unless --rebuild is given. Prints the export lines to use the suite.
# Installed as vivozo-create-suite, it takes the schema and content from share/roruvivozo/db beside its bin.
set -euo pipefail
here=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)

# The source tree keeps the files in db/ and the version in CMakeLists.txt; an install under share/.
if [ -f "$here/db/schema.sql" ]; then
    dbfiles="$here/db"
    version=$(sed -n 's/^project(RORUVivozo VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
else
    dbfiles="$here/share/roruvivozo/db"
    version=$(cat "$here/share/roruvivozo/VERSION" 2>/dev/null || true)
fi

usage() { echo "usage: $(basename "$0") ROOT [--rebuild]" >&2; exit 2; }
case "${1:-}" in
--help | -h)
    cat <<HELP
usage: $(basename "$0") ROOT [--rebuild]
Creates a Zelt suite under ROOT (the ZELT_ROOT): the suite database, c:\temp, the process log
configuration and the unixODBC files of the data source ZELTDB. An existing database is kept unless
--rebuild is given. Prints the export lines that point the logger at the suite.
HELP
    exit 0
    ;;
--version)
    echo "$(basename "$0") ${version:-unknown}"
    exit 0
    ;;
esac
[ $# -ge 1 ] || usage
root=$1
rebuild=0
[ "${2:-}" = "--rebuild" ] && rebuild=1
[ $# -le 2 ] || usage

mkdir -p "$root"
root=$(cd "$root" && pwd)

driver=${VIVOZO_SQLITE_ODBC_DRIVER:-/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so}
if [ ! -e "$driver" ]; then
    found=$(ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null | head -n 1 || true)
    [ -n "$found" ] || { echo "create-suite: SQLite ODBC driver not found (package libsqliteodbc)" >&2; exit 1; }
    driver=$found
fi

datadir="$root/c/ProgramData/Hollvik/zelt"
db="$datadir/zelt.db"
mkdir -p "$datadir" "$root/c/temp" "$root/odbc"
# The suite writes both "c:\temp" and "c:\Temp"; one folder, as on the workstation.
[ -e "$root/c/Temp" ] || ln -s temp "$root/c/Temp"

if [ "$rebuild" = 1 ] || [ ! -s "$db" ]; then
    # Build aside and move into place, so a half-built file never appears under the real name.
    tmp="$db.new.$$"
    rm -f "$tmp"
    sqlite3 -bail "$tmp" < "$dbfiles/schema.sql"
    sqlite3 -bail "$tmp" < "$dbfiles/content.sql"
    mv -f "$tmp" "$db"
fi

cat > "$root/odbc/odbcinst.ini" <<INI
[SQLite3]
Description=SQLite3 ODBC Driver
Driver=$driver
Setup=$driver
UsageCount=1
# Keep the driver loaded between connections instead of reloading it each time.
DontDLClose=1
INI

# NoCreat: a missing database file is an error, not a new empty database.
cat > "$root/odbc/odbc.ini" <<INI
[ZELTDB]
Description=Zelt suite database
Driver=SQLite3
Database=$db
Timeout=10000
NoCreat=1
StepAPI=0
SyncPragma=NORMAL
NoTXN=0
LongNames=0
INI

# Where the process log goes: the entry looks for this file in the suite data directory. Kept when it
# exists, so a user's own logging set-up survives a re-run.
logconfig="$datadir/log4cplus_configureGeneric.ini"
if [ ! -e "$logconfig" ]; then
    cat > "$logconfig" <<INI
# Process log of the suite's processes: start-up records and the trace.
log4cplus.rootLogger=DEBUG, ProcessLog
log4cplus.appender.ProcessLog=log4cplus::RollingFileAppender
log4cplus.appender.ProcessLog.File=$root/c/temp/RORUVivozo.log
log4cplus.appender.ProcessLog.MaxFileSize=10MB
log4cplus.appender.ProcessLog.MaxBackupIndex=5
log4cplus.appender.ProcessLog.layout=log4cplus::PatternLayout
log4cplus.appender.ProcessLog.layout.ConversionPattern=%D{%Y-%m-%d %H:%M:%S.%q} %-5p %c - %m%n
INI
fi

cat <<EXPORTS
export ZELT_ROOT='$root'
export ODBCSYSINI='$root/odbc'
export ODBCINI='$root/odbc/odbc.ini'
EXPORTS
