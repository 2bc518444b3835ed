#!/usr/bin/env bash
# Fuzzes the RTCM 3 decoder's feedByte and the driver's scan of a whole file with libFuzzer for a bounded time, seeded with the real captures.
# scripts/fuzz.sh [seconds]   (default 60; FUZZ_DIR overrides the build directory build-fuzz/)
# Any crash, sanitizer report or broken invariant fails the run and leaves the input in FUZZ_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=${FUZZ_DIR:-"$here/build-fuzz"}
captures=$(cmake -P "$here/cmake/Captures.cmake")
lib="$here/Libs/Rtcm3"

mkdir -p "$dir/corpus" "$dir/artifacts"
echo "=== fuzz: building $dir/FeedByteFuzz"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$lib/include" \
    "$lib"/src/*.cpp \
    -I"$here/Libs/Platform/include" "$here"/Libs/Platform/src/*.cpp \
    "$lib/fuzz/FeedByteFuzz.cpp" $(pkg-config --cflags --libs ACE) -o "$dir/FeedByteFuzz"

# The captures stay as shipped: the corpus grows in the build directory.
if [ -d "$captures" ]; then
    cp -f "$captures"/*.rtcm3 "$dir/corpus/" 2>/dev/null || true
fi

echo "=== fuzz: running for ${seconds}s"
ASAN_OPTIONS="halt_on_error=1:detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    "$dir/FeedByteFuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/artifacts/" -print_final_stats=1 "$dir/corpus" 2>"$dir/fuzz.log" || {
    status=$?
    tail -n 60 "$dir/fuzz.log" >&2
    echo "fuzz: the decoder failed (status $status); inputs in $dir/artifacts" >&2
    exit 1
}
grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+.*DONE)" "$dir/fuzz.log" || true
echo "=== fuzz: no failure in ${seconds}s"
