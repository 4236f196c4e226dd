#include "common/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, Rfc1321Suite) {
    EXPECT_EQ(qm::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(qm::Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(qm::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(qm::Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(qm::Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(qm::Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(qm::Md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                         "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the 56-byte padding boundary and a multi-block message fed in
// uneven pieces must give the same digest as one call.
TEST(Md5, IncrementalMatchesWhole) {
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        text += char('a' + i % 26);
    }
    for (std::size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string part = text.substr(0, length);
        qm::Md5 md5;
        for (std::size_t at = 0; at < part.size(); at += 7) {
            md5.Update(part.substr(at, 7));
        }
        auto digest = md5.Final();
        std::string hex;
        char buffer[3];
        for (auto byte : digest) {
            std::snprintf(buffer, sizeof buffer, "%02x", byte);
            hex += buffer;
        }
        EXPECT_EQ(hex, qm::Md5Hex(part)) << "length " << length;
    }
}

} // namespace
