#!/usr/bin/env python3
"""A TLS server on 127.0.0.1 for tests: tls_server.py CERT KEY LOG PORTFILE.

Writes its port to PORTFILE. For every connection it appends one line to LOG:
"nothing" when the peer sent no byte before closing (or within 5 s), otherwise
"hello NAME" with the server name of the ClientHello ("-" for none) after the
handshake, and answers one request with a small page."""
import socket
import ssl
import sys
import threading

cert, key, log_path, port_path = sys.argv[1:5]
log_lock = threading.Lock()
PAGE = b"secure page\n"


def log(line):
    with log_lock, open(log_path, "a") as log_file:
        log_file.write(line + "\n")


def serve(conn):
    names = []
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.sni_callback = lambda sock, name, ctx: names.append(name or "-")
    conn.settimeout(5)
    try:
        first = conn.recv(1, socket.MSG_PEEK)
    except OSError:
        first = b""
    if not first:
        log("nothing")
        conn.close()
        return
    try:
        tls = context.wrap_socket(conn, server_side=True)
        log("hello " + (names[0] if names else "-"))
        tls.recv(4096)
        tls.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(PAGE) + PAGE)
        tls.close()
    except OSError as error:
        log("hello " + (names[0] if names else "-") + " failed " + type(error).__name__)
        conn.close()


listener = socket.create_server(("127.0.0.1", 0))
with open(port_path + ".tmp", "w") as port_file:
    port_file.write(str(listener.getsockname()[1]))
import os  # noqa: E402

os.rename(port_path + ".tmp", port_path)
while True:
    peer, _ = listener.accept()
    threading.Thread(target=serve, args=(peer,), daemon=True).start()
