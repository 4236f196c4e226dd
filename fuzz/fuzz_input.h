#pragma once
// Cuts one fuzz input into the parts a target needs: single bytes, and parts
// prefixed by a two-byte little-endian length (cut to what is left). Whatever
// is missing reads as zero or empty.

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return size_ > 0 ? (--size_, *data_++) : 0; }

    std::string Part() {
        std::size_t length = Byte();
        length |= std::size_t(Byte()) << 8;
        return Take(length);
    }

    std::string Rest() { return Take(size_); }

  private:
    std::string Take(std::size_t length) {
        length = length < size_ ? length : size_;
        std::string part(reinterpret_cast<const char*>(data_), length);
        data_ += length;
        size_ -= length;
        return part;
    }

    const std::uint8_t* data_;
    std::size_t size_;
};
