#!/usr/bin/env python3
"""AccurateRip database servers on 127.0.0.1 for the tests, one port per behaviour (MODES).

Usage: accuraterip_server.py ROOT. Files are served from ROOT by their request path. Prints
"name port" lines and "ready 0", and serves while its parent lives. Imported, start(root) does
the same for the caller.
"""
import http.server
import os
import socketserver
import sys
import time

import localservers

ROOT = "."
BOUND = 256 * 1024  # the client's bound on a reply's body


class Handler(http.server.BaseHTTPRequestHandler):
    mode = "plain"

    def log_message(self, *args):
        pass

    def reply(self, code, body=b"", headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        port = self.server.server_address[1]
        if (self.headers.get("Host") != "127.0.0.1:%d" % port or
                self.headers.get("Connection", "").lower() != "close"):
            return self.reply(400, b"bad request head\n")
        path = os.path.join(ROOT, self.path.lstrip("/"))
        data = open(path, "rb").read() if os.path.isfile(path) else None
        if self.mode == "silent":
            return time.sleep(3600)
        if data is None or self.mode == "missing":
            return self.reply(404, b"Not Found\n", [("Content-Length", "10")])
        if self.mode == "redirect":  # the file itself, but behind a redirect
            return self.reply(302, data, [("Location", "/elsewhere" + self.path),
                                          ("Content-Length", str(len(data)))])
        if self.mode == "cutrecord":  # a well-framed reply whose last record is cut
            data = data[:-5]
        if self.mode == "oversized":  # the disc's records again and again, past the bound
            data = data * (BOUND // len(data) + 1)
        if self.mode == "truncated":  # the connection ends halfway through the body
            return self.reply(200, data[:len(data) // 2], [("Content-Length", str(len(data)))])
        if self.mode == "chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for i in range(0, len(data), 7):
                part = data[i:i + 7]
                self.wfile.write(b"%x;piece\r\n%s\r\n" % (len(part), part))
            return self.wfile.write(b"0\r\nX-Trailer: end\r\n\r\n")
        self.reply(200, data, [("Content-Length", str(len(data)))])


class ChunkedHandler(Handler):
    protocol_version = "HTTP/1.1"


MODES = ["plain", "chunked", "missing", "redirect", "cutrecord", "oversized", "truncated",
         "silent"]


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients hang up mid-reply, on purpose


def start(root):
    """Starts every behaviour serving root; returns {name: port}; "refuse" is a port where
    nothing listens."""
    global ROOT
    ROOT = root
    return localservers.start_modes(
        MODES, Server, lambda mode: ChunkedHandler if mode == "chunked" else Handler)


if __name__ == "__main__":
    localservers.serve_while_parent_lives(start(sys.argv[1]))
