#!/usr/bin/env python3
"""Feed servers for bench/report_fetch_bench.sh: one HTTP server on each of
127.0.0.1 .. 127.0.0.N (all on one port), each request answered after the
latency its address asks for, or never.

  /feed/<id>.xml?ms=<latency>   an RSS feed with one item, after <latency> ms
  /feed/<id>.xml?hang=1         headers never come (the connection stays open)

Prints the port, then serves until killed. Loopback addresses only."""
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlparse


class Handler(BaseHTTPRequestHandler):
    def do_GET(self):
        url = urlparse(self.path)
        query = parse_qs(url.query)
        if query.get("hang"):
            time.sleep(600)
            return
        time.sleep(int(query.get("ms", ["0"])[0]) / 1000.0)
        name = url.path.rsplit("/", 1)[-1]
        body = ('<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel>'
                f'<title>{name}</title><link>http://example.org/</link>'
                f'<item><title>Headline of {name}</title><link>http://example.org/{name}</link></item>'
                '</channel></rss>').encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/xml")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128


def main():
    hosts = int(sys.argv[1])
    first = Server(("127.0.0.1", 0), Handler)
    port = first.server_address[1]
    servers = [first] + [Server((f"127.0.0.{n}", port), Handler) for n in range(2, hosts + 1)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print(port, flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    main()
