#!/usr/bin/env python3
"""Syslog over TLS on 127.0.0.1, one connection at a time, recording its side of the wire: every
byte received (--raw), the decrypted data (--out) and per connection "handshake ok" or
"handshake failed: REASON", then "closed" (--events). --client-ca asks for a client certificate;
--no-tickets sends no TLS 1.3 session ticket."""
import argparse, os, socket, ssl

ap = argparse.ArgumentParser()
for name in ("cert", "key", "port-file", "raw", "out", "events"):
    ap.add_argument("--" + name, required=True)
ap.add_argument("--client-ca")
ap.add_argument("--no-tickets", action="store_true")
ap.add_argument("--port", type=int, default=0)
args = ap.parse_args()

ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(args.cert, args.key)
if args.client_ca:
    ctx.verify_mode = ssl.CERT_REQUIRED
    ctx.load_verify_locations(args.client_ca)
if args.no_tickets:
    ctx.num_tickets = 0
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", args.port))
listener.listen(4)
with open(args.port_file + ".tmp", "w") as f:
    f.write(str(listener.getsockname()[1]))
os.rename(args.port_file + ".tmp", args.port_file)


def append(path, data):
    with open(path, "ab" if isinstance(data, bytes) else "a") as f:
        f.write(data)

while True:
    conn, _ = listener.accept()
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = ctx.wrap_bio(incoming, outgoing, server_side=True)
    state = "handshaking"
    while True:
        try:
            data = conn.recv(65536)
        except OSError:
            data = b""
        if not data:
            break
        append(args.raw, data)
        incoming.write(data)
        try:
            if state == "handshaking":
                tls.do_handshake()
                state = "open"
                append(args.events, "handshake ok\n")
            if state == "open":
                while True:
                    append(args.out, tls.read(65536))
        except (ssl.SSLWantReadError, ssl.SSLZeroReturnError):
            pass
        except ssl.SSLError as e:
            append(args.events, "%s failed: %s\n" % ("handshake" if state == "handshaking"
                                                      else "session", e.reason))
            state = "failed"
        try:
            conn.sendall(outgoing.read())
        except OSError:
            break
    append(args.events, "closed\n")
    conn.close()
