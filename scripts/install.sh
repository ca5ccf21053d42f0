#!/usr/bin/env bash
# Copies the built programs, the band library and the data files into the
# per-user installation folder and registers them.
#   scripts/install.sh [build-folder]
# The installation folder is $QUORVELLE_PREFIX/Quorvelle/ (default prefix
# ~/.local/opt). The user's Feeds.xml and settings are never touched here.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
prefix="${QUORVELLE_PREFIX:-$HOME/.local/opt}"
target="$prefix/Quorvelle"
mkdir -p "$target"
for program in "$build"/bin/*; do
  [ -f "$program" ] && install -m 0755 "$program" "$target/"
done
if [ -f "$build/lib/libQuorvelle.so" ]; then
  install -m 0755 "$build/lib/libQuorvelle.so" "$target/"
fi
cp -R data/. "$target/"
"$target/QuorvelleInstall" /install
echo "installed into $target"
