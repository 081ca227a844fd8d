#!/usr/bin/env bash
# The installed package against the build folder: the same release build,
# once run from build-bench-ui/bin and once from the package unpacked into a
# scratch root (dpkg -x, no system install), over the same library of 70
# cards and 20 finished tasks, under Xvfb with openbox.
#   bench/installed_start.sh [ROUNDS]   (default 5)
#   BENCH_BUILD=DIR packs and compares the build already in DIR.
# - Process start to the main window's appearance on the desktop (openbox
#   lists it in _NET_CLIENT_LIST once it is mapped, right before its first
#   paint), watched with xprop -spy.
# - Resident memory once the cards are examined (5 s after that).
# The service runs on BENCH_ADDRESS (127.0.0.1) only.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
rounds="${1:-5}" settle=5
if [ "$SMOKE" = 1 ]; then rounds=1 settle=1; fi
require_free_ports 11717 11718
if [ -n "${BENCH_BUILD:-}" ]; then
  build=$(realpath "$BENCH_BUILD")
else
  build=$PWD/build-bench-ui
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZORVEX_BUILD_UI=ON -DZORVEX_BUILD_TESTS=OFF \
    -DZORVEX_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j2 >/dev/null
fi
# cpack installs the whole build, building what is out of date first.
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/zorvex_*_amd64.deb | head -n 1)
work="$(mktemp -d /tmp/zorvex-bench-installed.XXXXXX)"
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
dpkg -x "$deb" "$work/root"

start_xvfb
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
openbox >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q '#' && break; sleep 0.05; done

ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 -t 2 -c:v libx264 \
  -preset ultrafast "$work/card.mp4"
# The size the application makes its thumbnails in: a card keeps its picture
# decoded, so larger ones would be measured as memory the application never holds.
ffmpeg -v error -y -i "$work/card.mp4" -frames:v 1 -s 128x72 "$work/thumb.jpg"
"$build/bin/zorvex-app-bench" prepare "$work/home" "$work/card.mp4" "$work/thumb.jpg" "$work/card.mp4"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# measure EXE: prints "appear_ms rss_mib"
measure() {
  local exe=$1 home="$work/run-home"
  rm -rf "$home" && cp -a "$work/home" "$home"
  : >"$work/spy"
  # Its lines stamped as they come; $! is xprop's own, so that it alone is
  # stopped (the stamping ends with it).
  xprop -root -spy _NET_CLIENT_LIST > >(while read -r line; do echo "$(now_ms) $line"; done >"$work/spy") &
  local xprop=$!
  sleep 0.3
  local start
  start=$(now_ms)
  "$exe" --address "$ADDRESS" --home "$home" >"$work/app.log" 2>&1 &
  local pid=$!
  local shown=""
  for _ in $(seq 300); do
    shown=$(awk '/0x/ { print $1; exit }' "$work/spy")
    [ -n "$shown" ] && break
    sleep 0.05
  done
  kill "$xprop" 2>/dev/null || true
  [ -n "$shown" ] || { cat "$work/app.log" >&2; echo "the window did not appear" >&2; exit 1; }
  sleep "$settle"
  local rss
  rss=$(awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$((shown - start)) $rss"
}

declare -A appear=() rss=()
for ((i = 0; i < rounds; i++)); do
  for where in build installed; do
    exe="$build/bin/zorvex"
    [ "$where" = installed ] && exe="$work/root/usr/bin/zorvex"
    read -r a r < <(measure "$exe")
    appear[$where]+="$a "
    rss[$where]+="$r "
  done
done
for where in build installed; do
  echo "$where copy: process start to the window on the desktop $(SPREAD_FORMAT=%.0f spread ${appear[$where]}) ms," \
    "resident memory with 70 cards, ${settle} s after $(SPREAD_FORMAT=%.1f spread ${rss[$where]}) MiB"
done
