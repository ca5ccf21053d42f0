#!/usr/bin/env bash
# The long run of the feed list's model tests: the random walk over one store
# and the two-window run with kills, each with many more steps than in CI and
# a fresh seed per run until the time is up. Prints each seed, the steps per
# second, and stops at the first failure (its seed repeats it).
#   bench/feed_list_model.sh [seconds] [build-folder]    (default: 300, build)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
build="$(cd "${2:-build}" && pwd)"
steps="${QUORVELLE_MODEL_STEPS:-20000}"
end=$((SECONDS + seconds))
runs=0
while ((SECONDS < end)); do
  for test in "$build/tests/exchange_tests FeedListModel.*" "$build/tests/feeds_tests FeedProcesses.*"; do
    set -- $test
    seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
    start=$(date +%s.%N)
    if ! QUORVELLE_MODEL_SEED=$seed QUORVELLE_MODEL_STEPS=$steps "$1" --gtest_filter="$2" >/dev/null 2>&1; then
      echo "FAILED: QUORVELLE_MODEL_SEED=$seed QUORVELLE_MODEL_STEPS=$steps $1 --gtest_filter=$2"
      exit 1
    fi
    elapsed=$(echo "$(date +%s.%N) - $start" | bc)
    printf '%-22s seed %10s  %6d steps  %7.1f s  %8.1f steps/s\n' "$2" "$seed" "$steps" "$elapsed" \
      "$(echo "$steps / $elapsed" | bc -l)"
    runs=$((runs + 1))
  done
done
echo "$runs runs passed"
