#!/usr/bin/python3
"""A stand-in for the Discogs, MusicBrainz and Cover Art Archive web services in tests.

Listens on one or more loopback addresses (a free port each), answers GET requests from a routes
file that is read afresh for every request, and appends every request (arrival time on the
monotonic clock, listener, target, headers) as one JSON line to a log file.

Routes file: {"routes": [ROUTE...], "fallback": ROUTE}. A ROUTE matches when its "path" equals the
request path and every text of its "query_has" occurs in the raw query string; the first match
answers. Answer keys: "status" (200), "reason", "json" (a value sent as JSON) or "body" (text) or
"body_latin1" (text whose characters are sent as single bytes), "pad_to" (spaces appended up to
that many bytes), "headers" ({name: value} or [[name, value]...]), "delay" (seconds before answering), "close"
("before": drop the connection without answering; "mid-body": announce more bytes than are sent).

With --tls-cert and --tls-key every listener speaks HTTPS with that certificate.

Prints "LISTEN <base address>" per listener, then "READY".
"""
import argparse
import http.server
import json
import socket
import ssl
import sys
import threading
import time
import urllib.parse

log_lock = threading.Lock()


def make_handler(listener, routes_path, log_path):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, format, *args):
            pass

        def do_GET(self):
            parsed = urllib.parse.urlsplit(self.path)
            entry = {
                "t": time.monotonic(),
                "listener": listener,
                "method": self.command,
                "target": self.path,
                "path": parsed.path,
                "query": parsed.query,
                "headers": [[k, v] for k, v in self.headers.items()],
            }
            with log_lock:
                with open(log_path, "a", encoding="utf-8") as log:
                    log.write(json.dumps(entry) + "\n")
            with open(routes_path, encoding="utf-8") as f:
                config = json.load(f)
            route = next((r for r in config.get("routes", [])
                          if r.get("path") == parsed.path
                          and all(q in parsed.query for q in r.get("query_has", []))),
                         config.get("fallback", {"status": 404, "json": {"message": "not found"}}))
            self.answer(route)

        def answer(self, route):
            if route.get("delay"):
                time.sleep(route["delay"])
            if route.get("close") == "before":
                self.close_connection = True
                return
            if "json" in route:
                body = json.dumps(route["json"]).encode("utf-8")
            elif "body_latin1" in route:
                body = route["body_latin1"].encode("latin-1")
            else:
                body = route.get("body", "").encode("utf-8")
            if route.get("pad_to", 0) > len(body):
                body += b" " * (route["pad_to"] - len(body))
            try:
                self.send_response(route.get("status", 200), route.get("reason"))
                headers = route.get("headers", [])
                for name, value in headers.items() if isinstance(headers, dict) else headers:
                    self.send_header(name, value)
                self.send_header("Content-Type", "application/json")
                if route.get("close") == "mid-body":
                    self.send_header("Content-Length", str(len(body) + 1000))
                    self.end_headers()
                    self.wfile.write(body)
                    self.wfile.flush()
                    self.connection.shutdown(socket.SHUT_RDWR)
                    self.close_connection = True
                    return
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                self.close_connection = True

    return Handler


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that gives up (a refused TLS handshake, a timeout) is part of the tests


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--routes", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--listen", action="append", default=[])
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args()
    servers = []
    for i, address in enumerate(args.listen or ["127.0.0.1"]):
        server = Server((address, 0), make_handler(i, args.routes, args.log))
        scheme = "http"
        if args.tls_cert:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(args.tls_cert, args.tls_key)
            server.socket = context.wrap_socket(server.socket, server_side=True)
            scheme = "https"
        servers.append(server)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        print("LISTEN %s://%s:%d" % (scheme, address, server.server_address[1]), flush=True)
    print("READY", flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    sys.exit(main())
