#!/usr/bin/env bash
# Copies the built programs (QuorvelleInstall, quorvelle-browser), the band
# library and the data files into the per-user installation folder and
# registers them.
#   scripts/install.sh [build-folder]
# The installation folder is $QUORVELLE_PREFIX/Quorvelle/ (default prefix
# ~/.local/opt). The user's Feeds.xml and settings are never touched here.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
prefix="${QUORVELLE_PREFIX:-$HOME/.local/opt}"
target="$prefix/Quorvelle"
if [ ! -x "$build/bin/QuorvelleInstall" ]; then
  echo "install: $build/bin/QuorvelleInstall is missing; build first (scripts/build.sh $build)" >&2
  exit 1
fi
if [ ! -f "$build/lib/libQuorvelle.so" ]; then
  echo "install: $build/lib/libQuorvelle.so is missing; build first (scripts/build.sh $build)" >&2
  exit 1
fi
mkdir -p "$target"
for program in "$build"/bin/*; do
  [ -f "$program" ] && install -m 0755 "$program" "$target/"
done
install -m 0755 "$build/lib/libQuorvelle.so" "$target/"
cp -R data/. "$target/"
# The list of installed files, for uninstall.sh.
(cd "$target" && find . -type f ! -name DEBUG.LOG ! -path './headlines/*' | sort) > "$target/.installed-files"
"$target/QuorvelleInstall" /install
echo "installed into $target"
