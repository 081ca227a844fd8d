#!/usr/bin/env bash
# Resident size (VmRSS, and its peak VmHWM) of the idle headless service with
# an empty home, and with 35 + 35 entries (examined, with thumbnails): once idle after start, once
# idle again after a phone has fetched both lists, a thumbnail and a 1 MiB range,
# and once while 1,000 idle HTTP connections are kept open against it (from
# 127.0.0.2 to 127.0.0.9, 125 each, within the per-address limit). The
# service holds at most 256 connections that owe a request head and closes
# the oldest for a new one; the holder opens those again (200 a second), so
# the service works at its fullest. Each idle service says whether it maps
# libcurl or MediaInfo (it should map neither: an update check and the
# probes' helper open them). Then the window over 70 cards (zorvex-app-bench
# examine, offscreen): settled VmRSS and the longest gap between 1 ms timer
# ticks from the first paint until the cards are examined.
# Targets: idle under 16 MiB; with the 1,000 connections under 20 MiB; the
# window settled under 56 MiB with no gap over 50 ms.
# Usage: bench/memory.sh [RUNS]   (default 10; about 20 s a run)
#   BENCH_BUILD=DIR measures the programs already built in DIR (the window
#   only when zorvex-app-bench is built there).
set -uo pipefail
source "$(dirname "$0")/common.sh"

RUNS=${1:-10}
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
    UI_BIN="$BIN"
else
    echo "building the release service in $BUILD"
    build_release || exit 1
    build_release_ui zorvex-app-bench || exit 1
fi
require_free_ports 11717 11718 || exit 1
status_kib() {  # status_kib FIELD: the field of /proc/<pid>/status in KiB
    awk -v f="$1:" '$1 == f { print $2 }' "/proc/$ZORVEX_PID/status"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
mapped() {  # which of libcurl and MediaInfo the service maps
    local maps
    maps=$(grep -oE 'libcurl[^/ ]*|libmediainfo[^/ ]*' "/proc/$ZORVEX_PID/maps" | sort -u | tr '\n' ' ')
    echo "${maps:-neither libcurl nor MediaInfo}"
}

declare -a RSS_EMPTY RSS_IDLE RSS_USED RSS_HELD HWM GUI_RSS GUI_GAP
make_sample_video "$TMP/sample.mp4" || exit 1
# One video large enough for a range request.
make_sample_video "$TMP/stream.mp4" 1 640x360 || exit 1
for run in $(seq "$RUNS"); do
    EXPECT_ENTRIES=0 start_zorvex "$TMP/empty$run" /dev/null || exit 1
    sleep "$IDLE_SECONDS"
    empty=$(status_kib VmRSS)
    emptyMaps=$(mapped)
    stop_zorvex
    RSS_EMPTY+=("$(mib "$empty")")

    EXPECT_ENTRIES=35
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
    maps=$(mapped)
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
    echo "run $run: VmRSS empty home $(mib "$empty") MiB ($emptyMaps), idle $(mib "$idle") MiB," \
        "idle after a phone $(mib "$used") MiB," \
        "with 1,000 idle connections kept open $(mib "$held") MiB (${heldCount} at that moment)," \
        "VmHWM $(mib "$hwm") MiB;" \
        "idle: $split MiB; $threads threads; maps $maps"
done

# The window over 70 cards, offscreen, on a home of its own each run.
GUI=0
if [[ -x $UI_BIN/zorvex-app-bench ]]; then
    GUI=1
    make_sample_video "$TMP/card.mp4" || exit 1
    ffmpeg -v error -y -i "$TMP/card.mp4" -frames:v 1 -s 128x72 "$TMP/thumb.jpg" || exit 1
    for run in $(seq "$RUNS"); do
        "$UI_BIN/zorvex-app-bench" prepare "$TMP/gui$run" "$TMP/card.mp4" "$TMP/thumb.jpg" \
            "$TMP/card.mp4" || exit 1
        line=$(QT_QPA_PLATFORM=offscreen "$UI_BIN/zorvex-app-bench" examine "$TMP/gui$run" \
            "$ADDRESS" 2>"$TMP/gui.log") || { cat "$TMP/gui.log" >&2; exit 1; }
        rss=$(awk '{ for (i = 1; i < NF; i++) if ($i == "rss_settled_mib") print $(i + 1) }' <<<"$line")
        gap=$(awk '{ for (i = 1; i < NF; i++) if ($i == "longest_gap_ms") print $(i + 1) }' <<<"$line")
        GUI_RSS+=("$rss")
        GUI_GAP+=("$gap")
        echo "window run $run: settled VmRSS $rss MiB, longest 1 ms timer gap $gap ms"
    done
fi

echo
echo "idle headless service, $RUNS runs, median (min-max):"
echo "  VmRSS idle, empty home      $(spread "${RSS_EMPTY[@]}") MiB"
echo "35 + 35 entries:"
echo "  VmRSS idle after start      $(spread "${RSS_IDLE[@]}") MiB"
echo "  VmRSS idle after a phone    $(spread "${RSS_USED[@]}") MiB"
echo "  VmRSS with 1,000 idle conns $(spread "${RSS_HELD[@]}") MiB"
echo "  VmHWM                       $(spread "${HWM[@]}") MiB"
if [[ $GUI == 1 ]]; then
    echo "window over 70 cards (offscreen), until they are examined:"
    echo "  VmRSS settled               $(spread "${GUI_RSS[@]}") MiB"
    echo "  longest 1 ms timer gap      $(spread "${GUI_GAP[@]}") ms"
else
    echo "window: not measured (zorvex-app-bench is not built in $UI_BIN)"
fi
worst=$(printf '%s\n' "${RSS_IDLE[@]}" "${RSS_USED[@]}" | sort -g | tail -n1)
echo "target: idle VmRSS under 16 MiB: $(verdict "$worst" '<' 16)"
worst=$(printf '%s\n' "${RSS_HELD[@]}" | sort -g | tail -n1)
echo "target: VmRSS with 1,000 idle connections under 20 MiB: $(verdict "$worst" '<' 20)"
if [[ $GUI == 1 ]]; then
    worst=$(printf '%s\n' "${GUI_RSS[@]}" | sort -g | tail -n1)
    echo "target: the window settled under 56 MiB: $(verdict "$worst" '<' 56)"
    worst=$(printf '%s\n' "${GUI_GAP[@]}" | sort -g | tail -n1)
    echo "target: no timer gap over 50 ms: $(verdict "$worst" '<' 50)"
fi
