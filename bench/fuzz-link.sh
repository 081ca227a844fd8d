#!/usr/bin/env bash
# The libFuzzer targets under AddressSanitizer and UBSan, one million inputs
# each: link_parsers_fuzz (link frames, list bodies, link files, discovery
# packets), service_parse_fuzz (Service::parse on a client slot) and
# http_request_fuzz (the HTTP request path and Range header, the validators).
# Usage: bench/fuzz-link.sh [RUNS]   (default 1000000; a few minutes each)
set -uo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$REPO/build-fuzz"
RUNS=${1:-1000000}

TMP=$(mktemp -d /tmp/zorvex-bench-fuzz.XXXXXX)
# service_parse_fuzz makes its service a home folder of its own in /tmp.
before=$(ls -d /tmp/zorvex-fuzz-* 2>/dev/null | sort)
cleanup() {
    local after
    after=$(ls -d /tmp/zorvex-fuzz-* 2>/dev/null | sort)
    comm -13 <(echo "$before") <(echo "$after") | xargs -r rm -rf
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "building the fuzz targets with clang in $BUILD"
CC=clang CXX=clang++ cmake -S "$REPO" -B "$BUILD" -DZORVEX_BUILD_FUZZ=ON -DZORVEX_SANITIZE=address \
    -DZORVEX_BUILD_UI=OFF -DZORVEX_BUILD_TESTS=OFF >/dev/null || exit 1
cmake --build "$BUILD" -j2 --target link_parsers_fuzz service_parse_fuzz \
    http_request_fuzz >/dev/null || exit 1

status=0
for target in link_parsers_fuzz service_parse_fuzz http_request_fuzz; do
    log="$TMP/$target.log"
    # What the targets print (Service::parse dumps requests) is not wanted;
    # opening /dev/stdout again would truncate a log that this script writes.
    out=/dev/null
    start=$(date +%s)
    # Bounded in time as well as in inputs; findings land in the temporary folder.
    "$BUILD/bin/$target" -runs="$RUNS" -max_len=4200 -max_total_time=1200 \
        -artifact_prefix="$TMP/" -print_final_stats=1 >"$out" 2>"$log"
    code=$?
    seconds=$(( $(date +%s) - start ))
    done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n1)
    cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n1)
    if [[ $code -eq 0 && -n $done_line ]]; then
        echo "$target: ${done_line#Done } ($cov, ${seconds} s wall): no finding"
    else
        status=1
        echo "$target: FINDING or failure, exit $code after ${seconds} s; log follows"
        grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -n 20
        mkdir -p "$REPO/build-fuzz/findings"
        cp "$TMP"/crash-* "$TMP"/leak-* "$TMP"/timeout-* "$REPO/build-fuzz/findings/" 2>/dev/null &&
            echo "inputs kept in $REPO/build-fuzz/findings"
    fi
done
exit $status
