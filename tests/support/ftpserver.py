#!/usr/bin/env python3
"""Loopback FTP server for tests.

Usage: ftpserver.py --root DIR [--user NAME --password WORD] [--active-only]
Listens on 127.0.0.1 at a free port, prints "ready <port>" once it serves,
and serves DIR as "/" to one login (default user "test", password "secret").
Names travel as raw bytes, so files keep the bytes the client sent.

Commands: USER PASS SYST FEAT NOOP PWD CWD CDUP MKD RMD TYPE PASV EPSV PORT
EPRT LIST NLST RETR STOR SIZE MDTM DELE REST (0 only) QUIT; others get 502.
Paths that leave the root are refused with 550. With --active-only PASV and
EPSV are refused, so a client has to connect the data channel back itself.
"""
import argparse
import os
import posixpath
import socket
import socketserver
import sys
import time


class Handler(socketserver.StreamRequestHandler):
    root = b"."
    user = b"test"
    password = b"secret"
    active_only = False

    def reply(self, text):
        self.wfile.write(text.encode("latin-1") + b"\r\n")
        self.wfile.flush()

    def handle(self):
        self.cwd = b"/"
        self.logged_in = False
        self.given_user = None
        self.passive = None  # listening socket for PASV/EPSV
        self.active = None  # (host, port) for PORT/EPRT
        self.reply("220 test server")
        while True:
            line = self.rfile.readline()
            if not line:
                return
            line = line.rstrip(b"\r\n")
            verb, _, arg = line.partition(b" ")
            verb = verb.upper().decode("latin-1")
            if verb == "QUIT":
                self.reply("221 bye")
                return
            handler = getattr(self, "cmd_" + verb, None)
            if handler is None:
                self.reply("502 not implemented")
            elif not self.logged_in and verb not in ("USER", "PASS", "FEAT", "SYST"):
                self.reply("530 not logged in")
            else:
                handler(arg)

    # --- paths -----------------------------------------------------------------

    def virtual(self, arg):
        path = arg if arg.startswith(b"/") else posixpath.join(self.cwd, arg)
        path = posixpath.normpath(path)
        if path.startswith(b"//"):
            path = path[1:]
        return path

    def real(self, virtual):
        return os.path.join(self.root, virtual.lstrip(b"/"))

    # --- login -----------------------------------------------------------------

    def cmd_USER(self, arg):
        self.given_user = arg
        self.reply("331 password please")

    def cmd_PASS(self, arg):
        if self.given_user == self.user and arg == self.password:
            self.logged_in = True
            self.reply("230 logged in")
        else:
            self.reply("530 login incorrect")

    def cmd_SYST(self, arg):
        self.reply("215 UNIX Type: L8")

    def cmd_FEAT(self, arg):
        self.reply("211-features\r\n SIZE\r\n EPSV\r\n EPRT\r\n211 end")

    def cmd_NOOP(self, arg):
        self.reply("200 ok")

    def cmd_TYPE(self, arg):
        self.reply("200 type set")

    def cmd_REST(self, arg):
        if arg == b"0":
            self.reply("350 restarting at 0")
        else:
            self.reply("504 only 0")

    # --- folders ---------------------------------------------------------------

    def quoted(self, path):
        return '"' + path.replace(b'"', b'""').decode("latin-1") + '"'

    def cmd_PWD(self, arg):
        self.reply("257 %s is the current folder" % self.quoted(self.cwd))

    def cmd_CWD(self, arg):
        path = self.virtual(arg)
        if os.path.isdir(self.real(path)):
            self.cwd = path
            self.reply("250 folder changed")
        else:
            self.reply("550 no such folder")

    def cmd_CDUP(self, arg):
        self.cmd_CWD(b"..")

    def change(self, operation, arg, done, failed):
        """Applies operation to the real path of arg; replies done or failed."""
        path = self.virtual(arg)
        try:
            operation(self.real(path))
        except OSError:
            self.reply(failed)
            return
        self.reply(done(path))

    def cmd_MKD(self, arg):
        self.change(os.mkdir, arg, lambda p: "257 %s created" % self.quoted(p), "550 cannot create")

    def cmd_RMD(self, arg):
        self.change(os.rmdir, arg, lambda p: "250 removed", "550 cannot remove")

    def cmd_DELE(self, arg):
        self.change(os.remove, arg, lambda p: "250 deleted", "550 cannot delete")

    def cmd_SIZE(self, arg):
        real = self.real(self.virtual(arg))
        if os.path.isfile(real):
            self.reply("213 %d" % os.path.getsize(real))
        else:
            self.reply("550 no such file")

    def cmd_MDTM(self, arg):
        real = self.real(self.virtual(arg))
        if os.path.isfile(real):
            self.reply("213 " + time.strftime("%Y%m%d%H%M%S", time.gmtime(os.path.getmtime(real))))
        else:
            self.reply("550 no such file")

    # --- data connections ------------------------------------------------------

    def open_listener(self):
        if self.passive:
            self.passive.close()
        self.passive = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.passive.bind(("127.0.0.1", 0))
        self.passive.listen(1)
        self.active = None
        return self.passive.getsockname()[1]

    def cmd_PASV(self, arg):
        if self.active_only:
            self.reply("502 passive mode is off")
            return
        port = self.open_listener()
        self.reply("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (port >> 8, port & 255))

    def cmd_EPSV(self, arg):
        if self.active_only:
            self.reply("502 passive mode is off")
            return
        port = self.open_listener()
        self.reply("229 Entering Extended Passive Mode (|||%d|)" % port)

    def cmd_PORT(self, arg):
        parts = arg.decode("latin-1").split(",")
        if len(parts) != 6:
            self.reply("501 bad address")
            return
        self.active = (".".join(parts[:4]), int(parts[4]) * 256 + int(parts[5]))
        self.passive = None
        self.reply("200 port ok")

    def cmd_EPRT(self, arg):
        text = arg.decode("latin-1")
        fields = text[1:].split(text[:1]) if text else []
        if len(fields) < 3 or fields[0] not in ("1", "2"):
            self.reply("522 protocol not supported")
            return
        self.active = (fields[1], int(fields[2]))
        self.passive = None
        self.reply("200 eprt ok")

    def data_connection(self):
        try:
            if self.active:
                conn = socket.create_connection(self.active, timeout=10)
            elif self.passive:
                self.passive.settimeout(10)
                conn, _ = self.passive.accept()
                self.passive.close()
            else:
                return None
        except OSError:
            return None
        finally:
            self.active = None
            self.passive = None
        return conn

    def send_data(self, payload):
        self.reply("150 opening data connection")
        conn = self.data_connection()
        if conn is None:
            self.reply("425 cannot open data connection")
            return
        with conn:
            conn.sendall(payload)
        self.reply("226 transfer complete")

    def listing(self, arg, names_only):
        args = [a for a in arg.split(b" ") if a and not a.startswith(b"-")]
        real = self.real(self.virtual(args[0] if args else b"."))
        if not os.path.isdir(real):
            self.reply("550 no such folder")
            return
        lines = []
        for name in sorted(os.listdir(real)):
            if names_only:
                lines.append(name)
            else:
                kind = b"d" if os.path.isdir(os.path.join(real, name)) else b"-"
                size = os.path.getsize(os.path.join(real, name))
                lines.append(kind + b"rw-r--r-- 1 owner group %d Jan  1 00:00 " % size + name)
        self.send_data(b"".join(l + b"\r\n" for l in lines))

    def cmd_LIST(self, arg):
        self.listing(arg, False)

    def cmd_NLST(self, arg):
        self.listing(arg, True)

    def cmd_RETR(self, arg):
        real = self.real(self.virtual(arg))
        if not os.path.isfile(real):
            self.reply("550 no such file")
            return
        with open(real, "rb") as f:
            self.send_data(f.read())

    def cmd_STOR(self, arg):
        real = self.real(self.virtual(arg))
        if not os.path.isdir(os.path.dirname(real)):
            self.reply("553 no such folder")
            return
        self.reply("150 ready for data")
        conn = self.data_connection()
        if conn is None:
            self.reply("425 cannot open data connection")
            return
        chunks = []
        with conn:
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                chunks.append(chunk)
        with open(real, "wb") as f:
            f.write(b"".join(chunks))
        self.reply("226 stored")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="test")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--active-only", action="store_true")
    args = parser.parse_args()
    Handler.root = os.fsencode(os.path.abspath(args.root))
    Handler.user = os.fsencode(args.user)
    Handler.password = os.fsencode(args.password)
    Handler.active_only = args.active_only
    server = Server(("127.0.0.1", 0), Handler)
    print("ready %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
