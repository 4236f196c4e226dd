# Sends datagrams every way a program can: to port 53 (which must arrive, but
# for name queries asking for HTTPS records, also over TCP) and to port 443
# (which must be refused). Prints one line per way.
import ctypes
import socket
import struct

TOS = [(socket.IPPROTO_IP, socket.IP_TOS, struct.pack("i", 2))]  # control data
libc = ctypes.CDLL(None, use_errno=True)


class IoVec(ctypes.Structure):
    _fields_ = [("base", ctypes.c_void_p), ("len", ctypes.c_size_t)]


class MsgHdr(ctypes.Structure):
    _fields_ = [("name", ctypes.c_void_p), ("namelen", ctypes.c_uint32),
                ("iov", ctypes.POINTER(IoVec)), ("iovlen", ctypes.c_size_t),
                ("control", ctypes.c_void_p), ("controllen", ctypes.c_size_t),
                ("flags", ctypes.c_int)]


class MMsgHdr(ctypes.Structure):
    _fields_ = [("hdr", MsgHdr), ("len", ctypes.c_uint)]


def sendmmsg(sock, port, payloads):
    address = ctypes.create_string_buffer(
        struct.pack("=HH4s8x", socket.AF_INET, socket.htons(port),
                    socket.inet_aton("127.0.0.1")), 16)
    keep = [ctypes.create_string_buffer(p, len(p)) for p in payloads]
    vectors = [IoVec(ctypes.cast(b, ctypes.c_void_p), len(p)) for b, p in zip(keep, payloads)]
    messages = (MMsgHdr * len(payloads))()
    for m, v in zip(messages, vectors):
        m.hdr.name = ctypes.cast(address, ctypes.c_void_p)
        m.hdr.namelen = 16
        m.hdr.iov = ctypes.pointer(v)
        m.hdr.iovlen = 1
    result = libc.sendmmsg(sock.fileno(), messages, len(payloads), 0)
    return result if result >= 0 else -ctypes.get_errno()


def query(qtype):
    return (struct.pack(">6H", 7, 0x0100, 1, 0, 0, 0) + b"\x04site\x04test\x00" +
            struct.pack(">HH", qtype, 1))


def refused(send):
    try:
        result = send()
        return "sent" if result >= 0 else -result
    except OSError as e:
        return e.errno


dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
dns.bind(("127.0.0.1", 53))
dns.settimeout(5)
u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
ways = {
    "sendto": lambda port, data=b"quic": u.sendto(data, ("127.0.0.1", port)),
    "sendmsg": lambda port, data=b"quic": u.sendmsg([data], TOS, 0, ("127.0.0.1", port)),
    "sendmmsg": lambda port, data=None: sendmmsg(u, port, [data] if data else [b"one", b"two"]),
}
for how, send in ways.items():
    result = send(53)
    got = [dns.recvfrom(100)[0].decode() for _ in range(2 if how == "sendmmsg" else 1)]
    print("53", how, result, " ".join(got))
    print("443", how, refused(lambda: send(443)))
    send(53, query(1))
    print("53 A", how, dns.recvfrom(100)[0] == query(1),
          "HTTPS", refused(lambda: send(53, query(65))))
c53 = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
c53.connect(("127.0.0.1", 53))
print("53 connected SVCB", refused(lambda: c53.send(query(64))))
# Over TCP a query goes with its length in front.
tcp = socket.socket()
tcp.bind(("127.0.0.1", 53))
tcp.listen(1)
t = socket.create_connection(("127.0.0.1", 53))
server = tcp.accept()[0]
t.send(struct.pack(">H", len(query(1))) + query(1))
print("53 tcp A", server.recv(100)[2:] == query(1),
      "HTTPS", refused(lambda: t.send(struct.pack(">H", len(query(65))) + query(65))))
c = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
c.connect(("127.0.0.1", 443))
for how, send in (("send", lambda: c.send(b"quic")),
                  ("sendmsg", lambda: c.sendmsg([b"quic"], TOS))):
    try:
        send()
        print("443 connected", how, "sent")
    except OSError as e:
        print("443 connected", how, e.errno)
