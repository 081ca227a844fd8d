#!/usr/bin/env bash
# Resident size (VmRSS, and its peak VmHWM) of the idle headless service with
# 35 + 35 entries (examined, with thumbnails): once idle after start, once
# idle again after a phone has fetched both lists, a thumbnail and a 1 MiB range,
# and once while 1,000 idle HTTP connections are kept open against it (from
# 127.0.0.2 to 127.0.0.9, 125 each, within the per-address limit). The
# service holds at most 256 connections that owe a request head and closes
# the oldest for a new one; the holder opens those again (200 a second), so
# the service works at its fullest.
# Targets: idle under 24 MiB; with the 1,000 connections under 48 MiB.
# Usage: bench/memory.sh [RUNS]   (default 2; about 10 s a run)
#   BENCH_BUILD=DIR measures the zorvex already built in DIR.
set -uo pipefail
source "$(dirname "$0")/common.sh"

RUNS=${1:-2}
IDLE_SECONDS=3
if [[ $SMOKE == 1 ]]; then RUNS=1 IDLE_SECONDS=1; fi

TMP=$(mktemp -d /tmp/zorvex-bench-memory.XXXXXX)
HOLDER_PID=
stop_holder() {
    if [[ -n $HOLDER_PID ]]; then
        kill -TERM "$HOLDER_PID" 2>/dev/null
        wait "$HOLDER_PID" 2>/dev/null
        HOLDER_PID=
    fi
}
cleanup() {
    stop_holder
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
status_kib() {  # status_kib FIELD: the field of /proc/<pid>/status in KiB
    awk -v f="$1:" '$1 == f { print $2 }' "/proc/$ZORVEX_PID/status"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

declare -a RSS_IDLE RSS_USED RSS_HELD HWM
EXPECT_ENTRIES=35
make_sample_video "$TMP/sample.mp4" || exit 1
# One video large enough for a range request.
make_sample_video "$TMP/stream.mp4" 1 640x360 || exit 1
for run in $(seq "$RUNS"); do
    home="$TMP/home$run" videos="$TMP/videos$run"
    mapfile -t shares < <("$BIN/zorvex-bench-home" --home "$home" --videos "$videos" \
        --sample "$TMP/sample.mp4")
    [[ ${#shares[@]} -eq 35 ]] || { echo "could not prepare the home folder" >&2; exit 1; }
    cp "$TMP/stream.mp4" "${shares[0]}"
    key=$(printf '%s' "${shares[0]}" | md5sum | cut -c1-32)
    start_zorvex "$home" /dev/null --share "${shares[@]}" || exit 1
    sleep "$IDLE_SECONDS"
    idle=$(status_kib VmRSS)
    split="anonymous $(mib "$(status_kib RssAnon)"), file $(mib "$(status_kib RssFile)")"
    threads=$(awk '$1 == "Threads:" { print $2 }' "/proc/$ZORVEX_PID/status")
    ok=$(curl -s -o /dev/null -w '%{http_code}' "http://$ADDRESS:11717/image/$key.jpg")
    ok+=" $(curl -s -o /dev/null -w '%{http_code} %{size_download}' -r 0-1048575 "http://$ADDRESS:11717/$key")"
    [[ $ok == "200 206 1048576" ]] || { echo "the service answered $ok" >&2; exit 1; }
    [[ $(lists_state) == "35 35 35 35 35 35" ]] || { echo "the lists changed" >&2; exit 1; }
    sleep "$IDLE_SECONDS"
    used=$(status_kib VmRSS)
    "$BIN/zorvex-idle-clients" --host "$ADDRESS" --port 11717 --count 1000 --seconds 60 \
        --from 127.0.0.2,127.0.0.3,127.0.0.4,127.0.0.5,127.0.0.6,127.0.0.7,127.0.0.8,127.0.0.9 \
        >"$TMP/holder.log" 2>&1 &
    HOLDER_PID=$!
    # All 1,000 opened at least once (at 200 a second), then a while held.
    sleep 5
    sleep "$IDLE_SECONDS"
    heldCount=$(tail -n1 "$TMP/holder.log")
    held=$(status_kib VmRSS)
    hwm=$(status_kib VmHWM)
    stop_holder
    stop_zorvex
    [[ $heldCount =~ ^held\ [1-9] ]] || { echo "no idle connection was held ($heldCount)" >&2; exit 1; }
    RSS_IDLE+=("$(mib "$idle")")
    RSS_USED+=("$(mib "$used")")
    RSS_HELD+=("$(mib "$held")")
    HWM+=("$(mib "$hwm")")
    echo "run $run: VmRSS idle $(mib "$idle") MiB, idle after a phone $(mib "$used") MiB," \
        "with 1,000 idle connections kept open $(mib "$held") MiB (${heldCount} at that moment)," \
        "VmHWM $(mib "$hwm") MiB;" \
        "idle: $split MiB; $threads threads"
done

echo
echo "idle headless service, 35 + 35 entries, $RUNS runs, median (min-max):"
echo "  VmRSS idle after start      $(spread "${RSS_IDLE[@]}") MiB"
echo "  VmRSS idle after a phone    $(spread "${RSS_USED[@]}") MiB"
echo "  VmRSS with 1,000 idle conns $(spread "${RSS_HELD[@]}") MiB"
echo "  VmHWM                       $(spread "${HWM[@]}") MiB"
worst=$(printf '%s\n' "${RSS_IDLE[@]}" "${RSS_USED[@]}" | sort -g | tail -n1)
echo "target: idle VmRSS under 24 MiB: $(verdict "$worst" '<' 24)"
worst=$(printf '%s\n' "${RSS_HELD[@]}" | sort -g | tail -n1)
echo "target: VmRSS with 1,000 idle connections under 48 MiB: $(verdict "$worst" '<' 48)"
