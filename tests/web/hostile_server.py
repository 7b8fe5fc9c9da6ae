#!/usr/bin/env python3
"""A publisher that misbehaves on purpose, chosen by the request path.

/tolm/motto.html answers as the path last set through /control/<case> (initially "site":
the demo publisher's own page); /count tells how many times it was asked for. Every other path
is a case of its own; see CASES.
"""
import argparse
import http.server
import os
import signal
import socket
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SITE = os.path.join(HERE, "..", "..", "site")
DESIGN = " 加油!   奋斗!   拼搏!"


def page(body, ctype="text/html; charset=utf-8", status=200):
    return lambda h: h.reply(status, ctype, body if isinstance(body, bytes) else body.encode("utf-8"))


def site(h):
    with open(os.path.join(SITE, "tolm", "motto.html"), "rb") as f:
        h.reply(200, "text/html; charset=utf-8", f.read())


def silent(h):
    # Connected, and never a word until the client gives up.
    time.sleep(120)


def short(h):
    h.send_response(200)
    h.send_header("Content-Type", "text/html; charset=utf-8")
    h.send_header("Content-Length", "1000")
    h.end_headers()
    h.wfile.write(b"<body>AB|1.0.35")
    h.wfile.flush()
    h.close_connection = True


def big(h):
    h.send_response(200)
    h.send_header("Content-Type", "text/html; charset=utf-8")
    h.end_headers()  # no length: the size shows only while it streams
    h.close_connection = True
    block = b"<body>" + b"x" * 65536
    try:
        for _ in range(160):  # 10 MB
            h.wfile.write(block)
    except OSError:
        pass


def loop(h):
    h.send_response(302)
    h.send_header("Location", "/loop")
    h.send_header("Content-Length", "0")
    h.end_headers()


CASES = {
    "site": site,
    "ok": page("<html><body>AB|1.0.34</body></html>"),
    "newer": page("<html><body>AB|1.0.35</body></html>"),
    "design": page("<html><body>" + DESIGN + "|1.0.34</body></html>"),
    "404": page("<html><body>Not Found|9.9.9</body></html>", status=404),
    "500": page("<html><body>Server Error|9.9.9</body></html>", status=500),
    "silent": silent,
    "short": short,
    "big": big,
    "binary": page(bytes(range(256)) * 4, "application/octet-stream"),
    "nul": page(b"<body>AB|1.0.35\x00\x01\x02</body>", "text/html"),
    "loop": loop,
    "frames": page('<html><frameset><frame src="/ok"><frame src="404"></frameset></html>'),
    "lower": page("<html><body>AB|1.0.34<script>var s = 'x|9.9.9';</script></body></html>"),
    "nobody": page("AB|1.0.35"),
    "gbk": page("<html><body>天道酬勤|1.0.34</body></html>".encode("gbk"), "text/html; charset=GBK"),
    "gbkmeta": page('<html><head><meta charset="gb2312"></head><body>天道酬勤|1.0.34</body></html>'
                    .encode("gbk"), "text/html"),
    "markup": page('<html><body><img src=x onerror="alert(1)"><b>Hi</b>|1.0.34</body></html>'),
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    mode = "site"
    mottos = 0

    def reply(self, status, ctype, body):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?")[0].strip("/")
        if path.startswith("control/") and path[8:] in CASES:
            Handler.mode = path[8:]
            return self.reply(200, "text/plain", b"ok")
        if path == "count":
            return self.reply(200, "text/plain", str(Handler.mottos).encode())
        if path == "tolm/motto.html":
            Handler.mottos += 1
        case = Handler.mode if path == "tolm/motto.html" else path
        CASES.get(case, page("no such case", "text/plain", 404))(self)

    def log_message(self, fmt, *args):
        if os.environ.get("TOLM_SERVE_LOG"):
            super().log_message(fmt, *args)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--port", type=int, default=0, help="0: any free port")
    p.add_argument("--portfile", help="where to write the port, and a port nobody listens on")
    a = p.parse_args()
    http.server.ThreadingHTTPServer.allow_reuse_address = True
    http.server.ThreadingHTTPServer.daemon_threads = True
    server = http.server.ThreadingHTTPServer(("127.0.0.1", a.port), Handler)
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    refused = closed.getsockname()[1]
    closed.close()
    if a.portfile:
        with open(a.portfile + ".tmp", "w") as f:
            f.write(f"{server.server_address[1]} {refused}\n")
        os.replace(a.portfile + ".tmp", a.portfile)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        server.serve_forever()
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
