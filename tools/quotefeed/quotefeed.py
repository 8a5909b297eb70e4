#!/usr/bin/env python3
"""Loopback quote feed for Tickora (Python 3 standard library only).

Serves the five quote sources, each on its own port of 127.0.0.1 with its own
scheme (https for the first three, http for the last two), path and character
set, with prices that move from request to request. A sixth port (the site)
serves the product's page, the maker's quote page and the control requests.

At start it makes a certificate authority (kept in the given folder while it is
valid) and a fresh server certificate for 127.0.0.1 and localhost, then prints
one line:  ready SITEPORT s1=PORT s2=PORT s3=PORT s4=PORT s5=PORT
It ends when the process that started it ends.

Control (GET on the site port, answers the state as JSON):
  /_control?source=N&mode=M   M: ok | refuse | 404 | hang | drip | drop | flood
  /_control?pin=KEY&value=V   serve V for quote key KEY until reset
  /_control?reset=1           all sources ok, no pins
  /_control                   state only: ports, modes, pins, request counts
"refuse" closes the source's port, "404" answers Not Found, "hang" reads the
request and never answers, "drip" sends the page's header at once and then its
body one byte a second, "drop" leaves the source's low-price (range, blocks per
hour for source 5) marker out of the page, "flood" sends the page followed by
blanks up to 64 MiB as fast as the client takes them, with no length (the end
of the connection ends the body); the state's "floods" tells for each source
how many bytes its last flood sent and whether it ran "whole" or the client
"cut" it (or it is still "running").
"""

import argparse
import http.server
import json
import os
import random
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

SOURCES = {
    1: ("https", "/"),
    2: ("https", "/api/ticker.do"),
    3: ("https", "/api/documentation"),
    4: ("http", "/staticmarket/ticker_btc_json.js"),
    5: ("http", "/"),
}
MODES = ("ok", "refuse", "404", "hang", "drip", "drop", "flood")
FLOOD_BYTES = 64 << 20
KEYS = ("last1", "fanwei1", "vol1", "last2", "newprice", "fanwei2", "vol2",
        "last3", "fanwei3", "vol3", "last4", "fanwei4", "vol4",
        "suanli", "getyear", "nettotal")
PRODUCT_PATH = "/"
QUOTE_PAGE_PATH = "/quotes.html"


class Market:
    """Moving prices; every source request moves its figures a little."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.lock = threading.Lock()
        self.price = {1: 3021.45, 2: 3015.20, 3: 455.123, 4: 3012.50}
        self.volume = {1: 8861.25, 2: 12345.678, 3: 1520337.0, 4: 20731.4}
        self.hashrate = 12345.67
        self.total = 12150075
        self.blocks = 6.12
        self.modes = {n: "ok" for n in SOURCES}
        self.pins = {}
        self.counts = {n: 0 for n in SOURCES}
        self.floods = {}
        self.ports = {}

    def step(self, n):
        with self.lock:
            self.counts[n] += 1
            if n in self.price:
                self.price[n] = max(1.0, self.price[n] * (1 + self.rng.uniform(-0.004, 0.004)))
                self.volume[n] += self.rng.uniform(0, 50)
            else:
                self.hashrate *= 1 + self.rng.uniform(-0.002, 0.002)
                self.total += 25
                self.blocks = round(self.rng.uniform(5.5, 6.8), 2)

    def values(self, n):
        """The figures of source n as the texts the page carries, pins applied."""
        with self.lock:
            v = {}
            if n in self.price:
                p = self.price[n]
                last = f"{p:.3f}" if n == 3 else f"{p:.2f}"
                low = f"{p * 0.98:.2f}"
                v = {"last": last, "low": low, "vol": f"{self.volume[n]:.4f}"}
                if n == 3:
                    v["range"] = f"{p * 0.97:.2f} - {p * 1.02:.2f}"
                    v["vol"] = f"{self.volume[n]:,.0f}"
            else:
                v = {"hash": f"{self.hashrate:,.2f}", "blocks": f"{self.blocks:.2f}",
                     "total": f"{self.total}"}
            key_of = {1: {"last": "last1", "low": "fanwei1", "vol": "vol1"},
                      2: {"last": "last2", "low": "fanwei2", "vol": "vol2"},
                      3: {"last": "last3", "range": "fanwei3", "vol": "vol3"},
                      4: {"last": "last4", "low": "fanwei4", "vol": "vol4"},
                      5: {"hash": "suanli", "blocks": "getyear", "total": "nettotal"}}[n]
            for name, key in key_of.items():
                if key in self.pins:
                    v[name] = self.pins[key]
            return v

    def state(self):
        with self.lock:
            return {"ports": dict(self.ports),
                    "modes": {str(k): m for k, m in self.modes.items()},
                    "pins": dict(self.pins),
                    "counts": {str(k): c for k, c in self.counts.items()},
                    "floods": {str(k): {"sent": sent, "state": state}
                               for k, (sent, state) in self.floods.items()}}

    def set_flood(self, n, sent, state):
        with self.lock:
            self.floods[n] = (sent, state)


def page(n, v, drop):
    """Body bytes and content type of source n."""
    if n == 1:
        low = "" if drop else f'<div>最低 <span id="low" class="fontcolor1">{v["low"]}</span></div>\n'
        html = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>交易行情</title></head><body>\n"
                f'<div class="ticker">最新成交价 <span id="last">{v["last"]}</span></div>\n'
                f"{low}"
                f'<div>成交量 <span id="vol">{v["vol"]}</div>\n'
                "</body></html>\n")
        return html.encode("utf-8"), "text/html; charset=utf-8"
    if n == 2:
        ticker = {"buy": v["last"], "high": v["last"], "last": v["last"]}
        if not drop:
            ticker["low"] = v["low"]
        ticker.update({"sell": v["last"], "vol": v["vol"]})
        body = json.dumps({"date": str(int(time.time())), "ticker": ticker}, separators=(",", ":"))
        return body.encode("ascii"), "application/json"
    if n == 3:
        rng = "" if drop else f'<div class="fig">Range: <strong>{v["range"]} USD</strong></div>\n'
        html = ("<html><head><title>API Documentation</title></head><body>\n"
                "<h1>Ticker API</h1><p>GET /api/ticker returns the current market.</p>\n"
                f'<div class="fig">Last Price: <strong>{v["last"]} USD</strong></div>\n'
                f"{rng}"
                f'<div class="fig">Volume: <strong>{v["vol"]} USD</strong></div>\n'
                "</body></html>\n")
        return html.encode("ascii"), "text/html"
    if n == 4:
        low = "" if drop else f'"low":"{v["low"]}",'
        body = ('{"time":"%d","ticker":{"open":"%s","vol":%s,"symbol":"btccny","last":"%s",'
                '"buy":"%s","sell":"%s","high":"%s",%s"avg":"%s"}}'
                % (int(time.time()), v["last"], v["vol"], v["last"], v["last"], v["last"],
                   v["last"], low, v["last"]))
        return body.encode("ascii"), "application/x-javascript"
    blocks = "" if drop else ('<tr><td class="label">Blocks/hour</td><td>%s</td></tr>\n' % v["blocks"])
    html = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312">'
            "<title>网络统计</title></head><body><table>\n"
            '<tr><td class="label">Network total</td><td>%s Thash/s</td></tr>\n'
            "%s"
            '<tr><td class="label">Total BTC</td><td>%s</td></tr>\n'
            "</table><p>全网数据每分钟更新</p></body></html>\n" % (v["hash"], blocks, v["total"]))
    return html.encode("gb2312"), "text/html"


def product_page():
    rows = "".join(f'<tr><td>{k}</td><td id="{k}">--</td></tr>\n' for k in KEYS)
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Tickora</title>"
            "<style>body{font:12px sans-serif;background:#f4f4f4;margin:6px}"
            "td{padding:1px 6px}td[id]{font-weight:bold;text-align:right}</style></head><body>\n"
            "<h3>Tickora 行情</h3><table>\n" + rows + "</table></body></html>\n").encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "quotefeed/1"

    def log_message(self, fmt, *args):  # quiet: the tests read stdout
        pass

    def send_body(self, status, body, ctype, drip=None):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if drip is None:
            self.wfile.write(body)
            return
        self.wfile.flush()
        for i in range(len(body)):  # until the client leaves or the mode changes
            if not drip():
                break
            try:
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
            except OSError:
                break
            time.sleep(1)
        self.close_connection = True

    def send_flood(self, body, ctype, done):
        """The page, then blanks up to FLOOD_BYTES; done(sent, state) at the end."""
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        sent, state = 0, "whole"
        try:
            self.wfile.write(body)
            sent = len(body)
            blanks = b" " * 65536
            while sent < FLOOD_BYTES:
                part = blanks[:FLOOD_BYTES - sent]
                self.wfile.write(part)
                sent += len(part)
        except OSError:
            state = "cut"
        done(sent, state)

    def do_GET(self):
        self.server.feed.handle(self)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, feed, source, tls):
        self.feed, self.source, self.tls = feed, source, tls
        super().__init__(("127.0.0.1", port), Handler)

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the connection's own thread, so a silent
        # client cannot stall the accept loop.
        if self.tls is not None:
            request.settimeout(30)
            try:
                request = self.tls.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return
        super().finish_request(request, client_address)


class Listener:
    """One port; refusing a source closes it, any other mode opens it again."""

    def __init__(self, feed, port, source, tls):
        self.feed, self.source, self.tls = feed, source, tls
        self.lock = threading.Lock()
        self.server = Server(port, feed, source, tls)
        self.port = self.server.server_address[1]
        self.start()

    def start(self):
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def set_open(self, want):
        with self.lock:
            if want and self.server is None:
                for _ in range(50):
                    try:
                        self.server = Server(self.port, self.feed, self.source, self.tls)
                        break
                    except OSError:
                        time.sleep(0.1)
                self.start()
            elif not want and self.server is not None:
                self.server.shutdown()
                self.server.server_close()
                self.server = None


class Feed:
    def __init__(self, market, tls):
        self.market, self.tls = market, tls
        self.listeners = {}

    def handle(self, req):
        path = urllib.parse.urlsplit(req.path).path
        n = req.server.source
        if n == 0:
            return self.handle_site(req, path)
        if path != SOURCES[n][1]:
            return req.send_body(404, b"not found\n", "text/plain")
        self.market.step(n)
        mode = self.market.modes[n]
        if mode == "404":
            return req.send_body(404, b"not found\n", "text/plain")
        if mode == "hang":
            deadline = time.time() + 600
            while self.market.modes[n] == "hang" and time.time() < deadline:
                time.sleep(0.05)
            req.close_connection = True
            return
        body, ctype = page(n, self.market.values(n), mode == "drop")
        if mode == "flood":
            self.market.set_flood(n, 0, "running")
            return req.send_flood(body, ctype, lambda sent, state: self.market.set_flood(n, sent, state))
        drip = (lambda: self.market.modes[n] == "drip") if mode == "drip" else None
        req.send_body(200, body, ctype, drip)

    def handle_site(self, req, path):
        if path == PRODUCT_PATH:
            return req.send_body(200, product_page(), "text/html; charset=utf-8")
        if path == QUOTE_PAGE_PATH:
            rows = "".join(f"<li>source {n}: {self.market.values(n)}</li>" for n in SOURCES)
            body = f"<html><body><h3>行情</h3><ul>{rows}</ul></body></html>".encode("utf-8")
            return req.send_body(200, body, "text/html; charset=utf-8")
        if path == "/_control":
            try:
                self.control(urllib.parse.parse_qs(urllib.parse.urlsplit(req.path).query,
                                                   keep_blank_values=True))
            except (KeyError, ValueError) as e:
                return req.send_body(400, f"bad control request: {e}\n".encode(), "text/plain")
            return req.send_body(200, json.dumps(self.market.state()).encode(), "application/json")
        req.send_body(404, b"not found\n", "text/plain")

    def control(self, q):
        m = self.market
        if "reset" in q:
            with m.lock:
                m.pins.clear()
            for n in SOURCES:
                self.set_mode(n, "ok")
        if "source" in q or "mode" in q:
            n, mode = int(q["source"][0]), q["mode"][0]
            if n not in SOURCES or mode not in MODES:
                raise ValueError("source 1..5, mode one of " + ", ".join(MODES))
            self.set_mode(n, mode)
        if "pin" in q:
            key = q["pin"][0]
            if key not in KEYS:
                raise ValueError("unknown key " + key)
            with m.lock:
                m.pins[key] = q.get("value", [""])[0]
                if key in ("last2", "newprice"):  # one figure under two keys
                    m.pins["last2"] = m.pins["newprice"] = m.pins[key]

    def set_mode(self, n, mode):
        with self.market.lock:
            self.market.modes[n] = mode
        self.listeners[n].set_open(mode != "refuse")


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    """A CA kept while valid for another day, and a new server certificate."""
    os.makedirs(folder, exist_ok=True)
    ca_key, ca_pem = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr, pem = (os.path.join(folder, f) for f in ("server.key", "server.csr", "server.pem"))
    ext = os.path.join(folder, "server.ext")
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    valid = (os.path.exists(ca_key) and os.path.exists(ca_pem) and subprocess.run(
        ["openssl", "x509", "-in", ca_pem, "-noout", "-checkend", "86400"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0)
    if not valid:
        run(["openssl", "req", "-x509", *ec, "-keyout", ca_key, "-out", ca_pem, "-days", "365",
             "-subj", "/CN=Tickora quote feed CA",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign"])
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:localhost\n")
    run(["openssl", "req", *ec, "-keyout", key, "-out", csr, "-subj", "/CN=127.0.0.1"])
    run(["openssl", "x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key,
         "-CAcreateserial", "-out", pem, "-days", "30", "-extfile", ext])
    return pem, key


def main():
    ap = argparse.ArgumentParser(description="Loopback quote feed for Tickora")
    ap.add_argument("--dir", required=True, help="folder for the certificate authority and certificates")
    ap.add_argument("--base-port", type=int, default=18440,
                    help="site on this port, source N on base+N; 0 picks free ports")
    ap.add_argument("--fail", action="append", default=[], metavar="N=MODE",
                    help="start with source N in MODE (refuse, 404, hang, drop)")
    ap.add_argument("--seed", type=int, default=None, help="seed of the price moves")
    args = ap.parse_args()

    pem, key = make_certificates(args.dir)
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(pem, key)

    feed = Feed(Market(args.seed), tls)
    port = lambda n: args.base_port + n if args.base_port else 0
    site = Listener(feed, port(0), 0, None)
    for n, (scheme, _) in SOURCES.items():
        feed.listeners[n] = Listener(feed, port(n), n, tls if scheme == "https" else None)
    for f in args.fail:
        n, mode = f.split("=", 1)
        feed.control({"source": [n], "mode": [mode]})

    feed.market.ports = {"site": site.port, **{str(n): feed.listeners[n].port for n in SOURCES}}
    ports = " ".join(f"s{n}={feed.listeners[n].port}" for n in SOURCES)
    print(f"ready {site.port} {ports}", flush=True)
    # Ends with the process that started it, so a test killed halfway leaves
    # no feed behind.
    parent = os.getppid()
    try:
        while os.getppid() == parent:
            time.sleep(0.5)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    try:
        main()
    except (OSError, subprocess.CalledProcessError) as e:
        print(f"quotefeed: {e}", file=sys.stderr)
        sys.exit(1)
