#!/usr/bin/env bash
# Builds the fuzz harnesses with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in build-fuzz/ and runs each in turn.
#   scripts/fuzz.sh [seconds per harness, default 60] [harness ...]
# Seeds come from fuzz/corpus/<harness>/ (kept in the repository) and, for the
# harnesses that read feeds, OPML lists or pages, from tests/data/realworld/; inputs the
# run finds are kept in build-fuzz/fuzz-corpus/<harness>/, faults in
# build-fuzz/fuzz-findings/<harness>/, the full output in build-fuzz/fuzz-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
all=(feed_store feed_title feed_cache headlines_renderer opml_import xml_import feed_discovery registry seen_items item_identity regexpr native_message)
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=("${all[@]}")

if ! command -v clang++ >/dev/null 2>&1 || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "fuzz: needs clang and libFuzzer (Debian 12: sudo apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi
dir=build-fuzz
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVELLE_FUZZ=ON \
  "${launcher[@]}" >/dev/null
ninja -C "$dir" "${harnesses[@]/%/_fuzz}"

mkdir -p "$dir/fuzz-logs" "$dir/tmp"
printf '%-16s %8s %12s %8s %9s\n' harness seconds runs exec/s findings
for h in "${harnesses[@]}"; do
  work="$dir/fuzz-corpus/$h"
  findings="$dir/fuzz-findings/$h"
  log="$dir/fuzz-logs/$h.log"
  mkdir -p "$work" "$findings"
  seeds=()
  [ -d "fuzz/corpus/$h" ] && seeds+=("fuzz/corpus/$h")
  case "$h" in
    feed_title | headlines_renderer | item_identity) seeds+=(tests/data/realworld/feeds) ;;
    opml_import) seeds+=(tests/data/realworld/opml) ;;
    feed_discovery) seeds+=(tests/data/realworld/pages) ;;
  esac
  # One worker process: a crash, leak, timeout or memory blow-up is kept and
  # the run goes on until the time is up.
  TMPDIR="$PWD/$dir/tmp" ASAN_OPTIONS=detect_leaks=1 "$dir/fuzz/${h}_fuzz" -fork=1 -ignore_crashes=1 \
    -ignore_timeouts=1 -ignore_ooms=1 -timeout=25 -rss_limit_mb=2048 -max_total_time="$seconds" \
    -artifact_prefix="$findings/" "$work" "${seeds[@]}" >"$log" 2>&1 || true
  runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  elapsed=$(grep -oE 'time: [0-9]+s' "$log" | tail -1 | grep -oE '[0-9]+')
  found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  runs=${runs:-0}
  elapsed=${elapsed:-$seconds}
  printf '%-16s %8s %12s %8s %9s\n' "$h" "$elapsed" "$runs" $((runs / (elapsed > 0 ? elapsed : 1))) "$found"
done
rm -rf "$dir/tmp"
