#!/usr/bin/env bash
# Times the command line against newsboat on the same files, whole processes
# in one run (best of 3 each):
#   import: "quorvelle import big.opml" of 10,000 feeds into a list that holds
#           10,000 in the import's target category (half of the incoming
#           addresses are there already, in other letter case), against
#           "newsboat -i big.opml" with the same 10,000 in its urls file;
#   export: "quorvelle export out.opml" of 10,000 feeds in 10 categories,
#           against "newsboat -e" of the same 10,000.
# Target: no slower than newsboat (ratio <= 1.00). Nothing of the user's is
# touched: a temporary HOME and settings.
#   bench/cli_bench.sh [build-folder]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
quorvelle="$build/bin/quorvelle"
newsboat="$(command -v newsboat || true)"
if [ ! -x "$quorvelle" ]; then
  echo "cli_bench: $quorvelle is missing; build it first (ninja -C $build quorvelle)" >&2
  exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export QUORVELLE_REGISTRY="$work/registry" LANG=C.UTF-8 LC_ALL=C.UTF-8
mkdir -p "$HOME" "$QUORVELLE_REGISTRY" "$work/app" "$work/peer"
cp data/FeedsToOPML.xsl data/OpmlToFeeds.xsl "$work/app/"
printf '; Quorvelle registry store\n\n[Software\\Tolvane\\Quorvelle]\n"AppPath"="%s/app/"\n' "$work" \
  > "$QUORVELLE_REGISTRY/HKEY_CURRENT_USER.reg"
list="$XDG_DATA_HOME/Quorvelle/Feeds.xml"
mkdir -p "$(dirname "$list")"

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
N = 10000
def address(i, upper=False):
    a = "https://feeds%05d.example.com/rss/main.xml" % i
    return a.upper() if upper else a
# The list to import: feeds 5,000 to 14,999, in capitals, titled like the target.
with open(work + "/big.opml", "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<opml version="2.0"><head><title>Target</title></head><body>\n')
    for i in range(N // 2, N // 2 + N):
        f.write('<outline type="rss" text="Feed %d" xmlUrl="%s"/>\n' % (i, address(i, True)))
    f.write('</body></opml>\n')
# Quorvelle's list before the import: feeds 0 to 9,999 in the category Target.
with open(work + "/import-base.xml", "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>'
            '<Quorvelle_Category name="Target" description="">')
    for i in range(N):
        f.write('<Quorvelle_Feed src="%s" enabled="true" title="Feed %d"/>' % (address(i), i))
    f.write('</Quorvelle_Category></Quorvelle_Categories></Quorvelle_Feeds>')
# Quorvelle's list to export: 10,000 feeds in 10 categories.
with open(work + "/export-base.xml", "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>')
    for c in range(10):
        f.write('<Quorvelle_Category name="Category %d" description="">' % c)
        for i in range(c * N // 10, (c + 1) * N // 10):
            f.write('<Quorvelle_Feed src="%s" enabled="true" title="Feed %d"/>' % (address(i), i))
        f.write('</Quorvelle_Category>')
    f.write('</Quorvelle_Categories></Quorvelle_Feeds>')
# newsboat's urls file with the same 10,000 feeds.
with open(work + "/urls-base", "w") as f:
    for i in range(N):
        f.write("%s \"Category %d\"\n" % (address(i), i * 10 // N))
PY

now() { date +%s%N; }
# best_of SETUP COMMAND...: the best of 3 runs of COMMAND in milliseconds,
# SETUP run before each.
best_of() {
  local setup="$1" best="" start end ms
  shift
  for _ in 1 2 3; do
    eval "$setup"
    start=$(now)
    "$@" >/dev/null 2>"$work/stderr" || { echo "cli_bench: failed: $* ($(cat "$work/stderr"))" >&2; exit 1; }
    end=$(now)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
peer=(-u "$work/peer/urls" -C "$work/peer/config" -c "$work/peer/cache.db")
: > "$work/peer/config"

q_import=$(best_of 'cp "$work/import-base.xml" "$list"' "$quorvelle" import "$work/big.opml")
count=$(grep -o '<Quorvelle_Feed ' "$list" | wc -l)
q_export=$(best_of 'cp "$work/export-base.xml" "$list"' "$quorvelle" export "$work/out.opml")
exported=$(grep -c 'xmlUrl=' "$work/out.opml")
echo "quorvelle import 10000 into 10000 (half present in other case): ${q_import} ms, list now ${count} feeds"
echo "quorvelle export 10000 in 10 categories: ${q_export} ms, ${exported} feeds written"
if [ "$count" -ne 15000 ] || [ "$exported" -ne 10000 ]; then
  echo "cli_bench: WRONG COUNT" >&2
  exit 1
fi
if [ -z "$newsboat" ]; then
  echo "newsboat not installed: no peer comparison"
  exit 0
fi
n_import=$(best_of 'cp "$work/urls-base" "$work/peer/urls"; rm -f "$work/peer/cache.db"*' \
  "$newsboat" "${peer[@]}" -i "$work/big.opml")
n_export=$(best_of 'cp "$work/urls-base" "$work/peer/urls"' "$newsboat" "${peer[@]}" -e)
echo "newsboat -i of the same file: ${n_import} ms; newsboat -e of the same 10000: ${n_export} ms"
awk -v a="$q_import" -v b="$n_import" -v c="$q_export" -v d="$n_export" 'BEGIN {
  if (b < 1) b = 1; if (d < 1) d = 1;
  printf "ratio import quorvelle/newsboat: %.2f (target <= 1.00)\n", a / b;
  printf "ratio export quorvelle/newsboat: %.2f (target <= 1.00)\n", c / d }'
