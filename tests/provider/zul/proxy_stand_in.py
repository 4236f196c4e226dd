#!/usr/bin/env python3
"""A proxy on 127.0.0.1 for tests: proxy_stand_in.py PORTFILE.

Writes its port to PORTFILE. Takes SOCKS 4 and 4a, SOCKS 5 (without login or
with a user name and password) and HTTP CONNECT, and opens every tunnel to
127.0.0.1 at the port asked for, whatever host was named; then relays both
ways until either side closes."""
import os
import socket
import struct
import sys
import threading


def read_exact(conn, size):
    data = b""
    while len(data) < size:
        more = conn.recv(size - len(data))
        if not more:
            raise ConnectionError("closed")
        data += more
    return data


def read_until_zero(conn):
    data = b""
    while not data.endswith(b"\0"):
        data += read_exact(conn, 1)
    return data


def socks5(conn):
    methods = read_exact(conn, read_exact(conn, 2)[1])
    if 2 in methods:
        conn.sendall(b"\x05\x02")
        name_length = read_exact(conn, 2)[1]
        read_exact(conn, name_length)
        read_exact(conn, read_exact(conn, 1)[0])
        conn.sendall(b"\x01\x00")
    else:
        conn.sendall(b"\x05\x00")
    kind = read_exact(conn, 4)[3]
    address_size = {1: 4, 4: 16}.get(kind) or read_exact(conn, 1)[0]
    read_exact(conn, address_size)
    port = struct.unpack("!H", read_exact(conn, 2))[0]
    conn.sendall(b"\x05\x00\x00\x01\x7f\x00\x00\x01" + struct.pack("!H", port))
    return port


def socks4(conn):
    header = read_exact(conn, 8)
    port = struct.unpack("!H", header[2:4])[0]
    read_until_zero(conn)  # the user id
    if header[4:7] == b"\0\0\0" and header[7] != 0:
        read_until_zero(conn)  # the host name (4a)
    conn.sendall(b"\x00\x5a" + header[2:8])
    return port


def http_connect(conn):
    head = b""
    while b"\r\n\r\n" not in head:
        head += read_exact(conn, 1)
    target = head.split(b" ")[1].decode()
    conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
    return int(target.rsplit(":", 1)[1])


def relay(source, target):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    finally:
        for side in (source, target):
            try:
                side.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def serve(conn):
    try:
        first = conn.recv(1, socket.MSG_PEEK)
        port = {b"\x05": socks5, b"\x04": socks4}.get(first, http_connect)(conn)
        upstream = socket.create_connection(("127.0.0.1", port))
    except (OSError, ConnectionError, IndexError, ValueError):
        conn.close()
        return
    threading.Thread(target=relay, args=(upstream, conn), daemon=True).start()
    relay(conn, upstream)


def main():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(sys.argv[1] + ".new", "w") as port_file:
        port_file.write(str(listener.getsockname()[1]))
    os.rename(sys.argv[1] + ".new", sys.argv[1])
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


main()
