#!/usr/bin/env bash
# Our conversion job and thumbnail worker beside the same FFmpeg commands run
# directly, and the time to probe 70 files. Everything runs locally on clips
# made here; it stops by itself.
#   bench/transcode_bench.sh [ROUNDS]     (default 3)
#   BENCH_BUILD=DIR runs the zorvex-transcode-bench already built in DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
rounds="${1:-3}"
clipSeconds=20 longSeconds=600
if [ "$SMOKE" = 1 ]; then rounds=1 clipSeconds=1 longSeconds=20; fi
if [ -n "${BENCH_BUILD:-}" ]; then
  tool="$BENCH_BUILD/bin/zorvex-transcode-bench"
else
  build=build-bench
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZORVEX_BUILD_UI=OFF -DZORVEX_BUILD_TESTS=OFF \
    -DZORVEX_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j2 --target zorvex-transcode-bench >/dev/null
  tool="$build/bin/zorvex-transcode-bench"
fi
work="$(mktemp -d /tmp/zorvex-bench-transcode.XXXXXX)"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

echo "making clips in $work ..."
ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=24 -f lavfi -i sine=frequency=440 \
  -t "$clipSeconds" -c:v libx264 -preset veryfast -c:a aac -shortest "$work/source.mp4"
# Ten minutes at 1080p with a key frame every five seconds, as cameras write them.
ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=2 -t "$longSeconds" -c:v libx264 \
  -preset ultrafast -g 10 "$work/ten-minutes.mp4"

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
now() { date +%s%N; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

mkdir -p "$work/ours" "$work/direct"
mapfile -t argv < <("$tool" args "$work/source.mp4" "$work/direct")
ours=(); direct=()
for ((i = 0; i < rounds; i++)); do
  rm -f "$work/ours/source.mp4" "$work/direct/source.mp4"
  line=$("$tool" convert "$work/source.mp4" "$work/ours") || { echo "our conversion: $line" >&2; exit 1; }
  ours+=("${line%% *}")
  start=$(now); "${argv[@]}" </dev/null >/dev/null 2>&1; direct+=("$(seconds $(($(now) - start)))")
done
o=$(printf '%s\n' "${ours[@]}" | median); d=$(printf '%s\n' "${direct[@]}" | median)
echo "conversion, $clipSeconds s of 1080p: ours ${o}s, direct ${d}s, ratio $(ratio "$o" "$d") (target <= 1.03)"

ours=(); direct=()
for ((i = 0; i < rounds + 2; i++)); do
  line=$("$tool" thumbnail "$work/ten-minutes.mp4" "$work/ours.jpg" $((longSeconds * 1000))) ||
    { echo "our thumbnail: $line" >&2; exit 1; }
  ours+=("${line%% *}")
  start=$(now)
  ffmpeg -ss 00:00:15 -i "$work/ten-minutes.mp4" -y -f image2 -s 128x72 -vframes 1 "$work/direct.jpg" \
    </dev/null >/dev/null 2>&1
  direct+=("$(seconds $(($(now) - start)))")
done
o=$(printf '%s\n' "${ours[@]}" | median); d=$(printf '%s\n' "${direct[@]}" | median)
echo "thumbnail of a $longSeconds s 1080p source: ours ${o}s, direct ${d}s, ratio $(ratio "$o" "$d") (target <= 1.10)"

mkdir -p "$work/seventy"
for i in $(seq 1 70); do ln "$work/source.mp4" "$work/seventy/video-$i.mp4"; done
for ((i = 0; i < rounds; i++)); do
  echo "probe of 70 files: $("$tool" probe "$work"/seventy/*.mp4) complete"
done
