#!/usr/bin/env bash
# Builds the Debian package quorvelle_<version>_amd64.deb from a build folder
# (default build/, built first with scripts/build.sh) into the folder named by
# QUORVELLE_PACKAGE_OUT (default: the build folder) and prints its path.
#   scripts/package.sh [build-folder]
# Programs go to /usr/lib/quorvelle/, the data that is the same on every
# architecture (templates, stylesheets, help, the extension) to
# /usr/share/quorvelle/, linked from /usr/lib/quorvelle/ so the installation
# folder holds both; quorvelle and quorvelle-browser are linked from /usr/bin;
# desktop entries, icons, metainfo, manual pages and docs/cli.md go to their
# standard places. Each user's first start sets up that user's own
# installation folder (setup/user_installation.h).
#
# The package is the same whatever the umask: every folder is 0755, every
# file 0644, the programs 0755, all owned by root. It is reproducible: the
# same build gives the same bytes (times come from SOURCE_DATE_EPOCH, by
# default the last commit's time; dpkg-deb writes the files in sorted order).
set -euo pipefail
umask 022
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
out="${QUORVELLE_PACKAGE_OUT:-$build}"
version="$(sed -n 's/^project(Quorvelle VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
arch="$(dpkg --print-architecture)"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)"
fi
export SOURCE_DATE_EPOCH
for file in bin/QuorvelleInstall bin/quorvelle bin/quorvelle-browser lib/libQuorvelle.so share/man/man1/quorvelle.1; do
  if [ ! -f "$build/$file" ]; then
    echo "package: $build/$file is missing; build first (scripts/build.sh ${1:-build})" >&2
    exit 1
  fi
done
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
root="$stage/root"
lib="$root/usr/lib/quorvelle"
share="$root/usr/share/quorvelle"
install -d "$lib" "$share" "$root/usr/bin" "$root/usr/share/applications" "$root/usr/share/metainfo" \
  "$root/usr/share/man/man1" "$root/usr/share/doc/quorvelle" "$root/DEBIAN"
for program in QuorvelleInstall quorvelle quorvelle-browser; do
  install -m 0755 "$build/bin/$program" "$lib/"
done
# The browser extension and its native host, registered system-wide with
# Chromium and Firefox (docs/extension.md tells how a user adds the extension
# itself).
extras=()
if [ -x "$build/bin/quorvelle-native-host" ] && [ -f "$build/extension/ids.json" ]; then
  install -m 0755 "$build/bin/quorvelle-native-host" "$lib/"
  extras+=("$lib/quorvelle-native-host")
  cp -R "$build/extension" "$share/extension"
  host_name="$(sed -n 's/^ *"host": *"\([^"]*\)".*/\1/p' "$build/extension/ids.json")"
  chromium_id="$(sed -n 's/^ *"chromium": *"\([^"]*\)".*/\1/p' "$build/extension/ids.json")"
  firefox_id="$(sed -n 's/^ *"firefox": *"\([^"]*\)".*/\1/p' "$build/extension/ids.json")"
  # Debian keeps packages out of /etc/opt, so Google Chrome gets no system-wide
  # manifest (docs/extension.md says how a user adds one).
  install -d "$root/etc/chromium/native-messaging-hosts"
  printf '{\n  "name": "%s",\n  "description": "Quorvelle",\n  "path": "/usr/lib/quorvelle/quorvelle-native-host",\n  "type": "stdio",\n  "allowed_origins": ["chrome-extension://%s/"]\n}\n' \
    "$host_name" "$chromium_id" > "$root/etc/chromium/native-messaging-hosts/$host_name.json"
  echo "/etc/chromium/native-messaging-hosts/$host_name.json" > "$stage/conffiles"
  install -d "$root/usr/lib/mozilla/native-messaging-hosts"
  printf '{\n  "name": "%s",\n  "description": "Quorvelle",\n  "path": "/usr/lib/quorvelle/quorvelle-native-host",\n  "type": "stdio",\n  "allowed_extensions": ["%s"]\n}\n' \
    "$host_name" "$firefox_id" > "$root/usr/lib/mozilla/native-messaging-hosts/$host_name.json"
else
  echo "package: no native host or extension in $build; the package leaves them out" >&2
fi
install -m 0644 "$build/lib/libQuorvelle.so" "$lib/"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$lib"/QuorvelleInstall "$lib"/quorvelle \
  "$lib"/quorvelle-browser "$lib"/libQuorvelle.so "${extras[@]}"
cp -R data/. "$share/"
# The installation folder is /usr/lib/quorvelle/: the data is linked into it.
for entry in "$share"/*; do
  ln -s "../../share/quorvelle/$(basename "$entry")" "$lib/$(basename "$entry")"
done
ln -s ../lib/quorvelle/quorvelle "$root/usr/bin/quorvelle"
ln -s ../lib/quorvelle/quorvelle-browser "$root/usr/bin/quorvelle-browser"
install -m 0644 desktop/*.desktop "$root/usr/share/applications/"
install -m 0644 desktop/net.tolvane.Quorvelle.metainfo.xml "$root/usr/share/metainfo/"
install -D -m 0644 desktop/icons/net.tolvane.Quorvelle.svg "$root/usr/share/icons/hicolor/scalable/apps/net.tolvane.Quorvelle.svg"
for png in desktop/icons/net.tolvane.Quorvelle-*.png; do
  size="${png##*-}"
  size="${size%.png}"
  install -D -m 0644 "$png" "$root/usr/share/icons/hicolor/${size}x${size}/apps/net.tolvane.Quorvelle.png"
done
# help2man dates the page by the day of the build: the package dates it by
# SOURCE_DATE_EPOCH, so that another build of the same sources gives the same page.
man_date="$(LC_ALL=C date -u -d "@$SOURCE_DATE_EPOCH" '+%B %Y')"
sed "s/^\(\.TH [^ ]* \"1\"\) \"[^\"]*\"/\1 \"$man_date\"/" "$build/share/man/man1/quorvelle.1" | gzip -9n \
  > "$root/usr/share/man/man1/quorvelle.1.gz"
gzip -9nc desktop/quorvelle-browser.1 > "$root/usr/share/man/man1/quorvelle-browser.1.gz"
install -m 0644 docs/cli.md "$root/usr/share/doc/quorvelle/cli.md"
{
  cat <<'TEXT'
Quorvelle on Debian
===================

The programs are in /usr/lib/quorvelle/, the templates, stylesheets, help pages
and the browser extension in /usr/share/quorvelle/. The first start of quorvelle,
quorvelle-browser or the extension's native host sets up your own installation
folder ~/.local/share/Quorvelle/app/: links to the package's files and the
headlines report, which is written there. No program is copied into your home,
so a home mounted noexec works. The command line is described in
/usr/share/doc/quorvelle/cli.md (man quorvelle gives the commands).

Removing your own files
-----------------------

"apt purge quorvelle" removes the package and its system-wide files; it never
touches a user's home. What Quorvelle wrote for you stays until you remove it:

  rm -rf ~/.local/share/Quorvelle ~/.config/Quorvelle

removes your feed list (Feeds.xml), the report, your installation folder and
your settings. Export the list first (quorvelle export) if you want to keep it.
TEXT
  if [ ${#extras[@]} -gt 0 ]; then
    cat <<TEXT

Quorvelle in Chromium and Firefox
---------------------------------

The package registers Quorvelle's native host (/usr/lib/quorvelle/quorvelle-native-host)
with Chromium and Firefox for every user. The extension itself is added once per browser:

Chromium: open chrome://extensions, switch on "Developer mode", choose "Load unpacked" and
  pick /usr/share/quorvelle/extension/chromium. Its id is $chromium_id.

Google Chrome: the same, then copy
  /etc/chromium/native-messaging-hosts/$host_name.json
  into ~/.config/google-chrome/NativeMessagingHosts/ (Chrome does not read the Chromium folder).

Firefox: open about:debugging, "This Firefox", "Load Temporary Add-on..." and pick
  /usr/share/quorvelle/extension/firefox/manifest.json (until Firefox restarts). Firefox ESR also
  installs it for good from "Install Add-on From File..." once xpinstall.signatures.required is
  false in about:config.
TEXT
  fi
} > "$root/usr/share/doc/quorvelle/README.Debian"
cat > "$root/usr/share/doc/quorvelle/copyright" <<'TEXT'
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quorvelle
Source: the Quorvelle sources

Files: *
Copyright: Tolvane
License: proprietary
 All rights reserved.
TEXT
date="$(date -R -u -d "@$SOURCE_DATE_EPOCH")"
printf 'quorvelle (%s) unstable; urgency=medium\n\n  * Package built from the Quorvelle sources.\n\n -- Quorvelle developers <quorvelle@tolvane.net>  %s\n' \
  "$version" "$date" | gzip -9n > "$root/usr/share/doc/quorvelle/changelog.gz"

# Dependencies from the programs' and the band library's own links.
mkdir -p "$stage/debian"
printf 'Source: quorvelle\n\nPackage: quorvelle\nArchitecture: any\n' > "$stage/debian/control"
depends="$(cd "$stage" && dpkg-shlibdeps -O -e root/usr/lib/quorvelle/QuorvelleInstall \
  -e root/usr/lib/quorvelle/quorvelle -e root/usr/lib/quorvelle/quorvelle-browser \
  -e root/usr/lib/quorvelle/libQuorvelle.so "${extras[@]/#$stage\//-e}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')"
size="$(du -sk --apparent-size --exclude=DEBIAN "$root" | cut -f1)"
cat > "$root/DEBIAN/control" <<TEXT
Package: quorvelle
Version: $version
Architecture: $arch
Maintainer: Quorvelle developers <quorvelle@tolvane.net>
Installed-Size: $size
Depends: $depends
Recommends: xdg-utils, fonts-noto-color-emoji
Section: net
Priority: optional
Homepage: https://tolvane.net/quorvelle/
Description: news feed aggregator living in its browser as a toolbar band
 Quorvelle keeps a categorised list of RSS, RDF, Atom and OPML feeds and
 shows their headlines in its own browser, quorvelle-browser, where it lives
 as a toolbar band. Feed lists are exchanged with other readers as OPML. The
 command quorvelle edits the same list from a terminal or a script.
TEXT
[ -f "$stage/conffiles" ] && install -m 0644 "$stage/conffiles" "$root/DEBIAN/conffiles"
# Modes set here whatever the umask or the build folder gave; the checksums
# of every file; one time for everything.
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$lib"/QuorvelleInstall "$lib"/quorvelle "$lib"/quorvelle-browser "${extras[@]}"
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0r md5sum) \
  > "$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/md5sums"
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$out"
package="$(cd "$out" && pwd)/quorvelle_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$package" >/dev/null
echo "$package"
