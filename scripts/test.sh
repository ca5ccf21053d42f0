#!/usr/bin/env bash
# Sets up, builds and runs every test: once in a normal build and once under
# AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh

# Sources are kept in the repository's clang-format style.
find platform support fetch feeds report exchange regexpr band dialogs setup host cli native_host tests bench fuzz \
  \( -name '*.cpp' -o -name '*.h' \) -not -path 'tests/data/*' -print0 | xargs -0 clang-format --dry-run --Werror

# The extension checks drive headless Chromium with the npm packages pinned
# by their lock file.
npm ci --prefix tests/extension --no-audit --no-fund

export QT_QPA_PLATFORM=offscreen
# This machine has what the browser needs: a browser test that cannot start
# its web engine fails instead of skipping itself.
export QUORVELLE_REQUIRE_BROWSER=1
# Every test has its own user folder, registry, diagnostic log and ports, so
# they run in parallel.
jobs="$(nproc)"
BUILD_TYPE=RelWithDebInfo scripts/build.sh build
if ! ctest --test-dir build -N -L host | grep -q 'Total Tests: [1-9]'; then
  echo "the browser tests were not built (is Qt WebEngine installed?)" >&2
  exit 1
fi
ctest --test-dir build --output-on-failure --timeout 300 -j"$jobs"

BUILD_TYPE=Debug scripts/build.sh build-asan -DQUORVELLE_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --timeout 600 -j"$jobs"
echo "all tests passed (normal and sanitizer builds)"
