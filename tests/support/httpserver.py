#!/usr/bin/env python3
"""Loopback HTTP/HTTPS server for tests.

Usage: httpserver.py [--cert PEM --key PEM] [--root DIR]
Listens on 127.0.0.1 at a free port and prints "ready <port>" once it serves.

Routes (every route takes repeated h=Name:Value parameters, added as
response headers):
  /echo             200, text: the request line, each request header as
                    "Name: value" on its own line, an empty line, the body
  /status/N         status N, body "status N"
  /redirect?to=URL  302 to URL (code=N picks another status)
  /file/NAME        the bytes of NAME in --root; ct=TYPE sets Content-Type,
                    chunked=1 sends it in chunks instead of a Content-Length
  /short            announces 100 bytes, sends 10 and closes (n=N announces N,
                    sent=S sends S)
  /flaky?key=K&fail=N
                    reads the whole request (body included) of the first N
                    connections for key K and closes each without an answer
                    (reset=1: resets it instead; delay=S: after S seconds),
                    then answers 200 "ok"
  /count?key=K      the number of requests /flaky and /hang got for key K
  /hang?key=K       reads the request and never answers; the connection ends
                    when the client closes it (or after 600 s)
  /drip?part=P&n=N  sends 200 with an N-byte body (default 600) one byte a
                    second (every=S seconds); part=head drips the status line
                    and headers too, part=body only the body
  /garbage          answers bytes that are no HTTP response, then closes
  /cut              sends the status line and half a header line, then
                    resets the connection
  /longheader?n=N   200 with one header line of N bytes
  /flood?key=K&n=N  200 with N bytes of body sent as fast as the client takes
                    them, delimited by the connection's end (length=1: with a
                    Content-Length; chunked=1: in 64 KiB chunks); status=S
                    answers another status
  /sent?key=K       what the last /flood for key K came to: "running", or
                    "<bytes sent> whole" or "<bytes sent> cut" (the client
                    left before the end)
  /many?n=N&name=H&pad=P
                    200 "ok" with N header lines "H: k<i>=<i>" (H defaults to
                    Set-Cookie), each value followed by "; x=" and P bytes
                    when P is given; short=1: each value one letter (a to z
                    in turn); to=URL: a 302 to URL; every=S: a pause of S
                    seconds after each 1000 lines
  /lengths?v=A&v=B  200 with body "hello world" and one Content-Length line
                    per v as given (joined=1: all in one line, comma
                    separated; chunked=1: chunked besides)
  /interim?code=C   an interim response C (default 100), then 200 "ok"
  /upgrade          101 Switching Protocols, then bytes of another protocol
                    until the client leaves (or 10 s pass)
"""
import argparse
import os
import select
import socket
import ssl
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

FLAKY = {}
FLAKY_LOCK = threading.Lock()
FLOODS = {}  # key: (bytes sent, "running" | "whole" | "cut")


def seen(key, add=0):
    """Requests counted for key so far, after adding add."""
    with FLAKY_LOCK:
        FLAKY[key] = FLAKY.get(key, 0) + add
        return FLAKY[key]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        self.route()

    def do_POST(self):
        self.route()

    def do_PUT(self):
        self.route()

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def send(self, status, body, ctype="text/plain", extra=(), chunked=False):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        for name, value in extra:
            self.send_header(name, value)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            step = max(1, len(body) // 5 or 1)
            for i in range(0, len(body), step):
                part = body[i:i + step]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    def raw(self, data):
        """Writes a whole response as given and ends the connection."""
        self.wfile.write(data)
        self.wfile.flush()
        self.close_connection = True

    def reset(self):
        """Ends the connection with a TCP reset instead of an orderly close."""
        self.close_connection = True
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.wfile.close()
        self.rfile.close()
        self.connection.close()

    def wait_for_close(self, limit):
        """Blocks until the client closes the connection or limit seconds pass."""
        end = time.time() + limit
        while time.time() < end:
            ready, _, _ = select.select([self.connection], [], [], 0.5)
            if ready and not self.connection.recv(4096):
                break
        self.close_connection = True

    def drip(self, data, every):
        """Writes data one byte at a time; stops when the client has gone."""
        for i in range(len(data)):
            try:
                self.wfile.write(data[i:i + 1])
                self.wfile.flush()
            except OSError:
                break
            time.sleep(every)
        self.close_connection = True

    def flood(self, key, n, status, extra, framing):
        """Sends n body bytes in 64 KiB writes; records how far they got."""
        with FLAKY_LOCK:
            FLOODS[key] = (0, "running")
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        for name, value in extra:
            self.send_header(name, value)
        if framing == "length":
            self.send_header("Content-Length", str(n))
        elif framing == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        block = b"x" * 65536
        sent, state = 0, "whole"
        try:
            while sent < n:
                part = block[:min(len(block), n - sent)]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part) if framing == "chunked" else part)
                sent += len(part)
            if framing == "chunked":
                self.wfile.write(b"0\r\n\r\n")
        except OSError:
            state = "cut"
        with FLAKY_LOCK:
            FLOODS[key] = (sent, state)

    def route(self):
        url = urlsplit(self.path)
        q = parse_qs(url.query, keep_blank_values=True)
        extra = []
        for h in q.get("h", []):
            name, _, value = h.partition(":")
            extra.append((name.strip(), value.strip()))
        body = self.read_body()
        path = url.path
        if path == "/echo":
            text = self.requestline.encode("latin-1") + b"\n"
            for k, v in self.headers.items():
                text += ("%s: %s\n" % (k, v)).encode("latin-1", "replace")
            self.send(200, text + b"\n" + body, "text/plain", extra)
        elif path.startswith("/status/"):
            code = int(path[len("/status/"):])
            self.send(code, b"status %d" % code, extra=extra)
        elif path == "/redirect":
            code = int(q.get("code", ["302"])[0])
            self.send(code, b"moved", extra=extra + [("Location", q["to"][0])])
        elif path.startswith("/file/"):
            name = os.path.basename(path[len("/file/"):])
            try:
                with open(os.path.join(self.root, name), "rb") as f:
                    data = f.read()
            except OSError:
                self.send(404, b"no such file")
                return
            ctype = q.get("ct", ["application/octet-stream"])[0]
            self.send(200, data, ctype, extra, chunked=q.get("chunked", ["0"])[0] == "1")
        elif path == "/short":
            announced = int(q.get("n", ["100"])[0])
            sent = int(q.get("sent", ["10"])[0])
            self.send_response(200)
            self.send_header("Content-Length", str(announced))
            self.end_headers()
            self.wfile.write((b"0123456789" * (sent // 10 + 1))[:sent])
            self.wfile.flush()
            self.close_connection = True
        elif path == "/flaky":
            key = q.get("key", [""])[0]
            fail = int(q.get("fail", ["0"])[0])
            if seen(key, 1) <= fail:
                time.sleep(float(q.get("delay", ["0"])[0]))
                if q.get("reset", ["0"])[0] == "1":
                    self.reset()
                else:
                    self.close_connection = True
                return
            self.send(200, b"ok", extra=extra)
        elif path == "/count":
            self.send(200, b"%d" % seen(q.get("key", [""])[0]))
        elif path == "/hang":
            seen(q.get("key", [""])[0], 1)
            self.wait_for_close(600)
        elif path == "/drip":
            n = int(q.get("n", ["600"])[0])
            every = float(q.get("every", ["1"])[0])
            head = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % n
            body = b"x" * n
            if q.get("part", ["body"])[0] == "head":
                self.drip(head + body, every)
            else:
                self.wfile.write(head)
                self.drip(body, every)
        elif path == "/garbage":
            self.wfile.write(b"this is no HTTP response\r\n\r\n")
            self.close_connection = True
        elif path == "/cut":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Le")
            self.wfile.flush()
            self.reset()
        elif path == "/longheader":
            n = int(q.get("n", ["200000"])[0])
            self.send(200, b"ok", extra=[("X-Long", "v" * n)])
        elif path == "/flood":
            framing = "chunked" if q.get("chunked", ["0"])[0] == "1" else (
                "length" if q.get("length", ["0"])[0] == "1" else "close")
            self.flood(q.get("key", [""])[0], int(q.get("n", ["0"])[0]), int(q.get("status", ["200"])[0]),
                       extra, framing)
        elif path == "/sent":
            with FLAKY_LOCK:
                sent, state = FLOODS.get(q.get("key", [""])[0], (0, "running"))
            self.send(200, b"running" if state == "running" else b"%d %s" % (sent, state.encode()))
        elif path == "/many":
            name = q.get("name", ["Set-Cookie"])[0].encode()
            pad = int(q.get("pad", ["0"])[0])
            tail = b"; x=" + b"x" * pad if pad else b""
            short = q.get("short", ["0"])[0] == "1"
            every = float(q.get("every", ["0"])[0])
            to = q.get("to", [""])[0]
            self.wfile.write(b"HTTP/1.1 302 Found\r\nLocation: %s\r\n" % to.encode() if to else b"HTTP/1.1 200 OK\r\n")
            n = int(q.get("n", ["0"])[0])
            for start in range(0, n, 1000):
                self.wfile.write(b"".join(
                    b"%s: %s\r\n" % (name, bytes([97 + i % 26]) if short else b"k%d=%d%s" % (i, i, tail))
                    for i in range(start, min(n, start + 1000))))
                if every:
                    self.wfile.flush()
                    time.sleep(every)
            self.raw(b"Content-Length: 2\r\n\r\nok")
        elif path == "/lengths":
            values = q.get("v", [])
            if q.get("joined", ["0"])[0] == "1":
                values = [", ".join(values)]
            head = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
            head += b"".join(b"Content-Length: %s\r\n" % v.encode() for v in values)
            body = b"hello world"
            if q.get("chunked", ["0"])[0] == "1":
                head += b"Transfer-Encoding: chunked\r\n"
                body = b"b\r\nhello world\r\n0\r\n\r\n"
            self.raw(head + b"\r\n" + body)
        elif path == "/interim":
            code = int(q.get("code", ["100"])[0])
            self.raw(b"HTTP/1.1 %d Interim\r\nLink: </x>\r\n\r\n"
                     b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok" % code)
        elif path == "/upgrade":
            self.wfile.write(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: other\r\nConnection: Upgrade\r\n\r\n"
                             b"bytes of another protocol")
            self.wfile.flush()
            self.wait_for_close(10)
        else:
            self.send(404, b"not found")


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # failed handshakes and dropped connections are part of the tests


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--root", default=".")
    args = ap.parse_args()
    Handler.root = args.root
    server = Server(("127.0.0.1", 0), Handler)
    if args.cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("ready %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
