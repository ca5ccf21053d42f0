#!/usr/bin/env bash
# Copies the built programs (QuorvelleInstall, quorvelle-browser, quorvelle),
# the band library and the data files into the per-user installation folder
# and registers them; puts quorvelle on PATH through ~/.local/bin and its
# manual page into ~/.local/share/man.
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
# The command line on PATH and its manual page. The entry in ~/.local/bin is a
# small script that runs the installed program by its full path, so the
# program finds its folder (data files, DEBUG.LOG) as when started there.
bindir="$HOME/.local/bin"
mandir="${XDG_DATA_HOME:-$HOME/.local/share}/man/man1"
if [ -x "$target/quorvelle" ]; then
  mkdir -p "$bindir"
  rm -f -- "$bindir/quorvelle"
  printf '#!/bin/sh\n# Quorvelle command line (scripts/install.sh)\nexec "%s" "$@"\n' "$target/quorvelle" > "$bindir/quorvelle"
  chmod 0755 "$bindir/quorvelle"
  if [ -f "$build/share/man/man1/quorvelle.1" ]; then
    mkdir -p "$mandir"
    install -m 0644 "$build/share/man/man1/quorvelle.1" "$mandir/quorvelle.1"
  fi
  case ":$PATH:" in
    *":$bindir:"*) ;;
    *) echo "note: $bindir is not on your PATH; add it to use the quorvelle command" ;;
  esac
fi
echo "installed into $target"
