#!/usr/bin/env bash
# HTTP file service against nginx on loopback, serving the same files:
#   one 1 GiB download (throughput, curl),
#   64 connections asking for 1 MiB ranges at random offsets (throughput, wrk),
#   64 connections fetching a 4 KiB thumbnail (requests per second, wrk),
#   the same thumbnails while 1,000 idle connections from 127.0.0.2 are
#   held against the service (zorvex-idle-clients reopens those it loses).
#   the system calls each server makes per range request: 20 ranges of
#   256 KiB on one kept-alive connection, under strace, counting every call
#   of the threads that sent a body except their waits for events.
# Targets: download, ranges and thumbnails at least 1.0 of nginx's
# throughput, thumbnails at no more CPU per request than nginx's; at most 7
# system calls per range; under attack at least 0.8 of the unattacked
# thumbnail figure, with a p99 latency under 20 ms.
# Beside each figure, the server's CPU time for the work (from /proc; on
# loopback it includes delivering the bytes to the client).
# Usage: bench/http_vs_nginx.sh [ROUNDS]   (default 10; about 50 s a round)
#   BENCH_BUILD=DIR measures the zorvex already built in DIR (to try a change).
set -uo pipefail
source "$(dirname "$0")/common.sh"

ROUNDS=${1:-10}
RUN_SECONDS=${BENCH_SECONDS:-8}  # per wrk run; at most 15
(( RUN_SECONDS >= 1 && RUN_SECONDS <= 15 )) || { echo "BENCH_SECONDS must be 1 to 15" >&2; exit 2; }
if [[ $SMOKE == 1 ]]; then ROUNDS=1 RUN_SECONDS=1; fi
NGINX_PORT=18717
THUMB_SIZE=4096

install_if_missing() {
    local missing=()
    dpkg -s nginx-light >/dev/null 2>&1 || missing+=(nginx-light)
    command -v wrk >/dev/null || missing+=(wrk)
    command -v strace >/dev/null || missing+=(strace)
    [[ ${#missing[@]} -eq 0 ]] && return 0
    local sudo=
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    # The package would start nginx on port 80 of every address; it must not.
    local guard=
    if [[ ! -e /usr/sbin/policy-rc.d ]]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
        $sudo chmod 755 /usr/sbin/policy-rc.d
        guard=yes
    fi
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    local status=$?
    [[ -n $guard ]] && $sudo rm -f /usr/sbin/policy-rc.d
    return $status
}

TMP=
NGINX_PID=
ATTACK_PID=
stop_attack() {
    if [[ -n $ATTACK_PID ]]; then
        kill -TERM "$ATTACK_PID" 2>/dev/null
        wait "$ATTACK_PID" 2>/dev/null
        ATTACK_PID=
    fi
}
cleanup() {
    stop_attack
    stop_zorvex
    if [[ -n $NGINX_PID ]]; then
        kill -QUIT "$NGINX_PID" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$NGINX_PID" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$NGINX_PID" 2>/dev/null
        wait "$NGINX_PID" 2>/dev/null
    fi
    [[ -n $TMP ]] && rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

install_if_missing || { echo "cannot install nginx-light, wrk and strace" >&2; exit 1; }
if [[ -n ${BENCH_BUILD:-} ]]; then
    BIN="$BENCH_BUILD/bin"
else
    echo "building the release service in $BUILD"
    build_release || exit 1
fi
require_free_ports 11717 11718 "$NGINX_PORT" || exit 1

TMP=$(mktemp -d /tmp/zorvex-bench-http.XXXXXX)
TMP=$(realpath "$TMP")
chmod 755 "$TMP"  # nginx's workers run unprivileged
mkdir -p "$TMP/media" "$TMP/home/file_root/image" "$TMP/nginx"
# The library keeps only videos that MediaInfo can examine: 1 GiB of
# uncompressed 1080p frames (UYVY) in a QuickTime file, quick to write.
BIG="$TMP/media/bench-1gib.mov"
echo "writing the 1 GiB test video"
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing: run scripts/install-deps" >&2; exit 1; }
ffmpeg -v error -f lavfi -i testsrc=size=1920x1080:rate=25 -frames:v $(((1073741824 + 4147199) / 4147200)) \
    -c:v rawvideo -pix_fmt uyvy422 "$BIG" || exit 1
BIG_SIZE=$(stat -c %s "$BIG")
KEY=$(printf '%s' "$BIG" | md5sum | cut -c1-32)
# A thumbnail of exactly 4 KiB under a key of its own, so that the library's
# own thumbnail for the video cannot replace it.
THUMB_KEY=$(printf '%s' "bench thumbnail" | md5sum | cut -c1-32)
THUMB="$TMP/home/file_root/image/$THUMB_KEY.jpg"

cat >"$TMP/nginx/nginx.conf" <<CONF
worker_processes auto;
pid $TMP/nginx/nginx.pid;
error_log $TMP/nginx/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    tcp_nodelay on;
    keepalive_timeout 65;
    keepalive_requests 1000000;
    client_body_temp_path $TMP/nginx/body;
    proxy_temp_path $TMP/nginx/proxy;
    fastcgi_temp_path $TMP/nginx/fastcgi;
    uwsgi_temp_path $TMP/nginx/uwsgi;
    scgi_temp_path $TMP/nginx/scgi;
    types { video/quicktime mov; image/jpeg jpg; }
    default_type application/octet-stream;
    server {
        listen $ADDRESS:$NGINX_PORT;
        location = /$KEY { alias $BIG; default_type video/quicktime; }
        location /image/ { alias $TMP/home/file_root/image/; }
    }
}
CONF
nginx -p "$TMP/nginx" -c "$TMP/nginx/nginx.conf" -e "$TMP/nginx/error.log" -g 'daemon off;' &
NGINX_PID=$!

EXPECT_ENTRIES=
start_zorvex "$TMP/home" "$TMP/zorvex.log" --share "$BIG" || exit 1
# Settled once the library has examined the video and made its thumbnail.
for _ in $(seq 60); do
    grep -q "shared $KEY .* with thumbnail" "$TMP/zorvex.log" && break
    sleep 0.5
done
grep -q "shared $KEY .* with thumbnail" "$TMP/zorvex.log" ||
    { echo "zorvex did not share the video as $KEY" >&2; exit 1; }
head -c "$THUMB_SIZE" /dev/urandom >"$THUMB"

declare -A URL=([zorvex]="http://$ADDRESS:11717" [nginx]="http://$ADDRESS:$NGINX_PORT")
for _ in $(seq 50); do
    curl -s -o /dev/null "${URL[nginx]}/image/$THUMB_KEY.jpg" && break
    sleep 0.1
done

# Both serve the same bytes, ranges as 206, before anything is timed.
SAMPLE=$((BIG_SIZE / 3))
EXPECTED=$(tail -c +$((SAMPLE + 1)) "$BIG" | head -c 1048576 | md5sum)
for server in zorvex nginx; do
    got=$(curl -s -r "$SAMPLE-$((SAMPLE + 1048575))" -w '%{http_code}' -o "$TMP/sample" "${URL[$server]}/$KEY")
    [[ $got == 206 && $(md5sum <"$TMP/sample") == "$EXPECTED" ]] ||
        { echo "$server: range answered $got or with other bytes" >&2; exit 1; }
    got=$(curl -s -w '%{http_code} %{size_download}' -o /dev/null "${URL[$server]}/image/$THUMB_KEY.jpg")
    [[ $got == "200 $THUMB_SIZE" ]] || { echo "$server: thumbnail answered $got" >&2; exit 1; }
done
rm -f "$TMP/sample"

# CPU ticks (user + system) of the server's processes: nginx's master and workers.
server_ticks() {
    local pids=$1 pid total=0
    [[ $2 == nginx ]] && pids="$1 $(ps -o pid= --ppid "$1")"
    for pid in $pids; do
        total=$((total + $(sed 's/.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }')))
    done
    echo "$total"
}
TICK=$(getconf CLK_TCK)

download() {  # MiB/s of one whole download
    local got
    got=$(curl -s -o /dev/null --max-time 60 -w '%{http_code} %{size_download} %{speed_download}' "$1/$KEY")
    read -r code size speed <<<"$got"
    [[ $code == 200 && $size == "$BIG_SIZE" ]] || { echo "download answered $got" >&2; return 1; }
    awk -v s="$speed" -v b="$size" 'BEGIN { printf "%.1f %d 1 0", s / 1048576, b }'
}

# wrk_run FIGURE SCRIPT URL [ARG]: FIGURE is mibs (MiB/s) or rps (requests/s).
wrk_run() {
    local figure=$1 script=$2 url=$3 out
    shift 3
    out=$(wrk -t2 -c64 -d"${RUN_SECONDS}s" --timeout 10s -s "$BENCH_DIR/$script" "$url" -- "$@") || return 1
    local line
    line=$(grep '^RESULT' <<<"$out") || { echo "wrk: $out" >&2; return 1; }
    awk -v figure="$figure" '{
        for (i = 2; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] }
        if (v["errors"] > 0 || v["requests"] == 0) { print "wrk: " $0 > "/dev/stderr"; exit 1 }
        s = v["duration_us"] / 1e6
        if (figure == "mibs") printf "%.1f", v["bytes"] / s / 1048576
        else printf "%.0f", v["requests"] / s
        printf " %d %d %.2f", v["bytes"], v["requests"], v["p99_us"] / 1000
    }' <<<"$line"
}

# start_attack: 1,000 idle connections from 127.0.0.2 held against the
# service; returns once the holder has settled (its count unchanged for 2 s).
start_attack() {
    "$BIN/zorvex-idle-clients" --host "$ADDRESS" --port 11717 --from 127.0.0.2 --count 1000 \
        --seconds 120 >"$TMP/attack.log" 2>&1 &
    ATTACK_PID=$!
    local last= now
    for _ in $(seq 20); do
        sleep 1
        now=$(tail -n1 "$TMP/attack.log")
        [[ -n $now && $now == "$last" ]] && { ATTACK_HELD=${now#held }; return 0; }
        last=$now
    done
    ATTACK_HELD=${now#held }
}

# measure TEST SERVER: "FIGURE COST P99", COST being the server's CPU in ms per
# GiB sent (download, ranges) or in microseconds per request (thumbnails), P99
# the 99th percentile latency in ms (wrk runs only).
measure() {
    local url=${URL[$2]} pid before after out
    if [[ $2 == nginx ]]; then pid=$NGINX_PID; else pid=$ZORVEX_PID; fi
    before=$(server_ticks "$pid" "$2")
    case $1 in
        download) out=$(download "$url") ;;
        ranges) out=$(wrk_run mibs wrk_ranges.lua "$url/$KEY" "$BIG_SIZE") ;;
        thumbs) out=$(wrk_run rps wrk_summary.lua "$url/image/$THUMB_KEY.jpg") ;;
    esac || return 1
    after=$(server_ticks "$pid" "$2")
    awk -v t=$((after - before)) -v hz="$TICK" -v test="$1" '{
        if (test == "thumbs") printf "%s %.1f %s", $1, t / hz * 1e6 / $3, $4
        else printf "%s %.0f %s", $1, t / hz * 1e3 / ($2 / 1073741824), $4 }' <<<"$out"
}

# syscalls_per_range SERVER: the system calls per range request of the
# threads that sent a body, waits for events left out; the connection's own
# (accept, close) are shared out over its 20 requests.
RANGES_TRACED=20
syscalls_per_range() {
    local pid pids trace="$TMP/strace.$1" args=() i offset
    if [[ $1 == nginx ]]; then pids=$(ps -o pid= --ppid "$NGINX_PID"); else pids=$ZORVEX_PID; fi
    for pid in $pids; do args+=(-p "$pid"); done
    strace -f -qq -o "$trace" "${args[@]}" 2>/dev/null &
    local tracer=$!
    # Attached once a call of the idle server shows, or after a second at most.
    for _ in $(seq 20); do [[ -s $trace ]] && break; sleep 0.05; done
    args=()
    for i in $(seq "$RANGES_TRACED"); do
        offset=$(((RANDOM * 32768 + RANDOM) % (BIG_SIZE - 262144)))
        ((i > 1)) && args+=(--next)
        args+=(-s -o /dev/null -r "$offset-$((offset + 262143))" "${URL[$1]}/$KEY")
    done
    curl "${args[@]}" || { kill -INT "$tracer"; wait "$tracer"; return 1; }
    kill -INT "$tracer"
    wait "$tracer" 2>/dev/null
    awk -v n="$RANGES_TRACED" '
        { line[NR] = $0; tid[NR] = $1 }
        / (sendfile|sendfile64|writev|sendmsg)\(/ { sender[$1] = 1 }
        END {
            for (i = 1; i <= NR; ++i) {
                if (!(tid[i] in sender) || line[i] ~ /resumed>/) continue
                if (line[i] ~ / epoll_(p)?wait\(/) continue
                calls++
            }
            printf "%.1f", calls / n
        }' "$trace"
    rm -f "$trace"
}

declare -A FIG COST P99 LABEL UNIT COST_UNIT
LABEL=([download]="download 1 GiB" [ranges]="64 x 1 MiB ranges" [thumbs]="64 x 4 KiB thumbnail")
UNIT=([download]="MiB/s" [ranges]="MiB/s" [thumbs]="req/s")
COST_UNIT=([download]="cpu ms/GiB" [ranges]="cpu ms/GiB" [thumbs]="cpu us/req")
declare -A RATIOS SYSCALLS
ATTACK_RATIOS=
ATTACK_P99=
ATTACK_RPS=
for round in $(seq "$ROUNDS"); do
    echo "round $round"
    # Alternate which server goes first, so that the machine's other load falls on both alike.
    if (( round % 2 )); then order="zorvex nginx"; else order="nginx zorvex"; fi
    # A download takes about a second, so it is done twice a round.
    for test in download download ranges thumbs; do
        declare -A now=() cost=() p99=()
        for server in $order; do
            result=$(measure "$test" "$server") || { echo "$test on $server failed" >&2; exit 1; }
            read -r now[$server] cost[$server] p99[$server] <<<"$result"
            FIG[$test,$server]+="${now[$server]} "
            COST[$test,$server]+="${cost[$server]} "
            P99[$test,$server]+="${p99[$server]} "
        done
        ratio=$(awk -v z="${now[zorvex]}" -v n="${now[nginx]}" 'BEGIN { printf "%.3f", z / n }')
        RATIOS[$test]+="$ratio "
        printf '  %-22s zorvex %9s  nginx %9s %-5s  ratio %s   %s zorvex %s nginx %s\n' \
            "${LABEL[$test]}" "${now[zorvex]}" "${now[nginx]}" "${UNIT[$test]}" "$ratio" \
            "${COST_UNIT[$test]}" "${cost[zorvex]}" "${cost[nginx]}"
    done
    # Under attack, beside this round's own unattacked thumbnail figure.
    start_attack
    result=$(measure thumbs zorvex) || { echo "thumbs under attack failed" >&2; exit 1; }
    stop_attack
    read -r attacked attackedCost attackedP99 <<<"$result"
    ratio=$(awk -v a="$attacked" -v u="${now[zorvex]}" 'BEGIN { printf "%.3f", a / u }')
    ATTACK_RATIOS+="$ratio "
    ATTACK_P99+="$attackedP99 "
    ATTACK_RPS+="$attacked "
    printf '  %-22s zorvex %9s req/s, %s of unattacked, p99 %s ms (unattacked %s ms), cpu us/req %s (unattacked %s); %s idle held\n' \
        "under attack" "$attacked" "$ratio" "$attackedP99" "${p99[zorvex]}" "$attackedCost" \
        "${cost[zorvex]}" "${ATTACK_HELD:-?}"
done

echo
echo "summary over $ROUNDS rounds, median (min-max); ratio = zorvex / nginx per round"
for test in download ranges thumbs; do
    read -ra z <<<"${FIG[$test,zorvex]}"
    read -ra n <<<"${FIG[$test,nginx]}"
    read -ra r <<<"${RATIOS[$test]}"
    if [[ $test == thumbs ]]; then fmt=%.0f; else fmt=%.1f; fi
    limit=1.0
    printf '  %-22s zorvex %s  nginx %s %s\n' "${LABEL[$test]}" \
        "$(SPREAD_FORMAT=$fmt spread "${z[@]}")" "$(SPREAD_FORMAT=$fmt spread "${n[@]}")" "${UNIT[$test]}"
    printf '  %-22s ratio %s, target >= %s: %s\n' "" "$(SPREAD_FORMAT=%.3f spread "${r[@]}")" \
        "$limit" "$(verdict "$(median "${r[@]}")" '>=' "$limit")"
    read -ra z <<<"${COST[$test,zorvex]}"
    read -ra n <<<"${COST[$test,nginx]}"
    printf '  %-22s %s: zorvex %s  nginx %s\n' "" "${COST_UNIT[$test]}" \
        "$(SPREAD_FORMAT=%.0f spread "${z[@]}")" "$(SPREAD_FORMAT=%.0f spread "${n[@]}")"
done
read -ra z <<<"${COST[thumbs,zorvex]}"
read -ra n <<<"${COST[thumbs,nginx]}"
printf '  %-22s cpu per request at most nginx'"'"'s (medians): %s\n' "" \
    "$(verdict "$(median "${n[@]}")" '>=' "$(median "${z[@]}")")"
read -ra t <<<"${P99[thumbs,zorvex]}"
read -ra n <<<"${P99[thumbs,nginx]}"
printf '  %-22s p99 ms: zorvex %s  nginx %s\n' "" "$(spread "${t[@]}")" "$(spread "${n[@]}")"
read -ra a <<<"$ATTACK_RPS"
read -ra r <<<"$ATTACK_RATIOS"
read -ra p <<<"$ATTACK_P99"
printf '  %-22s zorvex %s req/s with 1,000 idle connections from 127.0.0.2\n' "under attack" \
    "$(SPREAD_FORMAT=%.0f spread "${a[@]}")"
printf '  %-22s ratio to unattacked %s, target >= 0.8: %s\n' "" \
    "$(SPREAD_FORMAT=%.3f spread "${r[@]}")" "$(verdict "$(median "${r[@]}")" '>=' 0.8)"
worst=$(printf '%s\n' "${p[@]}" | sort -g | tail -n1)
printf '  %-22s p99 ms %s, target < 20 (worst round): %s\n' "" "$(spread "${p[@]}")" \
    "$(verdict "$worst" '<' 20)"

echo
for server in zorvex nginx; do
    calls=$(syscalls_per_range "$server") || { echo "tracing $server failed" >&2; exit 1; }
    SYSCALLS[$server]=$calls
done
printf '  %-22s zorvex %s  nginx %s system calls per range (%d x 256 KiB, one connection), target <= 7: %s\n' \
    "ranges traced" "${SYSCALLS[zorvex]}" "${SYSCALLS[nginx]}" "$RANGES_TRACED" \
    "$(awk -v c="${SYSCALLS[zorvex]}" 'BEGIN { print c <= 7 ? "met" : "MISSED" }')"
