#!/usr/bin/env bash
# scripts/browser-hosts.sh in a temporary home: install writes a manifest for
# Chromium, Google Chrome and Firefox naming the host and exactly the
# extension's ids; uninstall takes back only its own, leaving another
# program's manifest and the user's browser folders alone.
#   browser_hosts_test.sh <source dir> <build dir>
set -euo pipefail
source_dir="$1"
build="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
app="$work/app with space"
mkdir -p "$app" "$HOME/.config/chromium/Default"
cp "$build/bin/quorvelle-native-host" "$app/"
cp -R "$build/extension" "$app/extension"
fail() { echo "FAILED: $*"; exit 1; }

"$source_dir/scripts/browser-hosts.sh" install "$app"
chromium_id="$(sed -n 's/^ *"chromium": *"\([a-p]\{32\}\)".*/\1/p' "$build/extension/ids.json")"
[ -n "$chromium_id" ] || fail "no Chromium id in ids.json"
for file in "$HOME/.config/chromium/NativeMessagingHosts/net.tolvane.quorvelle.json" \
  "$HOME/.config/google-chrome/NativeMessagingHosts/net.tolvane.quorvelle.json"; do
  python3 - "$file" "$app/quorvelle-native-host" "chrome-extension://$chromium_id/" <<'PY' || fail "$file"
import json, sys
m = json.load(open(sys.argv[1]))
assert m["name"] == "net.tolvane.quorvelle" and m["type"] == "stdio", m
assert m["path"] == sys.argv[2], m
assert m["allowed_origins"] == [sys.argv[3]], m
PY
done
python3 - "$HOME/.mozilla/native-messaging-hosts/net.tolvane.quorvelle.json" "$app/quorvelle-native-host" <<'PY' || fail firefox
import json, sys
m = json.load(open(sys.argv[1]))
assert m["path"] == sys.argv[2] and m["allowed_extensions"] == ["quorvelle@tolvane.net"], m
PY

# A manifest of the same name from another installation is not ours to remove.
other="$HOME/.config/google-chrome/NativeMessagingHosts/net.tolvane.quorvelle.json"
printf '{"name": "net.tolvane.quorvelle", "path": "/opt/elsewhere/quorvelle-native-host"}\n' > "$other"
"$source_dir/scripts/browser-hosts.sh" uninstall "$app"
[ ! -e "$HOME/.config/chromium/NativeMessagingHosts" ] || fail "Chromium manifest left"
[ ! -e "$HOME/.mozilla" ] || fail "Firefox manifest left"
[ -d "$HOME/.config/chromium/Default" ] || fail "the user's Chromium profile went"
[ -f "$other" ] || fail "another installation's manifest was removed"
echo "browser host registration: ok"
