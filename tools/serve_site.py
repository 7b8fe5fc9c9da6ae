#!/usr/bin/env python3
"""The demo publisher: serves site/ on the loopback address for make run and the tests."""
import argparse
import functools
import http.server
import os
import signal
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    generated = None  # a second root, for content the build makes (the signed demo update)

    def translate_path(self, path):
        local = super().translate_path(path)
        if self.generated:
            rel = os.path.relpath(local, self.directory)
            candidate = os.path.join(self.generated, rel)
            if not rel.startswith("..") and os.path.isfile(candidate):
                return candidate
        return local

    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".html": "text/html; charset=utf-8", ".exe": "application/octet-stream"}

    def log_message(self, fmt, *args):  # quiet unless asked
        if os.environ.get("TOLM_SERVE_LOG"):
            super().log_message(fmt, *args)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--port", type=int, default=8734)
    p.add_argument("--root", default=os.path.join(here, "..", "site"))
    p.add_argument("--generated", help="a second root whose files are served first (build output)")
    p.add_argument("--pidfile")
    a = p.parse_args()
    if a.generated:
        Handler.generated = os.path.abspath(a.generated)
    handler = functools.partial(Handler, directory=os.path.abspath(a.root))
    http.server.ThreadingHTTPServer.allow_reuse_address = True
    server = http.server.ThreadingHTTPServer(("127.0.0.1", a.port), handler)
    if a.pidfile:
        with open(a.pidfile, "w") as f:
            f.write(str(os.getpid()))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print(f"serving {os.path.abspath(a.root)} on http://127.0.0.1:{a.port}/", flush=True)
    try:
        server.serve_forever()
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
