#!/usr/bin/env bash
# Times the report as the one renderer in the core shows it, against loopback
# feed servers (bench/feed_hosts.py), and prints each figure with its target
# and their ratio (<= 1 meets it):
#  A. 40 feeds x 300 ms on 10 hosts: every headline in our browser.
#  B. The same with 2 silent feeds: the 38 others.
#  S. 40, 200 and 1,000 feeds in General on 10/25/50 hosts x 300 ms, no report
#     on disk yet ("View Feeds..." writes it): first headline, all headlines,
#     and the browser's peak memory (its processes together), so the growth
#     from 40 to 200 to 1,000 feeds shows.
#  C. `quorvelle headlines` against `newsboat -x reload` + `newsboat -x
#     print-unread` on the same 40 servers, whole processes (skipped without
#     newsboat).
# Installs into a temporary folder; nothing of the user's is touched.
#   bench/headlines_bench.sh [build-folder]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
work="$(mktemp -d)"
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_STATE_HOME="$work/home/.local/state"
export QUORVELLE_REGISTRY="$work/home/.config/Quorvelle/registry" QUORVELLE_PREFIX="$work/opt"
mkdir -p "$HOME" "$XDG_DATA_HOME/Quorvelle"
scripts/install.sh "$build" >/dev/null
install="$QUORVELLE_PREFIX/Quorvelle"

python3 bench/feed_hosts.py 50 > "$work/port" &
server=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

url() { # <n> <host> <latency ms | hang>
  local query="ms=$3"
  [ "$3" = hang ] && query="hang=1"
  printf 'http://127.0.0.%s:%s/feed/%s.xml?%s' "$2" "$port" "$1" "$query"
}
write_list() { # feeds in General, from "n host latency" lines on stdin
  rm -rf "$install/headlines"
  { printf '<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>'
    while read -r n h l; do printf '<Quorvelle_Feed src="%s" enabled="true" title="Feed %s"/>' "$(url "$n" "$h" "$l")" "$n"; done
    printf '</Quorvelle_Categories></Quorvelle_Feeds>'; } > "$XDG_DATA_HOME/Quorvelle/Feeds.xml"
}
# Sum of the resident memory of pid and every process below it, in KiB.
tree_rss() {
  ps -e -o pid=,ppid=,rss= | awk -v root="$1" '{p[$1]=$2; r[$1]=$3} END {
    for (id in p) { x = id; while (x != "" && x != root && x != 1 && x != 0) x = p[x]; if (x == root) s += r[id] } print s + 0 }'
}
run() { # <steps file>: output in $out, peak memory (KiB) in $peak
  QUORVELLE_HOST_SCRIPT="$1" "$install/quorvelle-browser" > "$work/out" 2>/dev/null &
  local pid=$!
  peak=0
  while kill -0 "$pid" 2>/dev/null; do
    local now
    now=$(tree_rss "$pid")
    [ "$now" -gt "$peak" ] && peak=$now
    sleep 0.2
  done
  wait "$pid" || true
  out="$(cat "$work/out")"
}
epoch() { echo "$out" | sed -n "s/^\[host\] mark $1 .* epoch \([0-9]*\)$/\1/p"; }
since() {
  local a b
  a=$(epoch "$1")
  b=$(epoch "$2")
  [ -n "$a" ] && [ -n "$b" ] && echo $((b - a)) || echo ""
}
report() { # <label> <ms or ""> <target ms>
  if [ -n "$2" ]; then
    printf '%-62s %6d ms (target %5d ms, ratio %5.2f)\n' "$1" "$2" "$3" "$(awk "BEGIN{print $2/$3}")"
  else
    printf '%-62s  never (target %5d ms)\n' "$1" "$3"
  fi
}
view_steps() { # <headlines to wait for> <wait ms>
  cat <<STEPS
timeout 60000
wait-band
timeout $2
mark view
band View Feeds...
wait-js location.href.indexOf('/headlines/index.html') >= 0 && document.querySelectorAll('.q-item').length >= 1
mark first
wait-js document.querySelectorAll('.q-item').length >= $1
mark shown
quit
STEPS
}

# A and B
for n in $(seq 1 40); do echo "$n $((n % 10 + 1)) 300"; done | write_list
view_steps 40 20000 > "$work/a"
run "$work/a"
report "A. 40 feeds x 300 ms, 10 hosts: all headlines" "$(since view shown)" 1000
for n in $(seq 1 40); do
  if [ "$n" = 7 ] || [ "$n" = 23 ]; then echo "$n $((n % 10 + 1)) hang"; else echo "$n $((n % 10 + 1)) 300"; fi
done | write_list
view_steps 38 20000 > "$work/b"
run "$work/b"
report "B. the same, 2 silent: the 38 others" "$(since view shown)" 1000

# S
for size in 40:10 200:25 1000:50; do
  count=${size%%:*}
  hosts=${size##*:}
  for n in $(seq 1 "$count"); do echo "$n $((n % hosts + 1)) 300"; done | write_list
  view_steps "$count" 60000 > "$work/s"
  run "$work/s"
  report "S. $count feeds x 300 ms, $hosts hosts: first headline" "$(since view first)" 3000
  report "S. $count feeds x 300 ms, $hosts hosts: all headlines" "$(since view shown)" 3000
  printf '%-62s %6d MiB\n' "S. $count feeds: peak memory of the browser" $((peak / 1024))
done

# C
for n in $(seq 1 40); do echo "$n $((n % 10 + 1)) 300"; done | write_list
ms() { local a b; a=$(date +%s%3N); "$@" > /dev/null 2>&1 || true; b=$(date +%s%3N); echo $((b - a)); }
ours=$(ms "$install/quorvelle" headlines)
lines=$("$install/quorvelle" headlines 2>/dev/null | grep -c '^  \* ' || true)
printf '%-62s %6d ms (%s headlines)\n' "C. quorvelle headlines, 40 feeds x 300 ms" "$ours" "$lines"
if command -v newsboat > /dev/null; then
  for n in $(seq 1 40); do url "$n" $((n % 10 + 1)) 300; echo; done > "$work/urls"
  theirs=$(ms sh -c "newsboat -u '$work/urls' -c '$work/cache.db' -C /dev/null -x reload && newsboat -u '$work/urls' -c '$work/cache.db' -C /dev/null -x print-unread")
  printf '%-62s %6d ms (ratio ours/theirs %5.2f)\n' "C. newsboat -x reload + -x print-unread, same 40" "$theirs" \
    "$(awk "BEGIN{print $ours/$theirs}")"
fi
