#!/usr/bin/env python3
"""Feed servers for bench/report_fetch_bench.sh: one HTTP server on each of
127.0.0.1 .. 127.0.0.N (all on one port), each request answered after the
latency its address asks for, or never.

  /feed/<id>.xml?ms=<latency>   an RSS feed with one item, after <latency> ms
  /feed/<id>.xml?hang=1         headers never come (the connection stays open)
  ...&maxage=<s>                with ETag, Last-Modified and Cache-Control:
                                max-age=<s>; a request with the same
                                If-None-Match (or If-Modified-Since) gets 304
  ...&status=429&retry=<s>      answers 429 (or 503), Retry-After: <s>
  /stats                        JSON: requests per host address (total,
                                conditional, answered 304), not counted
  /reset                        sets the counts back to 0

Prints the port, then serves until killed. Loopback addresses only."""
import json
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlparse


MODIFIED = "Tue, 01 Dec 2026 10:00:00 GMT"
counts = {}
counts_lock = threading.Lock()


def count(host, key):
    with counts_lock:
        entry = counts.setdefault(host, {"requests": 0, "conditional": 0, "not_modified": 0})
        entry[key] += 1


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urlparse(self.path)
        query = parse_qs(url.query)
        host = self.server.server_address[0]
        if url.path == "/stats":
            with counts_lock:
                body = json.dumps(counts).encode()
            return self.answer(200, body, [("Content-Type", "application/json")])
        if url.path == "/reset":
            with counts_lock:
                counts.clear()
            return self.answer(200)
        count(host, "requests")
        if query.get("hang"):
            time.sleep(600)
            return
        time.sleep(int(query.get("ms", ["0"])[0]) / 1000.0)
        name = url.path.rsplit("/", 1)[-1]
        if query.get("status"):
            return self.answer(int(query["status"][0]), b"busy", [("Retry-After", query.get("retry", ["60"])[0])])
        validators = []
        if query.get("maxage"):
            etag = f'"{name}-1"'
            validators = [("ETag", etag), ("Last-Modified", MODIFIED),
                          ("Cache-Control", f"max-age={query['maxage'][0]}")]
            match = self.headers.get("If-None-Match")
            since = self.headers.get("If-Modified-Since")
            if match or since:
                count(host, "conditional")
            if (match == etag) or (match is None and since == MODIFIED):
                count(host, "not_modified")
                self.send_response(304)
                for header, value in validators:
                    self.send_header(header, value)
                self.end_headers()
                return
        body = ('<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel>'
                f'<title>{name}</title><link>http://example.org/</link>'
                f'<item><title>Headline of {name}</title><link>http://example.org/{name}</link></item>'
                '</channel></rss>').encode()
        self.answer(200, body, [("Content-Type", "application/xml")] + validators)

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
