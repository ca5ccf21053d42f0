#!/usr/bin/env bash
# Times the headlines report against slow and silent feed servers, as a user
# meets it ("View Feeds..." in the browser, driven by QUORVELLE_HOST_SCRIPT),
# and prints each time with its target and their ratio (<= 1 meets it):
#  A. 40 feeds in General on 10 hosts (127.0.0.1-10), each answered after
#     300 ms: all shown within 2 x 300 ms + 0.5 s.
#  B. The same with 2 feeds whose server never answers: the other 38 shown as
#     fast; the 2 show their failure text when the feed time limit (30 s)
#     passes.
#  C. Closing the window while B's silent feeds still load: < 1 s to exit.
#  D. 200 feeds in 10 categories on 20 hosts, 50-800 ms each, 5 % silent:
#     every category page shows its reachable feeds within 2 x its slowest
#     latency + 0.5 s (the worst page is printed).
# Feeds come from bench/feed_hosts.py on loopback addresses only. Installs
# into a temporary folder; nothing of the user's is touched.
#   bench/report_fetch_bench.sh [build-folder]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
work="$(mktemp -d)"
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
[ -n "${BENCH_KEEP:-}" ] && echo "work folder: $work"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export QUORVELLE_REGISTRY="$work/home/.config/Quorvelle/registry" QUORVELLE_PREFIX="$work/opt"
mkdir -p "$HOME" "$XDG_DATA_HOME/Quorvelle"
scripts/install.sh "$build" >/dev/null
install="$QUORVELLE_PREFIX/Quorvelle"
limit=30000

python3 bench/feed_hosts.py 20 > "$work/port" &
server=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

# feed <n> <host> <latency ms | hang>
feed() {
  local query="ms=$3"
  [ "$3" = hang ] && query="hang=1"
  printf '<Quorvelle_Feed src="http://127.0.0.%s:%s/feed/%s.xml?%s" enabled="true" title="Feed %s"/>' "$2" "$port" "$1" "$query" "$1"
}
# The list, and no report yet: "View Feeds..." builds it anew.
write_list() {
  rm -rf "$install/headlines"
  { printf '<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>'
    cat
    printf '</Quorvelle_Categories></Quorvelle_Feeds>'; } > "$XDG_DATA_HOME/Quorvelle/Feeds.xml"
}
# run <steps file>: the browser's output in $out, its exit time in $ended.
run() {
  out="$(QUORVELLE_HOST_SCRIPT="$1" "$install/quorvelle-browser" 2>/dev/null)" || true
  ended=$(date +%s%3N)
}
epoch() { echo "$out" | sed -n "s/^\[host\] mark $1 .* epoch \([0-9]*\)$/\1/p"; }
# since <from mark> <to mark>: milliseconds between them, or "" when the second never came.
since() {
  local a b
  a=$(epoch "$1")
  b=$(epoch "$2")
  [ -n "$a" ] && [ -n "$b" ] && echo $((b - a)) || echo ""
}
report() { # <label> <ms or ""> <target ms> [<waited ms>]
  if [ -n "$2" ]; then
    printf '%-58s %6d ms (target %5d ms, ratio %5.2f)\n' "$1" "$2" "$3" "$(awk "BEGIN{print $2/$3}")"
  else
    printf '%-58s  never within %d s (target %5d ms)\n' "$1" "$(($4 / 1000))" "$3"
  fi
}
view_steps() { # <reachable count> <wait ms>
  cat <<STEPS
timeout 60000
wait-band
timeout $2
mark view
band View Feeds...
wait-js location.href.indexOf('/headlines/index.html') >= 0 && document.querySelectorAll('.q-item').length >= $1
mark shown
STEPS
}

# A
for n in $(seq 1 40); do feed "$n" $((n % 10 + 1)) 300; done | write_list
{ view_steps 40 20000; echo quit; } > "$work/a"
run "$work/a"
report "A. 40 feeds x 300 ms, 10 hosts: all shown" "$(since view shown)" 1100 20000

# B
for n in $(seq 1 40); do
  if [ "$n" = 7 ] || [ "$n" = 23 ]; then feed "$n" $((n % 10 + 1)) hang; else feed "$n" $((n % 10 + 1)) 300; fi
done | write_list
{ view_steps 38 60000
  echo "timeout $((limit + 30000))"
  echo "wait-js document.querySelectorAll('.q-loading').length === 0 && document.querySelectorAll('.q-failed').length === 2"
  echo "mark settled"
  echo quit; } > "$work/b"
run "$work/b"
report "B. the same, 2 silent: the 38 others shown" "$(since view shown)" 1100 60000
report "B. the 2 silent ones show their failure text" "$(since view settled)" $((limit + 1000)) $((limit + 30000))

# C
{ echo "timeout 60000"; echo wait-band; echo "band View Feeds..."
  echo "wait-js location.href.indexOf('/headlines/index.html') >= 0 && document.querySelectorAll('.q-loading').length > 0"
  echo "sleep 2000"; echo "mark close"; echo quit; } > "$work/c"
run "$work/c"
closed=""
[ -n "$(epoch close)" ] && closed=$((ended - $(epoch close)))
report "C. closing the window while 2 feeds still load" "$closed" 1000 60

# D: feed n (1-200) in category (n-1)/20+1, host n%20+1, latency 50-800 ms, every 20th silent.
latency() { echo $(((($1 * 7919) % 751) + 50)); }
for c in $(seq 1 10); do
  printf '<Quorvelle_Category name="Cat%02d" description="">' "$c"
  for i in $(seq 1 20); do
    n=$(((c - 1) * 20 + i))
    if [ $((n % 20)) = 7 ]; then feed "$n" $((n % 20 + 1)) hang; else feed "$n" $((n % 20 + 1)) "$(latency "$n")"; fi
  done
  printf '</Quorvelle_Category>'
done | write_list
{ echo "timeout 60000"; echo wait-band; echo "band View Feeds..."
  echo "wait-js location.href.indexOf('/headlines/index.html') >= 0 && document.querySelectorAll('.q-category-link').length === 10"
  echo "timeout 15000"
  for c in $(seq 1 10); do
    printf 'mark open-%d\nopen %s/headlines/Cat%02d/index.html\n' "$c" "$install" "$c"
    echo "wait-js location.href.indexOf('Cat$(printf %02d "$c")/index.html') >= 0 && document.querySelectorAll('.q-item').length >= 19"
    echo "mark shown-$c"
  done
  echo quit; } > "$work/d"
run "$work/d"
worst=""; worstTarget=1; worstPage=""
for c in $(seq 1 10); do
  t=$(since "open-$c" "shown-$c")
  slowest=0
  for i in $(seq 1 20); do
    n=$(((c - 1) * 20 + i))
    [ $((n % 20)) = 7 ] && continue
    l=$(latency "$n"); [ "$l" -gt "$slowest" ] && slowest=$l
  done
  target=$((2 * slowest + 500))
  if [ -z "$t" ]; then worst=""; worstTarget=$target; worstPage="Cat$(printf %02d "$c")"; break; fi
  if [ -z "$worst" ] || awk "BEGIN{exit !($t/$target > $worst/$worstTarget)}"; then
    worst=$t; worstTarget=$target; worstPage="Cat$(printf %02d "$c")"
  fi
done
report "D. 200 feeds, 20 hosts, 5 % silent: worst page ($worstPage)" "$worst" "$worstTarget" 15000
