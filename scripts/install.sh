#!/usr/bin/env bash
# Copies the built programs (QuorvelleInstall, quorvelle-browser, quorvelle),
# stripped, the band library and the data files into the per-user installation folder
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
# Stripped as the package's are: the debug information stays in the build.
for file in "$target"/*; do
  if [ -f "$file" ] && [ -x "$file" ] && head -c 4 "$file" | grep -q 'ELF'; then
    strip --strip-unneeded --remove-section=.comment "$file"
  fi
done
cp -R data/. "$target/"
# The browser extension (written by the build when node is there) and its
# native host's registration with the browsers.
if [ -f "$build/extension/ids.json" ]; then
  rm -rf -- "$target/extension"
  cp -R "$build/extension" "$target/extension"
fi
# The list of installed files, for uninstall.sh.
(cd "$target" && find . -type f ! -name DEBUG.LOG ! -path './headlines/*' | sort) > "$target/.installed-files"
"$target/QuorvelleInstall" /install
scripts/browser-hosts.sh install "$target"
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
if [ -x "$target/quorvelle-browser" ]; then
  mkdir -p "$mandir"
  install -m 0644 desktop/quorvelle-browser.1 "$mandir/quorvelle-browser.1"
fi
# The desktop: menu entry, icons, metainfo and the entries that open feed
# links and OPML lists with the band's dialogs, in the XDG data folder. A file
# type gets Quorvelle as its default only when it has none yet; what was set
# is recorded for uninstall.sh.
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
if [ -x "$target/quorvelle-browser" ] && [ -d desktop ]; then
  apps="$data_home/applications"
  mkdir -p "$apps" "$data_home/icons/hicolor/scalable/apps" "$data_home/metainfo"
  # The file types without a default application, asked before our entries
  # are there to answer for them.
  unclaimed=()
  for pair in text/x-opml:Import text/x-opml+xml:Import application/x-opml+xml:Import application/rss+xml:AddFeed \
    application/atom+xml:AddFeed application/rdf+xml:AddFeed; do
    if command -v xdg-mime >/dev/null 2>&1 && [ -z "$(xdg-mime query default "${pair%%:*}" 2>/dev/null)" ]; then
      unclaimed+=("$pair")
    fi
  done
  # Quoted as desktop entries quote arguments (the folder may hold blanks).
  exec_path="$target/quorvelle-browser"
  for entry in desktop/*.desktop; do
    sed "s|^Exec=quorvelle-browser|Exec=\"$exec_path\"|" "$entry" > "$apps/$(basename "$entry")"
  done
  install -m 0644 desktop/icons/net.tolvane.Quorvelle.svg "$data_home/icons/hicolor/scalable/apps/"
  for png in desktop/icons/net.tolvane.Quorvelle-*.png; do
    size="${png##*-}"
    size="${size%.png}"
    mkdir -p "$data_home/icons/hicolor/${size}x${size}/apps"
    install -m 0644 "$png" "$data_home/icons/hicolor/${size}x${size}/apps/net.tolvane.Quorvelle.png"
  done
  install -m 0644 desktop/net.tolvane.Quorvelle.metainfo.xml "$data_home/metainfo/"
  : > "$target/.mime-defaults"
  for pair in "${unclaimed[@]}"; do
    type="${pair%%:*}"
    handler="net.tolvane.Quorvelle.${pair##*:}.desktop"
    if xdg-mime default "$handler" "$type" 2>/dev/null; then
      echo "$type=$handler" >> "$target/.mime-defaults"
    fi
  done
  if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database "$apps" >/dev/null 2>&1 || true
  fi
fi
echo "installed into $target"
