#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: set up, build, install into the
# per-user installation folder and start the Quorvelle browser with the band.
#   scripts/run.sh           your own feed list
#   scripts/run.sh --demo    sample feeds served from 127.0.0.1 (no network)
# Without a display the browser runs under a virtual one, shows the demo's
# headlines report and saves a picture of it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh build
scripts/install.sh build
prefix="${QUORVELLE_PREFIX:-$HOME/.local/opt}"
registry="${QUORVELLE_REGISTRY:-${XDG_CONFIG_HOME:-$HOME/.config}/Quorvelle/registry}"
data="${XDG_DATA_HOME:-$HOME/.local/share}/Quorvelle"
browser="$prefix/Quorvelle/quorvelle-browser"
echo
echo "Quorvelle is installed in $prefix/Quorvelle/"
echo "Settings (registry store): $registry/HKEY_CURRENT_USER.reg, key Software\\Tolvane\\Quorvelle"
echo "Feed list: $data/Feeds.xml"
echo "Remove it again with scripts/uninstall.sh (your feed list is kept)."
echo

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$browser" "$@"
fi

echo "No display (\$DISPLAY is not set): running the browser on a virtual display with the demo feeds,"
echo "opening the headlines report and saving a picture of it."
shot="${QUORVELLE_SCREENSHOT:-$PWD/build/quorvelle-report.png}"
script="$(mktemp)"
trap 'rm -f "$script"' EXIT
cat > "$script" <<STEPS
wait-band
wait-loaded
band View Feeds...
wait-js document.querySelectorAll('.q-item').length > 0 && document.querySelectorAll('.q-loading').length === 0
sleep 500
screenshot-window $shot
quit
STEPS
runner=()
if command -v xvfb-run >/dev/null 2>&1; then
  runner=(xvfb-run -a -s "-screen 0 1280x1024x24")
else
  export QT_QPA_PLATFORM=offscreen
fi
QUORVELLE_HOST_SCRIPT="$script" "${runner[@]}" "$browser" --demo
echo "The report as the browser shows it: $shot"
