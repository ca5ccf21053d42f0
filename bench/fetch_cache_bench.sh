#!/usr/bin/env bash
# The feed cache against loopback feed servers (bench/feed_hosts.py): 40
# feeds on 10 hosts, each answered after 300 ms, with ETag, Last-Modified and
# Cache-Control. Each view is a new process (build/bench/fetch_cache_bench)
# sharing one cache folder. Prints times, request counts and ratios to their
# targets (<= 1 meets it):
#  A. first view, empty cache: all final within 1.0 s
#  B. second view, max-age 300: all shown within 200 ms, 0 requests
#  C. second view, max-age 0: all shown from the cache within 200 ms, then
#     only conditional requests, every one answered 304
#  D. a host that answered 429 with Retry-After: 3600: 0 requests to it on
#     the next view
#  E. side by side: newsboat -x reload twice on the max-age 300 feeds (its
#     second reload's requests and time)
#   bench/fetch_cache_bench.sh [build-folder]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
bench="$build/bench/fetch_cache_bench"
work="$(mktemp -d)"
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
export HOME="$work/home" XDG_CACHE_HOME="$work/home/.cache" XDG_CONFIG_HOME="$work/home/.config"
export XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"

python3 bench/feed_hosts.py 11 > "$work/port" &
server=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

urls() { # <max-age>
  for i in $(seq 0 39); do echo "http://127.0.0.$((i % 10 + 1)):$port/feed/f$i.xml?ms=300&maxage=$1"; done
}
stats() { curl -s "http://127.0.0.1:$port/stats"; }
reset() { curl -s "http://127.0.0.1:$port/reset" >/dev/null; }
total() { # <stats json> <key> [host]
  python3 -c 'import json,sys; d=json.loads(sys.argv[1]); h=sys.argv[3] if len(sys.argv)>3 else None
print(sum(v[sys.argv[2]] for k,v in d.items() if h is None or k==h))' "$@"
}
field() { sed -n "s/.*\\b$1=\\([0-9]*\\).*/\\1/p" <<<"$2"; }
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1])/float(sys.argv[2]):.2f}')" "$1" "$2"; }

mapfile -t fresh < <(urls 300)
mapfile -t stale < <(urls 0)

reset
a=$("$bench" "$work/cache300" normal "${fresh[@]}")
a_requests=$(total "$(stats)" requests)
echo "A first view:              $a requests=$a_requests  ratio $(ratio "$(field final_ms "$a")" 1000)"
reset
b=$("$bench" "$work/cache300" normal "${fresh[@]}")
b_requests=$(total "$(stats)" requests)
echo "B second view, max-age 300: $b requests=$b_requests  ratio $(ratio "$(field final_ms "$b")" 200) (requests: $b_requests of 0)"

"$bench" "$work/cache0" normal "${stale[@]}" >/dev/null
reset
c=$("$bench" "$work/cache0" normal "${stale[@]}")
s=$(stats)
echo "C second view, max-age 0:   $c requests=$(total "$s" requests) conditional=$(total "$s" conditional) answered-304=$(total "$s" not_modified)  ratio $(ratio "$(field first_ms "$c")" 200) (shown from cache), final $(ratio "$(field final_ms "$c")" 1000)"

busy="http://127.0.0.11:$port/feed/busy.xml?status=429&retry=3600"
"$bench" "$work/cache0" normal "$busy" >/dev/null || true
reset
d=$("$bench" "$work/cache0" normal "$busy" "${stale[@]:0:4}" || true)
echo "D after 429 Retry-After 3600: $d requests to that host=$(total "$(stats)" requests 127.0.0.11) (of 0)"

if command -v newsboat >/dev/null; then
  printf '%s\n' "${fresh[@]}" > "$work/newsboat-urls"
  printf 'reload-threads 10\n' > "$work/newsboat-config"
  run_newsboat() {
    local start end
    start=$(date +%s%N)
    newsboat -x reload -u "$work/newsboat-urls" -c "$work/newsboat-cache.db" -C "$work/newsboat-config" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
  }
  reset
  n1=$(run_newsboat)
  n1_requests=$(total "$(stats)" requests)
  reset
  n2=$(run_newsboat)
  s=$(stats)
  echo "E newsboat -x reload: first ${n1} ms requests=$n1_requests; second ${n2} ms requests=$(total "$s" requests) conditional=$(total "$s" conditional) answered-304=$(total "$s" not_modified)"
  echo "  second view, ours vs newsboat's second reload: time $(ratio "$(field final_ms "$b")" "$n2"), requests $b_requests vs $(total "$s" requests)"
fi
