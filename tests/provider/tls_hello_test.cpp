// The ClientHello reader over whole, cut, oversized and garbled records. Every
// input lies in a buffer of its exact size, so the address sanitizer sees any
// read past its end.

#include "provider/tls_hello.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& out, std::size_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

// Length-prefixed bytes.
Bytes Vec(const Bytes& body, int lengthBytes) {
    Bytes out;
    Put(out, body.size(), lengthBytes);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Extension(std::uint16_t type, const Bytes& data) {
    Bytes out;
    Put(out, type, 2);
    Bytes body = Vec(data, 2);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes ServerName(const std::string& host) {
    Bytes entry{0};
    Bytes name = Vec(Text(host), 2);
    entry.insert(entry.end(), name.begin(), name.end());
    return Extension(0, Vec(entry, 2));
}

// A ClientHello record with these extensions, shaped as TLS 1.3 clients send it.
Bytes Hello(const std::vector<Bytes>& extensions) {
    Bytes body{3, 3};
    body.insert(body.end(), 32, 0xab); // random
    Bytes session = Vec(Bytes(32, 0x11), 1);
    Bytes suites = Vec(Bytes{0x13, 0x01, 0x13, 0x02}, 2);
    Bytes compression = Vec(Bytes{0}, 1);
    for (const Bytes* part : {&session, &suites, &compression}) {
        body.insert(body.end(), part->begin(), part->end());
    }
    Bytes all;
    for (const Bytes& extension : extensions) {
        all.insert(all.end(), extension.begin(), extension.end());
    }
    Bytes list = Vec(all, 2);
    body.insert(body.end(), list.begin(), list.end());
    Bytes handshake{1};
    Bytes message = Vec(body, 3);
    handshake.insert(handshake.end(), message.begin(), message.end());
    Bytes record{22, 3, 1};
    Bytes framed = Vec(handshake, 2);
    record.insert(record.end(), framed.begin(), framed.end());
    return record;
}

zul::TlsHello Read(const Bytes& bytes) {
    std::vector<unsigned char> exact(bytes); // exact size: the sanitizer sees overreads
    return zul::ReadClientHello(exact.data(), exact.size());
}

const Bytes kGreased = Extension(0x0a0a, {});
const Bytes kVersions = Extension(43, Bytes{2, 3, 4});
// A post-quantum key share makes the record well over 1.5 KB.
const Bytes kBigKeyShare = Extension(51, Vec(Bytes(1400, 0x5a), 2));
// An encrypted ClientHello extension: the inner name is not readable.
const Bytes kEncryptedHello = Extension(0xfe0d, Bytes(200, 0x77));

TEST(TlsHello, ServerNameIsReadInLowerCaseWithoutItsFinalDot) {
    zul::TlsHello hello = Read(Hello({kGreased, ServerName("WWW.Example.COM."), kVersions}));
    EXPECT_EQ(hello.kind, zul::TlsHello::Complete);
    EXPECT_EQ(hello.serverName, "www.example.com");
}

TEST(TlsHello, EveryCutOfALargeHelloAsksForTheWholeRecord) {
    Bytes hello = Hello({ServerName("big.example"), kBigKeyShare, kVersions});
    ASSERT_GT(hello.size(), 1500u);
    for (std::size_t cut = 1; cut < hello.size(); ++cut) {
        zul::TlsHello part = Read(Bytes(hello.begin(), hello.begin() + long(cut)));
        ASSERT_EQ(part.kind, zul::TlsHello::NeedMore) << cut;
        ASSERT_EQ(part.needed, cut < 6 ? 6u : hello.size()) << cut;
    }
    EXPECT_EQ(Read(hello).serverName, "big.example");
    Bytes more = hello; // what follows the record is not the reader's business
    more.insert(more.end(), {23, 3, 3, 0, 1, 0});
    EXPECT_EQ(Read(more).serverName, "big.example");
}

TEST(TlsHello, EncryptedHelloIsDecidedByItsOuterName) {
    zul::TlsHello hello = Read(Hello({kEncryptedHello, ServerName("public.example"), kVersions}));
    EXPECT_EQ(hello.kind, zul::TlsHello::Complete);
    EXPECT_EQ(hello.serverName, "public.example");
}

TEST(TlsHello, HelloWithoutANameIsCompleteAndNamesNone) {
    zul::TlsHello hello = Read(Hello({kVersions}));
    EXPECT_EQ(hello.kind, zul::TlsHello::Complete);
    EXPECT_EQ(hello.serverName, "");
}

TEST(TlsHello, OtherBytesAreNoHello) {
    EXPECT_EQ(Read(Text("GET / HTTP/1.1\r\n")).kind, zul::TlsHello::NotHello);
    EXPECT_EQ(Read({23, 3, 3, 0, 5, 1, 2, 3, 4, 5}).kind, zul::TlsHello::NotHello);
    EXPECT_EQ(Read({22, 3, 3, 0, 5, 2, 0, 0, 1, 0}).kind, zul::TlsHello::NotHello); // a reply
    EXPECT_EQ(Read({22, 'x', 3, 0, 5, 1}).kind, zul::TlsHello::NotHello);
    EXPECT_EQ(Read({}).kind, zul::TlsHello::NotHello);
}

TEST(TlsHello, BrokenLengthsAndHostileNamesAreMalformed) {
    Bytes good = Hello({ServerName("a.example")});
    auto withRecordLength = [&](std::size_t length) {
        Bytes bytes = good;
        bytes[3] = static_cast<unsigned char>(length >> 8);
        bytes[4] = static_cast<unsigned char>(length);
        return bytes;
    };
    EXPECT_EQ(Read(withRecordLength(16385)).kind, zul::TlsHello::Malformed);
    EXPECT_EQ(Read(withRecordLength(0)).kind, zul::TlsHello::Malformed);
    // The record is shorter than the handshake it carries (continued in another record).
    EXPECT_EQ(Read(withRecordLength(good.size() - 6)).kind, zul::TlsHello::Malformed);
    // A record longer than what came waits for the rest.
    EXPECT_EQ(Read(withRecordLength(good.size())).kind, zul::TlsHello::NeedMore);
    // An extension longer than the extensions.
    Bytes longExtension = Hello({Extension(5, Bytes(4, 1))});
    longExtension[longExtension.size() - 5] = 0x40;
    EXPECT_EQ(Read(longExtension).kind, zul::TlsHello::Malformed);
    // "a.example.." would read as "a.example." and miss every list naming "a.example".
    for (std::string host :
         {"a/b.example", "a b", "", "a..b", ".a", "x\r\nHost: y", "a.example..", ".."}) {
        EXPECT_EQ(Read(Hello({ServerName(host)})).kind, zul::TlsHello::Malformed) << host;
    }
    EXPECT_EQ(Read(Hello({ServerName("a.example"), ServerName("b.example")})).kind,
              zul::TlsHello::Malformed);
    EXPECT_EQ(Read(Hello({ServerName(std::string(300, 'a'))})).kind, zul::TlsHello::Malformed);
}

// Random bytes after a believable header, and single bytes of a real-shaped
// hello changed at every position: no crash, no overread, one of the four kinds.
TEST(TlsHello, GarbageNeverReadsPastItsBytes) {
    std::mt19937 random(15);
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes{22, 3, 1};
        std::size_t length = random() % 600;
        Put(bytes, length, 2);
        bytes.push_back(1);
        while (bytes.size() < 5 + length + random() % 3) {
            bytes.push_back(static_cast<unsigned char>(random()));
        }
        zul::TlsHello hello = Read(bytes);
        ASSERT_LE(int(hello.kind), int(zul::TlsHello::Malformed));
    }
    Bytes hello = Hello({kGreased, ServerName("a.example"), kEncryptedHello, kVersions});
    for (std::size_t at = 0; at < hello.size(); ++at) {
        for (unsigned char value : {0x00, 0x01, 0x7f, 0xff}) {
            Bytes changed = hello;
            changed[at] = value;
            zul::TlsHello result = Read(changed);
            if (result.kind == zul::TlsHello::Complete && !result.serverName.empty()) {
                ASSERT_EQ(
                    result.serverName.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_."),
                    std::string::npos);
            }
        }
    }
}

} // namespace
