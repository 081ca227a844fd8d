#!/usr/bin/env bash
# Link protocol under 64 polling phones: request latency (p50, p99) and the
# service's CPU, with its console to /dev/null and to a file. Then one phone
# polling 50 rounds a second beside 8 that ask for full lists every
# millisecond and never read (the service closes them, they come back).
# Last, lists under load: 64 phones polling 10 rounds a second while 8
# players stream 1 MiB ranges of a video over HTTP and FFmpeg converts a
# 1080p video beside the service, as a queued conversion would.
# Targets: p99 under 1 ms, CPU under 5 % of one core; beside the stalled
# phones, p99 under 10 ms; under load, p99 under 20 ms.
# Usage: bench/link_bench.sh [ROUNDS]   (default 2; about 12 s per run, 2 runs a round)
#   BENCH_BUILD=DIR measures the zorvex already built in DIR (with the bench helpers).
set -uo pipefail
source "$(dirname "$0")/common.sh"

ROUNDS=${1:-2}
SECONDS_PER_RUN=10
if [[ $SMOKE == 1 ]]; then ROUNDS=1 SECONDS_PER_RUN=2; fi

TMP=$(mktemp -d /tmp/zorvex-bench-link.XXXXXX)
cleanup() {
    stop_zorvex
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ -n ${BENCH_BUILD:-} ]]; then
    BIN="$BENCH_BUILD/bin"
else
    echo "building the release service in $BUILD"
    build_release || exit 1
fi
require_free_ports 11717 11718 || exit 1
make_sample_video "$TMP/sample.mp4" || exit 1
mapfile -t SHARES < <("$BIN/zorvex-bench-home" --home "$TMP/home" --videos "$TMP/videos" \
    --sample "$TMP/sample.mp4")
[[ ${#SHARES[@]} -eq 35 ]] || { echo "could not prepare the home folder" >&2; exit 1; }

make_sample_video "$TMP/stream.mp4" 10 640x360 || exit 1
STREAM_SIZE=$(stat -c %s "$TMP/stream.mp4")
EXPECT_ENTRIES=35
declare -A P50 P99 CPU
STALLED_P99=
STALLED_CLOSED=
run_stalled() {
    start_zorvex "$TMP/home" /dev/null --share "${SHARES[@]}" || return 1
    local result status
    result=$("$BIN/zorvex-link-latency" --host "$ADDRESS" --connections 1 --stalled 8 --rate 50 \
        --seconds "$SECONDS_PER_RUN" --pid "$ZORVEX_PID")
    status=$?
    stop_zorvex
    echo "$result" | sed "s/^/  [stalled] /" | grep -v RESULT
    [[ $status -eq 0 ]] || { echo "  [stalled] the live phone had errors" >&2; return 1; }
    local line
    line=$(echo "$result" | grep '^RESULT')
    STALLED_P99+="$(echo "$line" | sed -E 's/.* p99_ms=([0-9.]+).*/\1/') "
    STALLED_CLOSED+="$(echo "$line" | sed -E 's/.*stalled_closed=([0-9]+).*/\1/') "
}

LOADED_P99=
run_loaded() {
    # A home of its own, where the stream takes the place of one video (a home
    # holds at most 70), waited for below.
    [[ -d $TMP/home-loaded ]] || cp -a "$TMP/home" "$TMP/home-loaded"
    EXPECT_ENTRIES= start_zorvex "$TMP/home-loaded" /dev/null --unshare "${SHARES[-1]}" \
        --share "${SHARES[@]:0:34}" "$TMP/stream.mp4" || return 1
    # The stream's key: the one video of its size.
    local base="http://$ADDRESS:11717" key url= tries
    for tries in $(seq 50); do
        for key in $(curl -s "$base/" | grep -oE 'href="[0-9a-f]{32}"' | cut -d'"' -f2); do
            curl -sI "$base/$key" | grep -qi "^content-length: $STREAM_SIZE" && url="$base/$key"
        done
        [[ -n $url ]] && break
        sleep 0.2
    done
    [[ -n $url ]] || { echo "  [loaded] the stream is not served" >&2; stop_zorvex; return 1; }
    local load=() i
    for i in $(seq 8); do
        (while :; do
            at=$((RANDOM * 32768 % STREAM_SIZE))
            curl -s -o /dev/null -r "$at-$((at + 1048575))" "$url" || sleep 0.1
        done) &
        load+=($!)
    done
    ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=30 -t 600 -c:v libx264 \
        -preset veryfast -f null - &
    load+=($!)
    local result status
    result=$("$BIN/zorvex-link-latency" --host "$ADDRESS" --connections 64 --rate 10 \
        --seconds "$SECONDS_PER_RUN" --pid "$ZORVEX_PID")
    status=$?
    kill "${load[@]}" 2>/dev/null
    wait "${load[@]}" 2>/dev/null
    stop_zorvex
    echo "$result" | sed "s/^/  [loaded] /" | grep -v RESULT
    [[ $status -eq 0 ]] || { echo "  [loaded] the run had errors" >&2; return 1; }
    LOADED_P99+="$(echo "$result" | grep '^RESULT' | sed -E 's/.* p99_ms=([0-9.]+).*/\1/') "
}

run_once() {
    local console=$1 out
    if [[ $console == null ]]; then out=/dev/null; else out="$TMP/console.txt"; fi
    start_zorvex "$TMP/home" "$out" --share "${SHARES[@]}" || return 1
    local result
    result=$("$BIN/zorvex-link-latency" --host "$ADDRESS" --connections 64 --rate 20 \
        --seconds "$SECONDS_PER_RUN" --pid "$ZORVEX_PID")
    local status=$?
    stop_zorvex
    echo "$result" | sed "s/^/  [$console] /" | grep -v RESULT
    [[ $status -eq 0 ]] || { echo "  [$console] the run had errors" >&2; return 1; }
    local line
    line=$(echo "$result" | grep '^RESULT')
    P50[$console]+="$(echo "$line" | sed -E 's/.*p50_ms=([0-9.]+).*/\1/') "
    P99[$console]+="$(echo "$line" | sed -E 's/.* p99_ms=([0-9.]+).*/\1/') "
    CPU[$console]+="$(echo "$line" | sed -E 's/.*cpu_pct=([-0-9.]+).*/\1/') "
    if [[ $console == file ]]; then
        echo "  [file] console output $(stat -c %s "$TMP/console.txt") bytes"
    fi
}

for round in $(seq "$ROUNDS"); do
    echo "round $round"
    # Alternate the order so that the machine's other load falls on both alike.
    if (( round % 2 )); then order="null file"; else order="file null"; fi
    for console in $order; do
        run_once "$console" || exit 1
    done
    run_stalled || exit 1
    run_loaded || exit 1
done

echo
echo "link protocol, 64 connections x 20 rounds/s x 2 lists, ${SECONDS_PER_RUN} s, $ROUNDS runs each:"
echo "median (min-max)"
for console in null file; do
    read -ra p50 <<<"${P50[$console]}"
    read -ra p99 <<<"${P99[$console]}"
    read -ra cpu <<<"${CPU[$console]}"
    SPREAD_FORMAT=%.3f
    printf '  stdout to %-9s p50 %s ms  p99 %s ms' \
        "$([[ $console == null ]] && echo /dev/null || echo a\ file)" \
        "$(spread "${p50[@]}")" "$(spread "${p99[@]}")"
    SPREAD_FORMAT=%.1f
    printf '  cpu %s %%\n' "$(spread "${cpu[@]}")"
done
read -ra p99 <<<"${P99[null]}"
read -ra cpu <<<"${CPU[null]}"
read -ra stalledP99 <<<"$STALLED_P99"
read -ra stalledClosed <<<"$STALLED_CLOSED"
SPREAD_FORMAT=%.3f
printf '  beside 8 stalled phones p99 %s ms; stalled phones closed %s times a run\n' \
    "$(spread "${stalledP99[@]}")" "$(SPREAD_FORMAT=%.0f spread "${stalledClosed[@]}")"
read -ra loadedP99 <<<"$LOADED_P99"
printf '  under load (8 range streams, FFmpeg converting) p99 %s ms\n' "$(spread "${loadedP99[@]}")"
echo "targets (stdout to /dev/null, medians):"
echo "  p99 under 1 ms: $(verdict "$(median "${p99[@]}")" '<' 1)"
echo "  cpu under 5 % of one core: $(verdict "$(median "${cpu[@]}")" '<' 5)"
worst=$(printf '%s\n' "${stalledP99[@]}" | sort -g | tail -n1)
echo "  beside 8 stalled phones, p99 under 10 ms (worst run): $(verdict "$worst" '<' 10)"
worst=$(printf '%s\n' "${loadedP99[@]}" | sort -g | tail -n1)
echo "  under load, p99 under 20 ms (worst run): $(verdict "$worst" '<' 20)"
