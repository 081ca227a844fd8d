#!/usr/bin/env bash
# The library and conversion views under load (zorvex-views-bench), offscreen,
# on clips made here; it stops by itself.
#   bench/views_bench.sh [ROUNDS]     (default 3)
# - 70 cards (35 sources, 35 conversions) rebuilt from the catalogue: the time
#   from BuildFromCatalogue to the first complete paint of the visible grid
#   (target < 200 ms); then, starting without thumbnails, the GUI thread's
#   longest stall while all 70 are examined and their thumbnails made (target
#   < 16 ms): the longest gap between 1 ms timer ticks, and the longest single
#   event (wall and the GUI thread's own CPU time, which another program's
#   load does not inflate).
# - One conversion running (20 s of 1080p by the real FFmpeg, then a stand-in
#   FFmpeg that floods progress lines): the GUI thread's CPU time over the
#   conversion's wall time, in percent of one core (target < 2 %), and the
#   progress repaints per second (at most 10). The conversion is asked for
#   as a user does: the clip added, ticked and "转码" clicked, through the
#   windows' session.
#   BENCH_BUILD=DIR runs the zorvex-views-bench already built in DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
rounds="${1:-3}"
clipSeconds=20 floodLines=20000 niceRound=1
if [ "$SMOKE" = 1 ]; then rounds=1 clipSeconds=1 floodLines=500 niceRound=0; fi
build_release_ui zorvex-views-bench
tool="$UI_BIN/zorvex-views-bench"
work="$(mktemp -d /tmp/zorvex-bench-views.XXXXXX)"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
export QT_QPA_PLATFORM=offscreen

echo "making clips in $work ..."
ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 -t "$clipSeconds" -c:v libx264 \
  -preset ultrafast "$work/card.mp4"
ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=24 -f lavfi -i sine=frequency=440 \
  -t "$clipSeconds" -c:v libx264 -preset veryfast -c:a aac -shortest "$work/source.mp4"
# Progress lines far faster than FFmpeg writes them (about 1500 a second for
# some 13 s), then a finished output: the source itself, which the queue's
# check of the output's length takes. The card's thumbnail is FFmpeg's own.
cat >"$work/flood-ffmpeg" <<SH
#!/bin/sh
lines=$floodLines
SH
cat >>"$work/flood-ffmpeg" <<'SH'
case "$*" in *-encoders*) echo " A..... aac"; exit 0 ;; *image2*) exec ffmpeg "$@" ;; esac
source= previous=
for last; do
  [ "$previous" = -i ] && source=$last
  previous=$last
done
i=0
while [ $i -lt $lines ]; do
  printf 'frame=%d fps=25 size=1kB time=00:00:%02d.%02d bitrate=1\r' $i $((i / 1000)) $((i % 100)) >&2
  i=$((i + 1))
  [ $((i % 20)) -eq 0 ] && sleep 0.01
done
cp "$source" "$last"
SH
chmod +x "$work/flood-ffmpeg"

# The thumbnails' FFmpeg at the lowest priority, to show how much of a stall
# is the machine being taken by 70 FFmpeg processes at once.
printf '#!/bin/sh\nexec nice -n 19 ffmpeg "$@"\n' >"$work/nice-ffmpeg"
chmod +x "$work/nice-ffmpeg"

field() { awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }'; }
thumbnailers=(ffmpeg)
[ "$niceRound" = 1 ] && thumbnailers+=("$work/nice-ffmpeg")
for thumbnails in "${thumbnailers[@]}"; do
  declare -A v=()
  keys=(first_complete_paint_ms build_ms warm_event_ms warm_event_cpu_ms cold_build_ms
    cold_build_cpu_ms longest_event_ms longest_event_cpu_ms longest_gap_ms)
  for ((i = 0; i < rounds; i++)); do
    line=$("$tool" cards "$work/card.mp4" "$thumbnails" 2>/dev/null) ||
      { echo "zorvex-views-bench cards failed: $line" >&2; exit 1; }
    for k in "${keys[@]}"; do v[$k]+="$(field "$k" <<<"$line") "; done
  done
  s() { spread ${v[$1]}; }
  if [ "$thumbnails" = ffmpeg ]; then
    m=$(median ${v[first_complete_paint_ms]})
    echo "70 cards, BuildFromCatalogue to first complete paint: $(s first_complete_paint_ms) ms" \
      "(BuildFromCatalogue itself $(s build_ms) ms), target < 200: $(verdict "$m" '<' 200)"
    m=$(median ${v[warm_event_ms]})
    echo "  then examined one by one: longest GUI event $(s warm_event_ms) ms" \
      "(CPU $(s warm_event_cpu_ms) ms), target < 16: $(verdict "$m" '<' 16)"
    label="FFmpeg as it is"
  else
    label="FFmpeg at nice 19"
  fi
  m=$(median ${v[longest_event_ms]})
  echo "70 cards without thumbnails ($label): BuildFromCatalogue $(s cold_build_ms) ms" \
    "(CPU $(s cold_build_cpu_ms) ms); while examined and thumbnailed, longest GUI event" \
    "$(s longest_event_ms) ms (CPU $(s longest_event_cpu_ms) ms), longest 1 ms timer gap" \
    "$(s longest_gap_ms) ms; target < 16: $(verdict "$m" '<' 16)"
done

for ffmpeg in ffmpeg "$work/flood-ffmpeg"; do
  share=() rate=()
  for ((i = 0; i < rounds; i++)); do
    line=$("$tool" progress "$work/source.mp4" "$ffmpeg" 2>/dev/null) ||
      { echo "zorvex-views-bench progress failed: $line" >&2; exit 1; }
    share+=("$(field gui_share_percent <<<"$line")")
    rate+=("$(field per_second <<<"$line")")
  done
  m=$(median "${share[@]}")
  label=$([ "$ffmpeg" = ffmpeg ] && echo "real FFmpeg, $clipSeconds s of 1080p" ||
    echo "stand-in writing $floodLines progress lines")
  SPREAD_FORMAT=%.3f
  echo "one conversion ($label): GUI thread $(spread "${share[@]}") % of a core," \
    "$(SPREAD_FORMAT=%.1f spread "${rate[@]}") progress repaints/s, target < 2 %: $(verdict "$m" '<' 2)"
  SPREAD_FORMAT=%.2f
done
