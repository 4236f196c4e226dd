#pragma once
// MD5 message digest (RFC 1321).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// Incremental MD5: feed bytes with Update, then read the digest once with Final.
class Md5 {
  public:
    Md5();
    void Update(const void* data, std::size_t length);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    std::array<std::uint8_t, 16> Final();

  private:
    void Transform(const std::uint8_t block[64]);

    std::array<std::uint32_t, 4> state_;
    std::uint64_t bitCount_ = 0;
    std::array<std::uint8_t, 64> buffer_{};
};

// The digest of text as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view text);

} // namespace qm
