#!/usr/bin/env bash
# How long the test house takes, as on a fresh machine: a clean clone of HEAD
# built and tested by scripts/test with ccache off (its install step finds
# everything installed here), and ctest's own wall time within it.
# Targets: scripts/test under 6 minutes; ctest under 75 s.
# Usage: bench/test_house.sh [ROUNDS]   (default 3; about 6 minutes a round)
#   BENCH_SMOKE=1: ctest once over a few quick tests of BENCH_BUILD (default
#   build/), which shows that the timing still reads.
set -uo pipefail
source "$(dirname "$0")/common.sh"

ROUNDS=${1:-3}
TMP=$(mktemp -d /tmp/zorvex-bench-house.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
trap 'exit 130' INT TERM

# ctest_wall LOG: the "Total Test time (real)" ctest printed, in seconds.
ctest_wall() { awk '/Total Test time \(real\)/ { print $(NF - 1) }' "$1"; }

if [[ $SMOKE == 1 ]]; then
    QT_QPA_PLATFORM=offscreen ctest --test-dir "${BENCH_BUILD:-$REPO/build}" -R '^Md5' \
        >"$TMP/log" 2>&1 || { cat "$TMP/log"; exit 1; }
    wall=$(ctest_wall "$TMP/log")
    [[ -n $wall ]] || { echo "ctest printed no wall time" >&2; exit 1; }
    echo "ctest over the MD5 tests: $wall s"
    exit 0
fi

declare -a WHOLE CTEST
for round in $(seq "$ROUNDS"); do
    clone="$TMP/clone$round"
    git clone -q "$REPO" "$clone" || exit 1
    start=$(date +%s.%N)
    CCACHE_DISABLE=1 "$clone/scripts/test" >"$TMP/log" 2>&1
    status=$?
    end=$(date +%s.%N)
    if [[ $status != 0 ]]; then
        cp "$TMP/log" /tmp/zorvex-test-house.log
        grep -E 'FAIL|Failure' "$TMP/log" | head -n 20
        echo "scripts/test failed; its whole output is in /tmp/zorvex-test-house.log" >&2
        exit 1
    fi
    whole=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
    WHOLE+=("$whole")
    CTEST+=("$(ctest_wall "$TMP/log")")
    echo "round $round: scripts/test $whole s, ctest ${CTEST[-1]} s"
    rm -rf "$clone"
done

echo
echo "test house, $ROUNDS rounds, median (min-max):"
echo "  scripts/test  $(SPREAD_FORMAT=%.0f spread "${WHOLE[@]}") s"
echo "  ctest         $(SPREAD_FORMAT=%.1f spread "${CTEST[@]}") s"
worst=$(printf '%s\n' "${WHOLE[@]}" | sort -g | tail -n1)
echo "target: scripts/test under 360 s: $(verdict "$worst" '<' 360)"
worst=$(printf '%s\n' "${CTEST[@]}" | sort -g | tail -n1)
echo "target: ctest under 75 s: $(verdict "$worst" '<' 75)"
