#!/usr/bin/env bash
# Times the browser with the band, as a user meets it:
#  1. from starting quorvelle-browser to the band being shown (target < 1.5 s);
#  2. from "View Feeds..." to the first headlines on screen, and to every
#     feed's headlines, with 20 local feeds (target < 2 s for the first).
# The feeds are served from 127.0.0.1 by the browser's demo mode, so no
# network is used. Installs into a temporary folder; nothing of the user's
# is touched.
#   bench/host_bench.sh [build-folder]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export QUORVELLE_REGISTRY="$work/home/.config/Quorvelle/registry" QUORVELLE_PREFIX="$work/opt"
mkdir -p "$HOME"
scripts/install.sh "$build" >/dev/null
install="$QUORVELLE_PREFIX/Quorvelle"
# 20 feeds, all in the General category (the start page shows them all).
rm -f "$install"/demo/*.xml
for n in $(seq -w 1 20); do
  sed "s|<title>Garden notes</title>|<title>Local feed $n</title>|" data/demo/garden-notes.xml > "$install/demo/local-$n.xml"
done
cat > "$work/steps" <<'STEPS'
timeout 30000
wait-band
mark band-shown
open about:blank
wait-loaded
mark view-feeds
band View Feeds...
wait-js location.href.indexOf('/headlines/index.html') >= 0 && document.querySelectorAll('.q-item').length > 0
mark first-headlines
wait-js document.querySelectorAll('.q-item').length >= 60 && document.querySelectorAll('.q-loading').length === 0
mark all-headlines
print-js document.querySelectorAll('.q-item').length
quit
STEPS
started=$(date +%s%3N)
out="$(QUORVELLE_HOST_SCRIPT="$work/steps" "$install/quorvelle-browser" --demo 2>/dev/null)" || {
  echo "host_bench: the browser run failed:"; echo "$out"; exit 1; }
epoch() { echo "$out" | sed -n "s/^\[host\] mark $1 .* epoch \([0-9]*\)$/\1/p"; }
band=$(( $(epoch band-shown) - started ))
first=$(( $(epoch first-headlines) - $(epoch view-feeds) ))
all=$(( $(epoch all-headlines) - $(epoch view-feeds) ))
items=$(echo "$out" | sed -n 's/^\[host\] js: //p')
printf 'start to band shown:                    %5d ms (target 1500 ms, ratio %.2f)\n' "$band" "$(awk "BEGIN{print $band/1500}")"
printf '"View Feeds..." to first headlines:     %5d ms (target 2000 ms, ratio %.2f)\n' "$first" "$(awk "BEGIN{print $first/2000}")"
printf '"View Feeds..." to all 20 feeds shown:  %5d ms (%s headlines)\n' "$all" "$items"
