#!/usr/bin/env python3
"""A stand-in name server on 127.0.0.1:53, over UDP and TCP as real ones are:
dns_stand_in.py LOG READY.

Answers every query for a name under "test." of type A with 127.0.0.1, and
every other query with no record (NOERROR, empty). Appends "TYPE NAME" per
query to LOG ("tcp TYPE NAME" for one over TCP), and makes the file READY once
it listens."""
import socket
import struct
import sys
import threading

log_path, ready_path = sys.argv[1:3]
log_lock = threading.Lock()


def question(query):
    labels, at = [], 12
    while query[at]:
        labels.append(query[at + 1:at + 1 + query[at]].decode(errors="replace"))
        at += 1 + query[at]
    qtype = struct.unpack(">H", query[at + 1:at + 3])[0]
    return ".".join(labels).lower(), qtype, at + 5


def answer(query, how):
    name, qtype, end = question(query)
    with log_lock, open(log_path, "a") as log:
        log.write("%s%d %s\n" % (how, qtype, name))
    answers = qtype == 1 and name.endswith(".test")
    header = query[:2] + struct.pack(">HHHHH", 0x8180, 1, 1 if answers else 0, 0, 0)
    reply = header + query[12:end]
    if answers:
        reply += struct.pack(">HHHIH4s", 0xC00C, 1, 1, 60, 4, socket.inet_aton("127.0.0.1"))
    return reply


def serve_tcp(conn):
    with conn:
        while True:
            head = conn.recv(2, socket.MSG_WAITALL)
            if len(head) < 2:
                return
            query = conn.recv(struct.unpack(">H", head)[0], socket.MSG_WAITALL)
            if len(query) >= 17:
                reply = answer(query, "tcp ")
                conn.sendall(struct.pack(">H", len(reply)) + reply)


def accept_tcp(listener):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve_tcp, args=(conn,), daemon=True).start()


udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind(("127.0.0.1", 53))
tcp = socket.socket()
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind(("127.0.0.1", 53))
tcp.listen(16)
threading.Thread(target=accept_tcp, args=(tcp,), daemon=True).start()
open(ready_path, "w").close()
while True:
    query, peer = udp.recvfrom(4096)
    if len(query) >= 17:
        udp.sendto(answer(query, ""), peer)
