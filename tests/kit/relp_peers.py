#!/usr/bin/env python3
"""Peers for the RELP tests on 127.0.0.1; each writes its port to DIR/port.

DIR refuse N REASON: a RELP collector answering its first N syslog commands with "500 REASON",
  the rest with "200 OK"; appends each message to DIR/refused or DIR/taken.
DIR forward TO: relays each connection to port TO, or closes it at once while nothing listens
  there, as a port forwarder in front of a dead collector does.
"""
import itertools
import os
import re
import socket
import sys
import threading


def serve(out_dir, session):
    server = socket.create_server(("127.0.0.1", 0))
    with open(out_dir + "/port.tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(out_dir + "/port.tmp", out_dir + "/port")
    while True:
        threading.Thread(target=session, args=(server.accept()[0],), daemon=True).start()


def frames(conn):
    buf = b""
    while True:
        m = re.match(rb"(\d+) ([A-Za-z]+) (\d+)", buf)
        at = m and m.end() + (int(m.group(3)) > 0)
        if m and len(buf) > at + int(m.group(3)):
            yield int(m.group(1)), m.group(2), buf[at:at + int(m.group(3))]
            buf = buf[at + int(m.group(3)) + 1:]
        elif chunk := conn.recv(65536):
            buf += chunk
        else:
            return


def refuse(out_dir, refusals, reason):
    syslog_commands = itertools.count()  # taken one at a time by every session

    def session(conn):
        for txnr, command, data in frames(conn):
            answer = b"200 OK"
            if command == b"open":
                answer += b"\nrelp_version=0\ncommands=syslog"
            elif command == b"close":
                answer = b""
            elif command == b"syslog":
                refused = next(syslog_commands) < int(refusals)
                with open(out_dir + ("/refused" if refused else "/taken"), "ab") as f:
                    f.write(data + b"\n")
                answer = b"500 " + reason.encode() if refused else answer
            conn.sendall(b"%d rsp %d%s\n" % (txnr, len(answer), b" " + answer if answer else b""))
        conn.close()

    serve(out_dir, session)


def forward(out_dir, to):
    def pipe(src, dst):
        while chunk := src.recv(65536):
            dst.sendall(chunk)
        dst.shutdown(socket.SHUT_WR)

    def session(conn):
        try:
            upstream = socket.create_connection(("127.0.0.1", int(to)))
        except OSError:
            return conn.close()
        threading.Thread(target=pipe, args=(upstream, conn), daemon=True).start()
        pipe(conn, upstream)

    serve(out_dir, session)


if __name__ == "__main__":
    {"refuse": refuse, "forward": forward}[sys.argv[2]](sys.argv[1], *filter(None, sys.argv[3:]))
