#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: set up, build, install into the
# per-user installation folder and run Quorvelle.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh build
scripts/install.sh build
prefix="${QUORVELLE_PREFIX:-$HOME/.local/opt}"
registry="${QUORVELLE_REGISTRY:-${XDG_CONFIG_HOME:-$HOME/.config}/Quorvelle/registry}"
data="${XDG_DATA_HOME:-$HOME/.local/share}/Quorvelle"
echo
echo "Quorvelle is installed in $prefix/Quorvelle/"
echo "Settings (registry store): $registry/HKEY_CURRENT_USER.reg, key Software\\Tolvane\\Quorvelle"
echo "Feed list: $data/Feeds.xml"
