#!/usr/bin/env bash
# The Debian package as scripts/package.sh makes it from the build: made
# twice, under a umask that lets anyone write and under a private one, it is
# the same file; every entry is root's and only root may change it; the
# checksums cover every file; no build folder is named inside; the data lives
# in /usr/share/quorvelle/ and is found through /usr/lib/quorvelle/; the docs
# the manual page names are shipped; every name the system gives .opml files
# is claimed; lintian finds no error and none of the warnings these points
# are about.
#   package_test.sh SOURCE-FOLDER BUILD-FOLDER
set -euo pipefail
source="$1"
build="$(cd "$2" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

(umask 000 && QUORVELLE_PACKAGE_OUT="$work/loose" "$source/scripts/package.sh" "$build" > "$work/loose.path")
(umask 077 && QUORVELLE_PACKAGE_OUT="$work/tight" "$source/scripts/package.sh" "$build" > "$work/tight.path")
deb="$(cat "$work/loose.path")"
cmp -s "$deb" "$(cat "$work/tight.path")" || fail "the same build gave two different packages under two umasks"

# Owner and mode of every entry (links aside, whose mode means nothing).
while read -r mode owner _ _ _ name _; do
  [ "$owner" = root/root ] || fail "$name is owned by $owner"
  case "$mode" in
    l*) ;;
    d*) [ "$mode" = drwxr-xr-x ] || fail "$name has mode $mode" ;;
    *) [ "$mode" = -rw-r--r-- ] || [ "$mode" = -rwxr-xr-x ] || fail "$name has mode $mode" ;;
  esac
done < <(dpkg-deb -c "$deb")

root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$work/control"
[ -f "$work/control/md5sums" ] || fail "no md5sums"
(cd "$root" && md5sum --quiet -c "$work/control/md5sums") || fail "md5sums do not match the files"
files="$(cd "$root" && find . -type f | wc -l)"
[ "$files" -eq "$(wc -l < "$work/control/md5sums")" ] || fail "md5sums list $(wc -l < "$work/control/md5sums") of $files files"
if grep -rlF -e "$build" -e "$(cd "$source" && pwd)" "$root" "$work/control"; then fail "the files above name the build"; fi

for file in index.xsl details.xsl FeedsToOPML.xsl OpmlToFeeds.xsl rssfeed.html help/index.html; do
  [ -f "$root/usr/share/quorvelle/$file" ] || fail "/usr/share/quorvelle/$file is missing"
  [ "$(readlink -f "$root/usr/lib/quorvelle/$file")" = "$(readlink -f "$root/usr/share/quorvelle/$file")" ] ||
    fail "/usr/lib/quorvelle/$file does not lead to /usr/share/quorvelle/$file"
done
if find "$root/usr/share" -type f -exec file {} + | grep -q ELF; then fail "a program in /usr/share"; fi
[ -f "$root/usr/share/doc/quorvelle/cli.md" ] || fail "docs/cli.md is not shipped"
zcat "$root/usr/share/man/man1/quorvelle.1.gz" | grep -qF /usr/share/doc/quorvelle/cli.md ||
  fail "man quorvelle does not point to /usr/share/doc/quorvelle/cli.md"
grep -q "rm -rf ~/.local/share/Quorvelle" "$root/usr/share/doc/quorvelle/README.Debian" ||
  fail "README.Debian does not say how a user removes their folder"
grep -q '^Recommends:.*fonts-noto-color-emoji' "$work/control/control" || fail "no colour emoji font recommended"

mime=/usr/share/mime/packages/freedesktop.org.xml
if [ -f "$mime" ] && command -v xmllint > /dev/null; then
  opml='//*[local-name()="mime-type"][*[local-name()="glob"][@pattern="*.opml"]]'
  for type in $(xmllint --xpath "$opml/@type | $opml/*[local-name()=\"alias\"]/@type" "$mime" | sed 's/ *type="\([^"]*\)"/\1 /g'); do
    grep -q "^MimeType=.*$type;" "$root/usr/share/applications/net.tolvane.Quorvelle.Import.desktop" ||
      fail ".opml files are $type here, which the import entry does not claim"
  done
fi

if command -v lintian > /dev/null; then
  # The hardening tags are information (-I) in Debian 12's lintian.
  lintian -I "$deb" > "$work/lintian.txt" 2>&1 || true
  watched='^E: |^W: .*(md5sums|-perm|world-writable|wrong-file-owner)'
  # Sanitizer and fuzz builds leave the hardening flags out whatever the option says.
  if grep -q '^QUORVELLE_HARDENING:BOOL=ON$' "$build/CMakeCache.txt" &&
    ! grep -Eq '^QUORVELLE_(SANITIZE|FUZZ):BOOL=ON$' "$build/CMakeCache.txt"; then
    watched="$watched|^[WI]: .*hardening-"
  else
    echo "this build is not hardened (QUORVELLE_HARDENING=OFF, or a sanitizer or fuzz build): the hardening of its programs was not checked"
  fi
  if grep -E "$watched" "$work/lintian.txt"; then
    fail "lintian complains (above)"
  fi
else
  echo "lintian is not installed: the package was not checked with it"
fi
exit "$failed"
