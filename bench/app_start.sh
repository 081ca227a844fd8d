#!/usr/bin/env bash
# The application as main opens it (zorvex-app-bench), over a library of 70
# cards (35 videos, 35 conversions, all with thumbnails) and 20 finished
# tasks in ConvertList.xml; the LAN service on 127.0.0.1.
#   bench/app_start.sh [ROUNDS] [x11|offscreen]   (default 3, x11 under Xvfb)
# - Process start to the main window's first complete paint (target < 500 ms)
#   and, of that, main() to the paint.
# - Resident memory at the first paint and once everything settled (target
#   < 120 MiB), and the peak.
# - From the first paint until the cards are examined and a conversion of a
#   20 s 1080p video has finished: the GUI thread's longest event (wall, and
#   its own CPU time, which other programs' load does not inflate) and the
#   longest gap between 1 ms timer ticks, over all and after the first
#   second (the start's own burst of work), target < 16 ms.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
rounds="${1:-3}"
platform="${2:-x11}"
require_free_ports 11717 11718
build=build-bench-ui
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZORVEX_BUILD_UI=ON -DZORVEX_BUILD_TESTS=OFF \
  -DZORVEX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target zorvex-app-bench >/dev/null
tool="$PWD/$build/bin/zorvex-app-bench"
work="$(mktemp -d /tmp/zorvex-bench-app.XXXXXX)"
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$platform" = x11 ]; then
  display=:93
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -e /tmp/.X11-unix/X93 ] && break; sleep 0.05; done
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
else
  export QT_QPA_PLATFORM=offscreen
fi

echo "making clips in $work ..."
ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 -t 2 -c:v libx264 \
  -preset ultrafast "$work/card.mp4"
ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=24 -f lavfi -i sine=frequency=440 \
  -t 20 -c:v libx264 -preset veryfast -c:a aac -shortest "$work/big.mp4"
ffmpeg -v error -y -i "$work/card.mp4" -frames:v 1 -s 320x180 "$work/thumb.jpg"

field() { awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }'; }
keys=(start_to_paint_ms main_to_paint_ms rss_at_paint_mib rss_settled_mib peak_rss_mib later_gap_ms
  longest_event_ms longest_event_cpu_ms longest_gap_ms)
declare -A v=()
for ((i = 0; i < rounds; i++)); do
  home="$work/home-$i"
  "$tool" prepare "$home" "$work/card.mp4" "$work/thumb.jpg" "$work/big.mp4"
  # The file cache as a user's second start finds it: warm.
  line=$(cd "$work" && "$tool" run "$home" 2>"$work/run-$i.log") || {
    cat "$work/run-$i.log" >&2
    exit 1
  }
  for k in "${keys[@]}"; do v[$k]+="$(field "$k" <<<"$line") "; done
  echo "  round $((i + 1)): $line"
done
s() { spread ${v[$1]}; }
m=$(median ${v[start_to_paint_ms]})
echo "70 cards, 20 finished tasks ($platform): process start to first paint $(s start_to_paint_ms) ms" \
  "(main() to paint $(s main_to_paint_ms) ms), target < 500: $(verdict "$m" '<' 500)"
m=$(median ${v[rss_settled_mib]})
echo "  resident memory: at the first paint $(s rss_at_paint_mib) MiB, settled $(s rss_settled_mib) MiB," \
  "peak $(s peak_rss_mib) MiB; target < 120: $(verdict "$m" '<' 120)"
m=$(median ${v[longest_event_ms]})
echo "  cards examined while a 20 s 1080p conversion runs: longest GUI event $(s longest_event_ms) ms" \
  "(CPU $(s longest_event_cpu_ms) ms), longest 1 ms timer gap $(s longest_gap_ms) ms," \
  "after the first second $(s later_gap_ms) ms; target < 16: $(verdict "$m" '<' 16)"
