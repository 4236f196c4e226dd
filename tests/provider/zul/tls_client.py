#!/usr/bin/env python3
"""Sends a real ClientHello in pieces: tls_client.py HOST PORT CAFILE PIECES [PAD [sendto|sendmsg|syscall]].

The ClientHello that Python's ssl makes for HOST (with PAD bytes of long ALPN
names, so it can grow past 1.5 KB) is sent in PIECES sends of about equal size;
the handshake then runs on and one request is made. With "sendto" the pieces
go out by sendto with the server's address (which TCP ignores), with
"sendmsg" by sendmsg with control data (a request for no timestamps), with "syscall" by the
C library's syscall() with the number of sendto (as ctypes programs can). Prints "size N", then
"page ..." or where the connection failed ("reset at send K", "reset later")."""
import ctypes
import os
import socket
import ssl
import struct
import sys

host, port, cafile, pieces = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
pad = int(sys.argv[5]) if len(sys.argv) > 5 else 0
how = sys.argv[6] if len(sys.argv) > 6 else "send"
SO_TIMESTAMPING = 37
SYS_SENDTO = 44
context = ssl.create_default_context(cafile=cafile)
if pad:
    context.set_alpn_protocols(["http/1.1"] + ["x" * 200 + str(i) for i in range(pad // 200)])
incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
tls = context.wrap_bio(incoming, outgoing, server_hostname=host)
try:
    tls.do_handshake()
except ssl.SSLWantReadError:
    pass
hello = outgoing.read()
print("size", len(hello))
sock = socket.create_connection(("127.0.0.1", port))
step = -(-len(hello) // pieces)
for k in range(pieces):
    try:
        piece = hello[k * step:(k + 1) * step]
        if how == "sendto":
            sock.sendto(piece, ("127.0.0.1", port))
        elif how == "sendmsg":
            sock.sendmsg([piece], [(socket.SOL_SOCKET, SO_TIMESTAMPING, struct.pack("i", 0))])
        elif how == "syscall":
            libc = ctypes.CDLL(None, use_errno=True)
            number, fd, length, none = (ctypes.c_long(n) for n in (SYS_SENDTO, sock.fileno(), len(piece), 0))
            if libc.syscall(number, fd, piece, length, none, none, none) < 0:
                raise OSError(ctypes.get_errno(), os.strerror(ctypes.get_errno()))
        else:
            sock.send(piece)
    except ConnectionResetError:
        print("reset at send", k + 1)
        try:
            sock.send(b"more")
        except ConnectionResetError:
            print("reset later")
        sys.exit(1)


def pump():
    data = outgoing.read()
    if data:
        sock.sendall(data)


while True:
    try:
        tls.do_handshake()
        break
    except ssl.SSLWantReadError:
        pump()
        incoming.write(sock.recv(65536))
pump()
tls.write(b"GET / HTTP/1.0\r\nHost: " + host.encode() + b"\r\n\r\n")
pump()
answer = b""
while True:
    try:
        answer += tls.read(65536)
    except ssl.SSLWantReadError:
        data = sock.recv(65536)
        if not data:
            break
        incoming.write(data)
    except (ssl.SSLZeroReturnError, ssl.SSLEOFError):
        break
print("page", answer.decode().split("\r\n\r\n", 1)[-1], end="")
