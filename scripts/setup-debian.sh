#!/usr/bin/env bash
# Installs every Debian package Quorvelle needs to build, test and run.
# Non-interactive and idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git
  libxml2-dev libxslt1-dev libcurl4-openssl-dev libpcre2-dev libicu-dev
  qt6-base-dev qt6-webengine-dev qt6-webchannel-dev qt6-httpserver-dev qt6-websockets-dev libgl-dev
  libcli11-dev nlohmann-json3-dev help2man
  desktop-file-utils appstream xdg-utils dpkg-dev lintian
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  newsboat chromium xvfb xauth python3 fonts-dejavu-core fonts-noto-color-emoji
  nodejs firefox-esr
  clang-format
)
# npm for the extension checks; a Node.js from elsewhere brings its own.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages are installed"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
