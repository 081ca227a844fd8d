# shellcheck shell=bash
# Shared by the benchmark scripts: the release build, a headless service on
# loopback, and small statistics. Sourced, not run.

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(dirname "$BENCH_DIR")
BUILD="$REPO/build-bench"
BIN="$BUILD/bin"
# BENCH_SMOKE=1: one short round on small clips, which proves that a script
# and its programs still work; its figures mean nothing.
SMOKE=${BENCH_SMOKE:-0}
# Loopback only: the service broadcasts to its address's .255 every second.
# BENCH_ADDRESS picks another 127.x.y.z where 127.0.0.1 is busy.
ADDRESS=${BENCH_ADDRESS:-127.0.0.1}
[[ $ADDRESS =~ ^127\.[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,3}$ ]] ||
    { echo "BENCH_ADDRESS must be a loopback address (127.x.y.z)" >&2; exit 2; }

# The windows' release build (build-bench-ui/) with the targets named, or,
# with BENCH_BUILD set, that build as it is. Sets UI_BIN.
build_release_ui() {
    if [[ -n ${BENCH_BUILD:-} ]]; then
        UI_BIN="$BENCH_BUILD/bin"
        return
    fi
    local build="$REPO/build-bench-ui"
    echo "building the release application in $build"
    cmake -S "$REPO" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZORVEX_BUILD_UI=ON \
        -DZORVEX_BUILD_TESTS=OFF -DZORVEX_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" -j2 --target "$@" >/dev/null
    UI_BIN="$build/bin"
}

# start_xvfb: an X server on a display nobody else uses; sets DISPLAY and
# XVFB_PID for stop_xvfb.
start_xvfb() {
    local number
    number=$(mktemp /tmp/zorvex-bench-display.XXXXXX)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 200); do
        [[ -s $number ]] && break
        sleep 0.05
    done
    DISPLAY=":$(tr -d '\n' <"$number")"
    rm -f "$number"
    [[ $DISPLAY != ":" ]] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY
}

stop_xvfb() {
    if [[ -n ${XVFB_PID:-} ]]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
}

build_release() {
    cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DZORVEX_BUILD_UI=OFF \
        -DZORVEX_BUILD_TESTS=OFF -DZORVEX_BUILD_BENCH=ON >/dev/null
    cmake --build "$BUILD" -j2 --target zorvex zorvex-phone zorvex-link-latency \
        zorvex-bench-home zorvex-idle-clients >/dev/null
}

# Another run (a test, a second benchmark) holding the LAN ports would be measured instead.
require_free_ports() {
    local port
    for port in "$@"; do
        # Listening on our address, or on every address.
        if ss -Hltn "sport = :$port" | awk '{ print $4 }' |
            grep -qE "^(${ADDRESS//./\\.}|0\.0\.0\.0|\*|\[::\]):$port\$"; then
            echo "port $port is taken on $ADDRESS; stop whatever listens there and run again" >&2
            return 1
        fi
    done
}

# start_zorvex HOME STDOUT [--share FILE...]: sets ZORVEX_PID and waits until
# the link answers; with EXPECT_ENTRIES set, until both lists hold that many
# entries, each present with its thumbnail, and stay so for a second (the
# library examines every video and makes its thumbnail after start).
start_zorvex() {
    local home=$1 out=$2
    shift 2
    "$BIN/zorvex" --headless --address "$ADDRESS" --home "$home" "$@" >"$out" 2>&1 &
    ZORVEX_PID=$!
    local last='' now n=${EXPECT_ENTRIES:-}
    for _ in $(seq 120); do
        if now=$(lists_state) && [[ -z $n || $now == "$n $n $n $n $n $n" ]]; then
            [[ -z $n || $now == "$last" ]] && return 0
            last=$now
            sleep 1
            continue
        fi
        last=
        kill -0 "$ZORVEX_PID" 2>/dev/null || break
        sleep 0.5
    done
    echo "zorvex did not come up on $ADDRESS with the lists expected" >&2
    stop_zorvex
    return 1
}

# "entries present thumbnails" for list 1, then for list 2.
lists_state() {
    local type answer state=
    for type in 1 2; do
        answer=$("$BIN/zorvex-phone" list --host "$ADDRESS" --type "$type" --timeout 1 2>/dev/null) ||
            return 1
        state+=$(awk 'NR == 1 { n = $4 } NR > 1 { e += $1; t += $2 } END { printf "%d %d %d ", n, e, t }' <<<"$answer")
    done
    echo "${state% }"
}

# make_sample_video FILE [SECONDS SIZE]: a video the library can examine;
# noise keeps a longer one from compressing to nothing.
make_sample_video() {
    command -v ffmpeg >/dev/null || { echo "ffmpeg is missing: run scripts/install-deps" >&2; return 1; }
    ffmpeg -v error -f lavfi -i "testsrc=size=${3:-160x90}:rate=25" -t "${2:-1}" \
        -vf noise=alls=60:allf=t -c:v mpeg4 -q:v 2 "$1"
}

stop_zorvex() {
    if [[ -n ${ZORVEX_PID:-} ]]; then
        kill -TERM "$ZORVEX_PID" 2>/dev/null
        # Bounded: a service that does not stop in 10 s is killed.
        for _ in $(seq 100); do
            kill -0 "$ZORVEX_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$ZORVEX_PID" 2>/dev/null
        wait "$ZORVEX_PID" 2>/dev/null
        ZORVEX_PID=
    fi
}

# "median (min-max)" of the numbers given.
spread() {
    printf '%s\n' "$@" | sort -g | awk -v fmt="${SPREAD_FORMAT:-%.2f}" '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "n/a"; exit }
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf fmt " (" fmt "-" fmt ")", m, v[1], v[NR]
        }'
}

median() {
    printf '%s\n' "$@" | sort -g | awk '
        { v[NR] = $1 }
        END { if (NR == 0) print 0; else print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# verdict VALUE OP LIMIT: "met" or "MISSED".
verdict() {
    awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN {
        ok = (op == ">=") ? v >= l : (op == "<") ? v < l : 0
        print ok ? "met" : "MISSED" }'
}
