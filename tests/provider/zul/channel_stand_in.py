#!/usr/bin/env python3
"""A stand-in for the filter service's channel, run as the account it serves:
channel_stand_in.py DENIED LOG READY.

Shows the service's presence under both forms of its name ("VRA_Class" and
"VRA_Class.<user id>"), listens on 127.0.0.1:4100, answers "YN" to the site
question DENIED, "NN" to every other site and "AB:N" to program questions,
appends every request to LOG, and makes the file READY once it listens."""
import os
import socket
import sys
import threading

denied, log_path, ready_path = sys.argv[1:4]
names = []
for name in ("VRA_Class", "VRA_Class.%d" % os.geteuid()):
    presence = socket.socket(socket.AF_UNIX)
    presence.bind("\0" + name)
    presence.listen(16)
    names.append(presence)
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 4100))
listener.listen(16)
lock = threading.Lock()


def serve(conn):
    while True:
        request = conn.recv(1024).rstrip(b"\0").decode(errors="replace")
        if not request:
            return
        with lock, open(log_path, "a") as log:
            log.write(request + "\n")
        answer = "AB:N" if request.startswith("AB:") else "YN" if request == denied else "NN"
        conn.send(answer.encode())


def accept_presence(presence):
    while True:
        presence.accept()[0].close()


for presence in names:
    threading.Thread(target=accept_presence, args=(presence,), daemon=True).start()
open(ready_path, "w").close()
while True:
    threading.Thread(target=serve, args=(listener.accept()[0],), daemon=True).start()
