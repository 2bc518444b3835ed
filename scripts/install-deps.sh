#!/usr/bin/env bash
# Installs every Debian package the logger, its tools and its tests need. Safe to run again.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config git
    file dpkg-dev adduser
    libace-dev
    libboost-dev libboost-system-dev libboost-date-time-dev
    liblog4cplus-dev
    libsystemd-dev
    qtbase5-dev libqt5sql5-sqlite
    libsqlite3-dev sqlite3
    unixodbc unixodbc-dev libsqliteodbc
    libfmt-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    rtklib gnuplot-nox fonts-dejavu-core socat iproute2 util-linux procps faketime curl chromium
    systemd strace tmux python3-prometheus-client
    clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
