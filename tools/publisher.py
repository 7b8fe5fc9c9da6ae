#!/usr/bin/env python3
"""The publisher's web server on the loopback address: the demo site of `make run`, and the
scripted publisher of the tests, which answers well, badly or slowly on purpose.

What a path answers:
  /tolm/motto.html                   the motto case the control file names (see MOTTO)
  /software/tolmupdate.exe[.sig]     the update case the control file names (see update())
  /CASE                              the motto case CASE, whatever the control file says
  anything else                      a file of the site folders, or 404

The control file, rewritten by a test as it goes, holds the lines "motto CASE" and
"update CASE"; both cases are "site" (the site folders' own files) until named. A motto case
may also be a version such as 1.0.35: a page that announces it. While the update case is
"refused", nothing listens on the port. Every request is logged as "GET /path"; a slow answer
logs "paused /path" when it stops sending, and "gone /path" when the client hung up first.
Slow cases take their pace from the query: /steady?seconds=45&bytes=65536, /stalled?pause=40,
/drip?every=20.

With --tls DIR it serves https, each connection with the certificate that the control file's line
"cert NAME" names at the time (DIR/NAME.pem, its key in the same file; "trusted" until named). A
connection that ends without a request (a client that refused the certificate) logs "unasked NAME".
It then also serves plain http on another port, the target of the cases "tohttp": over https
they redirect to the same path there, where (as without --tls) the motto case answers as "newer"
and the update case as "good"; requests there log as "plain GET /path".
"""
import argparse
import mimetypes
import os
import re
import select
import signal
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qsl, unquote, urlsplit

HERE = os.path.dirname(os.path.abspath(__file__))
SITE = os.path.normpath(os.path.join(HERE, "..", "site"))
UPDATE = "/software/tolmupdate.exe"
HTML = "text/html; charset=utf-8"
BINARY = "application/octet-stream"
DESIGN = " 加油!   奋斗!   拼搏!"

opts = argparse.Namespace(control=None, log=None, site=[SITE], tls=None, plain_port=None)
log_lock = threading.Lock()


def control():
    cases = {"motto": "site", "update": "site", "cert": "trusted"}
    try:
        with open(opts.control, encoding="utf-8") as f:
            for line in f:
                key, _, value = line.strip().partition(" ")
                if key in cases and value:
                    cases[key] = value
    except (OSError, TypeError):
        pass
    return cases


def log(line):
    if opts.log:
        with log_lock, open(opts.log, "a", encoding="utf-8") as f:
            f.write(line + "\n")


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def head(self, status, ctype, length):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True

    def reply(self, status, ctype, body):
        self.head(status, ctype, len(body))
        self.send(body)

    def send(self, data):
        """Sends what it can; False once the client has hung up."""
        try:
            self.wfile.write(data)
            self.wfile.flush()
            return True
        except OSError:
            log("gone " + self.path)
            return False

    def idle(self, seconds):
        """Sends nothing for a while; False, at once, when the client hangs up meanwhile."""
        ready, _, _ = select.select([self.connection], [], [], seconds)
        if ready:  # the request has been read: anything more is the end of the connection
            log("gone " + self.path)
            return False
        return True

    def file(self):
        """The file of the site folders that the path names (a folder's index.html)."""
        rel = os.path.normpath(unquote(urlsplit(self.path).path)).lstrip("/\\")
        for root in opts.site:
            path = os.path.join(root, rel)
            if os.path.isdir(path):
                path = os.path.join(path, "index.html")
            if not rel.startswith("..") and os.path.isfile(path):
                ctype = {".html": HTML, ".exe": BINARY, ".sig": BINARY}.get(os.path.splitext(path)[1])
                return self.reply(200, ctype or mimetypes.guess_type(path)[0] or BINARY, read(path))
        self.reply(404, HTML, b"<h1>Not Found</h1>")

    def handle(self):
        self.asked = False
        cert = getattr(self.connection, "cert", None)
        try:
            if cert:
                self.connection.do_handshake()
            super().handle()
        except OSError:  # a client that refused the certificate, or broke the connection off
            pass
        if cert and not self.asked:
            log("unasked " + cert)

    def plain(self):
        return self.server.plain

    def to_plain(self):
        """Over https, a redirect to the same path on the plain http port; otherwise False."""
        if not opts.tls or self.plain():
            return False
        self.send_response(302)
        self.send_header("Location", f"http://127.0.0.1:{opts.plain_port}{self.path}")
        self.send_header("Content-Length", "0")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        return True

    def do_GET(self):
        self.asked = True
        log(("plain GET " if self.plain() else "GET ") + self.path)
        url = urlsplit(self.path)
        query = dict(parse_qsl(url.query))
        cases = control()
        if url.path == "/tolm/motto.html":
            return motto(self, cases["motto"], query)
        if url.path in (UPDATE, UPDATE + ".sig"):
            return update(self, cases["update"], url.path.endswith(".sig"))
        name = url.path.strip("/")
        if name in MOTTO:
            return MOTTO[name](self, query)
        self.file()

    def log_message(self, fmt, *args):  # quiet unless asked
        if os.environ.get("TOLM_SERVE_LOG"):
            super().log_message(fmt, *args)


# Slow answers: a line that keeps moving, one that stops halfway, one that never quite stops.

def steady(h, body, seconds, head=True):
    if head:
        h.head(200, BINARY, len(body))
    steps = max(1, int(seconds * 4))
    for i in range(steps):
        if not h.send(body[len(body) * i // steps:len(body) * (i + 1) // steps]):
            return
        if i + 1 < steps and not h.idle(seconds / steps):
            return


def stalled(h, body, pause):
    h.head(200, BINARY, len(body))
    if h.send(body[:len(body) // 2]):
        log("paused " + h.path)
        if h.idle(pause):
            steady(h, body[len(body) // 2:], 1, head=False)


def drip(h, every, length=1000):
    h.head(200, BINARY, length)
    for _ in range(length):
        if not h.send(b"x") or not h.idle(every):
            return


def silent(h, seconds=300):
    # Connected, and never a word until the client gives up.
    h.idle(seconds)


def short(h):
    # Announces more than it sends, and hangs up.
    h.head(200, HTML, 1000)
    h.send(b"<body>AB|1.0.35")


def big(h):
    h.send_response(200)
    h.send_header("Content-Type", HTML)
    h.send_header("Connection", "close")
    h.end_headers()  # no length: the size shows only while it streams
    h.close_connection = True
    block = b"<body>" + b"x" * 65536
    for _ in range(160):  # 10 MB
        if not h.send(block):
            return


def loop(h):
    h.send_response(302)
    h.send_header("Location", "/loop")
    h.send_header("Content-Length", "0")
    h.send_header("Connection", "close")
    h.end_headers()
    h.close_connection = True


def page(body, ctype=HTML, status=200):
    data = body if isinstance(body, bytes) else body.encode("utf-8")
    return lambda h, q: h.reply(status, ctype, data)


def filler(q):
    return bytes(i % 251 for i in range(int(q.get("bytes", 65536))))


MOTTO = {
    "site": lambda h, q: h.file(),
    "ok": page("<html><body>AB|1.0.34</body></html>"),
    "newer": page("<html><body>AB|1.0.35</body></html>"),
    "design": page("<html><body>" + DESIGN + "|1.0.34</body></html>"),
    "404": page("<html><body>Not Found|9.9.9</body></html>", status=404),
    "500": page("<html><body>Server Error|9.9.9</body></html>", status=500),
    "silent": lambda h, q: silent(h),
    "short": lambda h, q: short(h),
    "big": lambda h, q: big(h),
    "binary": page(bytes(range(256)) * 4, BINARY),
    "nul": page(b"<body>AB|1.0.35\x00\x01\x02</body>", "text/html"),
    "loop": lambda h, q: loop(h),
    "frames": page('<html><frameset><frame src="/ok"><frame src="404"></frameset></html>'),
    "lower": page("<html><body>AB|1.0.34<script>var s = 'x|9.9.9';</script></body></html>"),
    "nobody": page("AB|1.0.35"),
    "gbk": page("<html><body>天道酬勤|1.0.34</body></html>".encode("gbk"), "text/html; charset=GBK"),
    "gbkmeta": page('<html><head><meta charset="gb2312"></head><body>天道酬勤|1.0.34</body></html>'
                    .encode("gbk"), "text/html"),
    "markup": page('<html><body><img src=x onerror="alert(1)"><b>Hi</b>|1.0.34</body></html>'),
    "steady": lambda h, q: steady(h, filler(q), float(q.get("seconds", 45))),
    "stalled": lambda h, q: stalled(h, filler(q), float(q.get("pause", 40))),
    "drip": lambda h, q: drip(h, float(q.get("every", 20))),
}


def motto(h, case, query):
    if case == "tohttp":
        return h.to_plain() or MOTTO["newer"](h, query)
    if case in MOTTO:
        return MOTTO[case](h, query)
    if re.fullmatch(r"[0-9.]+", case):
        return h.reply(200, HTML, f"<html><body>e2e 天道酬勤|{case}</body></html>".encode("utf-8"))
    h.reply(404, "text/plain", b"no such case")


def update(h, case, signature):
    """The update program, or its signature. good: the signed program; 404, 500: the program
    answers so; timeout: the program never answers; truncated: half the program, announced
    whole; wrongsig, nosig, othersig: a signature of random bytes, none, or of another file;
    steady, stalled, drip: the large signed program, slowly (45 s, stalling 40 s halfway, a byte
    every 20 s); tohttp: a redirect to plain http, where the program is good; refused: nothing
    listens (see main)."""
    if case == "site":
        return h.file()
    if case == "tohttp" and h.to_plain():
        return
    slow = case in ("steady", "stalled", "drip")
    program = opts.big if slow else opts.update
    if signature:
        if case == "nosig":
            return h.reply(404, HTML, b"<h1>Not Found</h1>")
        if case == "wrongsig":
            return h.reply(200, BINARY, os.urandom(64))
        return h.reply(200, BINARY, read(opts.other_sig if case == "othersig" else program + ".sig"))
    if case in ("404", "500"):
        return h.reply(int(case), HTML, f"<h1>{case}</h1>".encode("ascii"))
    if case == "timeout":
        return silent(h)
    body = read(program)
    if case == "truncated":
        h.head(200, BINARY, len(body))
        return h.send(body[:len(body) // 2])
    if case == "steady":
        return steady(h, body, 45)
    if case == "stalled":
        return stalled(h, body, 40)
    if case == "drip":
        return drip(h, 20, len(body))
    h.reply(200, BINARY, body)


class Server(ThreadingHTTPServer):
    allow_reuse_address = True
    daemon_threads = True
    block_on_close = False
    timeout = 0.1  # how often the control file is looked at
    plain = False  # the plain http target of an https publisher's redirects


class TlsServer(Server):
    contexts = {}

    def get_request(self):
        # The certificate is chosen as the connection comes; the handshake is the handler's, on
        # its own thread, so that a client that never completes it holds up no other.
        sock, addr = self.socket.accept()
        name = control()["cert"]
        context = self.contexts.get(name)
        if context is None:
            sock.close()
            raise OSError(f"no certificate {name}")
        tls = context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        tls.cert = name
        return tls, addr


def tls_contexts(folder):
    contexts = {}
    for file in sorted(os.listdir(folder)):
        if file.endswith(".pem") and file != "ca.pem":
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(folder, file))
            contexts[file[:-4]] = context
    if not contexts:
        sys.exit(f"publisher: no certificates in {folder}")
    return contexts


def listen(port):
    kind = TlsServer if opts.tls else Server
    for _ in range(100):
        try:
            return kind(("127.0.0.1", port), Handler)
        except OSError:
            time.sleep(0.1)
    sys.exit(f"publisher: port {port} is busy")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--port", type=int, default=8734, help="0: any free port")
    p.add_argument("--portfile", help="written once it listens: the port, and a port nobody listens on")
    p.add_argument("--site", action="append", help="a folder of files to serve, first found first "
                   "(may be given again; default: the repository's site/)")
    p.add_argument("--control", help="the control file (see above)")
    p.add_argument("--log", help="where requests are logged")
    p.add_argument("--update", help="the signed update program of the tests (FILE.sig beside it)")
    p.add_argument("--big", help="a large signed update program for the slow cases (FILE.sig beside it)")
    p.add_argument("--other-sig", help="a signature by the same key over another file")
    p.add_argument("--tls", help="serve https with the certificates of this folder (see above)")
    a = p.parse_args()
    a.site = [os.path.abspath(s) for s in a.site or [SITE]]
    vars(opts).update(vars(a))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if a.tls:
        TlsServer.contexts = tls_contexts(a.tls)
        plain = Server(("127.0.0.1", 0), Handler)
        plain.plain = True
        opts.plain_port = plain.server_address[1]
        threading.Thread(target=plain.serve_forever, daemon=True).start()

    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    refused = closed.getsockname()[1]
    closed.close()
    server, port, first = None, a.port, True
    while True:
        if control()["update"] == "refused":
            if server:
                server.server_close()
                server = None
            time.sleep(0.05)
            continue
        if server is None:
            server = listen(port)
            if first:  # say where, and listen there from now on
                first, port = False, server.server_address[1]
                if a.portfile:
                    with open(a.portfile + ".tmp", "w") as f:
                        f.write(f"{port} {refused}\n")
                    os.replace(a.portfile + ".tmp", a.portfile)
                else:
                    scheme = "https://localhost" if a.tls else "http://127.0.0.1"
                    print(f"serving {' and '.join(a.site)} on {scheme}:{port}/", flush=True)
        server.handle_request()


if __name__ == "__main__":
    main()
