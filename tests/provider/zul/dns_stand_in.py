#!/usr/bin/env python3
"""A stand-in name server on 127.0.0.1:53: dns_stand_in.py LOG READY.

Answers every query for a name under "test." of type A with 127.0.0.1, and
every other query with no record (NOERROR, empty). Appends "TYPE NAME" per
query to LOG, and makes the file READY once it listens."""
import socket
import struct
import sys

log_path, ready_path = sys.argv[1:3]
server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind(("127.0.0.1", 53))
open(ready_path, "w").close()


def question(query):
    labels, at = [], 12
    while query[at]:
        labels.append(query[at + 1:at + 1 + query[at]].decode(errors="replace"))
        at += 1 + query[at]
    qtype = struct.unpack(">H", query[at + 1:at + 3])[0]
    return ".".join(labels).lower(), qtype, at + 5


while True:
    query, peer = server.recvfrom(4096)
    if len(query) < 17:
        continue
    name, qtype, end = question(query)
    with open(log_path, "a") as log:
        log.write("%d %s\n" % (qtype, name))
    answers = qtype == 1 and name.endswith(".test")
    header = query[:2] + struct.pack(">HHHHH", 0x8180, 1, 1 if answers else 0, 0, 0)
    reply = header + query[12:end]
    if answers:
        reply += struct.pack(">HHHIH4s", 0xC00C, 1, 1, 60, 4, socket.inet_aton("127.0.0.1"))
    server.sendto(reply, peer)
