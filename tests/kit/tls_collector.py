#!/usr/bin/env python3
"""A Syslog-over-TLS collector for tests that must see what reaches the server side.

Listens on 127.0.0.1 (port 0: any free one, written to --port-file once it listens), takes one
connection at a time, and writes:
  --raw     every byte received on the TCP socket, before any decryption;
  --out     the application data the TLS session decrypted, as sent (octet-counted frames);
  --events  one line per connection: "handshake ok", "handshake failed: <reason>", "closed".
With --client-ca the collector asks for a client certificate and verifies it against that file.
"""
import argparse
import os
import socket
import ssl


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--client-ca")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--raw", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--events", required=True)
    args = ap.parse_args()

    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.cert, args.key)
    if args.client_ca:
        ctx.verify_mode = ssl.CERT_REQUIRED
        ctx.load_verify_locations(args.client_ca)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(4)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(args.port_file + ".tmp", args.port_file)

    def append(path, data, mode="ab"):
        with open(path, mode) as f:
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
            if state == "handshaking":
                try:
                    tls.do_handshake()
                    state = "open"
                    append(args.events, "handshake ok\n", "a")
                except ssl.SSLWantReadError:
                    pass
                except ssl.SSLError as e:
                    state = "failed"
                    append(args.events, "handshake failed: %s\n" % (e.reason or e), "a")
            if state == "open":
                try:
                    while True:
                        append(args.out, tls.read(65536))
                except (ssl.SSLWantReadError, ssl.SSLZeroReturnError):
                    pass
                except ssl.SSLError as e:
                    append(args.events, "session failed: %s\n" % (e.reason or e), "a")
                    state = "failed"
            pending = outgoing.read()
            if pending:
                try:
                    conn.sendall(pending)
                except OSError:
                    break
        append(args.events, "closed\n", "a")
        conn.close()


if __name__ == "__main__":
    main()
