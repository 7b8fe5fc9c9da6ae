#!/usr/bin/env python3
"""A scripted publisher for the update tests: serves the motto page and the update program
the way the control file says, one request at a time as the widget makes them.

The control file holds two lines, rewritten by the test as it goes:
    motto VERSION        (or "motto missing": the page answers 404)
    update CASE          good, 404, 500, refused, timeout, truncated, wrongsig, nosig, othersig
Every request is appended to the log file as "GET /path".
"""
import argparse
import os
import select
import socket
import sys
import threading
import time


def control(path):
    values = {"motto": "missing", "update": "good"}
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                key, _, value = line.strip().partition(" ")
                if key in values and value:
                    values[key] = value
    except OSError:
        pass
    return values


def answer(conn, status, body, ctype="application/octet-stream", length=None):
    reason = {200: "OK", 404: "Not Found", 500: "Internal Server Error"}[status]
    head = (f"HTTP/1.1 {status} {reason}\r\nContent-Type: {ctype}\r\n"
            f"Content-Length: {len(body) if length is None else length}\r\nConnection: close\r\n\r\n")
    conn.sendall(head.encode("ascii") + body)


def handle(conn, a):
    with conn:
        conn.settimeout(30)
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(4096)
            if not chunk:
                return
            data += chunk
        request = data.split(b"\r\n", 1)[0].decode("latin-1")
        method, path = (request.split(" ") + ["", ""])[:2]
        with open(a.log, "a", encoding="utf-8") as log:
            log.write(f"{method} {path}\n")
        c = control(a.control)
        case = c["update"]
        exe = open(a.update, "rb").read()
        if path == "/tolm/motto.html":
            if c["motto"] == "missing":
                return answer(conn, 404, b"<h1>Not Found</h1>", "text/html")
            page = f"<html><body>e2e 天道酬勤|{c['motto']}</body></html>".encode("utf-8")
            return answer(conn, 200, page, "text/html; charset=utf-8")
        if path == "/software/tolmupdate.exe.sig":
            if case == "nosig":
                return answer(conn, 404, b"<h1>Not Found</h1>", "text/html")
            if case == "wrongsig":
                return answer(conn, 200, os.urandom(64))
            sig = a.other_sig if case == "othersig" else a.update + ".sig"
            return answer(conn, 200, open(sig, "rb").read())
        if path == "/software/tolmupdate.exe":
            if case == "404":
                return answer(conn, 404, b"<h1>Not Found</h1>", "text/html")
            if case == "500":
                return answer(conn, 500, b"<h1>Server Error</h1>", "text/html")
            if case == "truncated":
                # Announces the whole program, sends half, and hangs up.
                return answer(conn, 200, exe[: len(exe) // 2], length=len(exe))
            if case == "timeout":
                # Says nothing until the widget gives up and closes the connection.
                conn.settimeout(None)
                select.select([conn], [], [], 300)
                return
            return answer(conn, 200, exe)
        answer(conn, 404, b"<h1>Not Found</h1>", "text/html")


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--control", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--update", required=True, help="the signed update program (FILE.sig beside it)")
    p.add_argument("--other-sig", required=True, help="a signature by the same key over another file")
    p.add_argument("--ready", help="created once the port first listens")
    a = p.parse_args()
    listener = None
    while True:
        # "refused": nothing listens on the port while the case stands.
        if control(a.control)["update"] == "refused":
            if listener:
                listener.close()
                listener = None
            time.sleep(0.05)
            continue
        if listener is None:
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            for _ in range(100):
                try:
                    listener.bind(("127.0.0.1", a.port))
                    break
                except OSError:
                    time.sleep(0.1)
            else:
                sys.exit(f"update_server: port {a.port} is busy")
            listener.listen(16)
            if a.ready and not os.path.exists(a.ready):
                open(a.ready, "w").close()
        ready, _, _ = select.select([listener], [], [], 0.1)
        if ready:
            conn, _ = listener.accept()
            threading.Thread(target=handle, args=(conn, a), daemon=True).start()


if __name__ == "__main__":
    main()
