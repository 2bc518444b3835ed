#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a normal build and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer. Any failure or sanitizer report fails the run.
# Between the two, as root, the Debian package of the normal build is installed, run and removed again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"

export ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_leaks=1:suppressions=$here/scripts/sanitizer/asan.supp"
export LSAN_OPTIONS="suppressions=$here/scripts/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$here/scripts/sanitizer/ubsan.supp"

run_suite() {
    local dir=$1
    shift
    echo "=== building $dir"
    "$here/scripts/build.sh" "$dir" "$@"
    echo "=== testing $dir"
    (cd "$dir" && ctest --output-on-failure -j 2 --timeout 600)
}

run_suite "$here/build"
"$here/scripts/package-test.sh" "$here/build"
run_suite "$here/build-asan" -DVIVOZO_SANITIZE=ON

if [ -x "$here/scripts/fuzz.sh" ] && command -v clang++ >/dev/null 2>&1; then
    "$here/scripts/fuzz.sh"
fi
echo "all tests passed in both builds"
