#!/usr/bin/env bash
# Registers the extension's native host with Chromium, Google Chrome and
# Firefox for this user, or takes the registrations back.
#   scripts/browser-hosts.sh install   <installation folder>
#   scripts/browser-hosts.sh uninstall <installation folder>
# The installation folder holds quorvelle-native-host and extension/ids.json
# (the ids each browser gives the extension). Only manifests that name this
# installation's host are removed.
set -euo pipefail
action="$1"
target="${2%/}"
host="$target/quorvelle-native-host"
name=net.tolvane.quorvelle
config="${XDG_CONFIG_HOME:-$HOME/.config}"
chromium_dirs=("$config/chromium/NativeMessagingHosts" "$config/google-chrome/NativeMessagingHosts")
firefox_dir="$HOME/.mozilla/native-messaging-hosts"

json_text() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
id_of() { sed -n "s/^ *\"$1\": *\"\([^\"]*\)\".*/\1/p" "$target/extension/ids.json"; }

case "$action" in
  install)
    if [ ! -x "$host" ] || [ ! -f "$target/extension/ids.json" ]; then
      echo "browser-hosts: no native host or extension in $target; browsers not registered"
      exit 0
    fi
    path="$(json_text "$host")"
    chromium_id="$(id_of chromium)"
    firefox_id="$(id_of firefox)"
    for dir in "${chromium_dirs[@]}"; do
      mkdir -p "$dir"
      printf '{\n  "name": "%s",\n  "description": "Quorvelle",\n  "path": "%s",\n  "type": "stdio",\n  "allowed_origins": ["chrome-extension://%s/"]\n}\n' \
        "$name" "$path" "$chromium_id" > "$dir/$name.json"
    done
    mkdir -p "$firefox_dir"
    printf '{\n  "name": "%s",\n  "description": "Quorvelle",\n  "path": "%s",\n  "type": "stdio",\n  "allowed_extensions": ["%s"]\n}\n' \
      "$name" "$path" "$firefox_id" > "$firefox_dir/$name.json"
    echo "browser-hosts: Chromium, Google Chrome and Firefox can reach $host"
    ;;
  uninstall)
    path="$(json_text "$host")"
    for dir in "${chromium_dirs[@]}" "$firefox_dir"; do
      file="$dir/$name.json"
      if [ -f "$file" ] && grep -qF "\"path\": \"$path\"" "$file"; then
        rm -f -- "$file"
        # The folders go again when the install made them (nothing else in them).
        rmdir -- "$dir" 2>/dev/null && rmdir -- "$(dirname "$dir")" 2>/dev/null || true
      fi
    done
    ;;
  *)
    echo "usage: $0 install|uninstall <installation folder>" >&2
    exit 2
    ;;
esac
