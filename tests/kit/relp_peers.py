#!/usr/bin/env python3
"""Two small peers for the RELP tests, each on a port of 127.0.0.1 written to --port-file.

refuse: a RELP collector that answers the first --refuse syslog commands it gets with
        "500 <--reason>" and every later one with "200 OK"; it appends each message it took to
        --out and each refused one to --refused, one a line.
forward: a port forwarder to --to: it accepts every connection and relays it, or, while nothing
        listens at --to, closes it at once, as a load balancer in front of a dead collector does.
"""
import argparse
import os
import re
import socket
import threading

HEADER = re.compile(rb"(\d+) ([A-Za-z]+) (\d+)")


def listen(port, port_file):
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(16)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(port_file + ".tmp", port_file)
    return server


def frames(conn):
    buf = b""
    while True:
        m = HEADER.match(buf)
        if m:
            size = int(m.group(3))
            at = m.end() + (1 if size else 0)
            if len(buf) >= at + size + 1:
                yield int(m.group(1)), m.group(2).decode(), buf[at:at + size]
                buf = buf[at + size + 1:]
                continue
        chunk = conn.recv(65536)
        if not chunk:
            return
        buf += chunk


def answer(conn, txnr, data):
    conn.sendall(b"%d rsp %d%s\n" % (txnr, len(data), b" " + data if data else b""))


def refuse(args):
    left = [args.refuse]
    lock = threading.Lock()

    def session(conn):
        with conn:
            for txnr, command, data in frames(conn):
                if command == "open":
                    answer(conn, txnr, b"200 OK\nrelp_version=0\nrelp_software=test\ncommands=syslog")
                elif command == "close":
                    answer(conn, txnr, b"")
                    return
                elif command == "syslog":
                    with lock:
                        refused = left[0] > 0
                        left[0] -= refused
                        with open(args.refused if refused else args.out, "ab") as f:
                            f.write(data + b"\n")
                    answer(conn, txnr, b"500 " + args.reason.encode() if refused else b"200 OK")

    server = listen(args.port, args.port_file)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=session, args=(conn,), daemon=True).start()


def forward(args):
    def pipe(src, dst):
        try:
            while True:
                chunk = src.recv(65536)
                if not chunk:
                    break
                dst.sendall(chunk)
        except OSError:
            pass
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    server = listen(args.port, args.port_file)
    while True:
        conn, _ = server.accept()
        try:
            upstream = socket.create_connection(("127.0.0.1", args.to))
        except OSError:
            conn.close()
            continue
        threading.Thread(target=pipe, args=(conn, upstream), daemon=True).start()
        threading.Thread(target=pipe, args=(upstream, conn), daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["refuse", "forward"])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--refuse", type=int, default=1)
    parser.add_argument("--reason", default="queue is full")
    parser.add_argument("--out")
    parser.add_argument("--refused")
    parser.add_argument("--to", type=int)
    args = parser.parse_args()
    (refuse if args.mode == "refuse" else forward)(args)


if __name__ == "__main__":
    main()
