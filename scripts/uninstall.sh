#!/usr/bin/env bash
# Undoes install.sh: runs "QuorvelleInstall /uninstall" (removes the browser's
# context-menu entry and gives the browser its previous home page back), then
# removes the installed files, the report folder and the feed cache
# ($XDG_CACHE_HOME/Quorvelle). Your feed list (Feeds.xml), its data folder,
# the headlines you have seen ($XDG_STATE_HOME/Quorvelle) and your settings
# are kept.
#   scripts/uninstall.sh
set -euo pipefail
prefix="${QUORVELLE_PREFIX:-$HOME/.local/opt}"
target="$prefix/Quorvelle"
if [ ! -d "$target" ]; then
  echo "uninstall: nothing installed in $target"
  exit 0
fi
if [ -x "$target/QuorvelleInstall" ]; then
  "$target/QuorvelleInstall" /uninstall
fi
"$(dirname "$0")/browser-hosts.sh" uninstall "$target"
# The command line's entry on PATH (only when it runs this installation's
# program) and its manual page.
bindir="$HOME/.local/bin"
if [ -f "$bindir/quorvelle" ] && grep -qF "exec \"$target/quorvelle\"" "$bindir/quorvelle"; then
  rm -f -- "$bindir/quorvelle"
fi
rm -f -- "${XDG_DATA_HOME:-$HOME/.local/share}/man/man1/quorvelle.1" \
  "${XDG_DATA_HOME:-$HOME/.local/share}/man/man1/quorvelle-browser.1"
# The desktop registration: the entries, icons and metainfo, and the file
# type defaults install.sh set (only those still pointing at Quorvelle).
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"
for entry in net.tolvane.Quorvelle.desktop net.tolvane.Quorvelle.AddFeed.desktop net.tolvane.Quorvelle.Import.desktop; do
  rm -f -- "$data_home/applications/$entry"
done
rm -f -- "$data_home/icons/hicolor/scalable/apps/net.tolvane.Quorvelle.svg" \
  "$data_home/metainfo/net.tolvane.Quorvelle.metainfo.xml"
for png in "$data_home"/icons/hicolor/*/apps/net.tolvane.Quorvelle.png; do
  [ -f "$png" ] && rm -f -- "$png"
done
if [ -f "$target/.mime-defaults" ]; then
  mimeapps="${XDG_CONFIG_HOME:-$HOME/.config}/mimeapps.list"
  if [ -f "$mimeapps" ]; then
    while IFS= read -r line; do
      [ -n "$line" ] || continue
      # The exact line written, as a fixed string.
      grep -vxF -- "$line" "$mimeapps" > "$mimeapps.tmp" || true
      mv -- "$mimeapps.tmp" "$mimeapps"
    done < "$target/.mime-defaults"
  fi
  rm -f -- "$target/.mime-defaults"
fi
if [ -d "$data_home/applications" ]; then
  if ls "$data_home/applications"/*.desktop >/dev/null 2>&1; then
    if command -v update-desktop-database >/dev/null 2>&1; then
      update-desktop-database "$data_home/applications" >/dev/null 2>&1 || true
    fi
  else
    # No entry of anyone's left: the cache install.sh made goes too.
    rm -f -- "$data_home/applications/mimeinfo.cache"
  fi
fi
# Only what install.sh put there, the report it generated and the logs.
if [ -f "$target/.installed-files" ]; then
  while IFS= read -r file; do
    case "$file" in
      ./*) rm -f -- "$target/${file#./}" ;;
    esac
  done < "$target/.installed-files"
  rm -f -- "$target/.installed-files"
fi
rm -rf -- "$target/headlines"
# The feed cache (QuorvelleInstall /uninstall removes it too).
rm -rf -- "${XDG_CACHE_HOME:-$HOME/.cache}/Quorvelle"
rm -f -- "$target/DEBUG.LOG"
# Empty folders left behind (help/, demo/ and the folder itself).
find "$target" -depth -type d -empty -delete 2>/dev/null || true
if [ -d "$target" ]; then
  echo "uninstalled; files you added are left in $target"
else
  echo "uninstalled from $target"
fi
