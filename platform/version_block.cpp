#include "platform/version_block.h"

#include <cstring>

namespace platform {
namespace {

constexpr char kMagic[4] = {'Q', 'M', 'V', 'I'};

void PutU16(std::vector<BYTE>& out, std::size_t value) {
    out.push_back(BYTE(value));
    out.push_back(BYTE(value >> 8));
}

void PutU32(std::vector<BYTE>& out, std::size_t value) {
    PutU16(out, value & 0xffff);
    PutU16(out, value >> 16);
}

void PutText(std::vector<BYTE>& out, const std::string& text) {
    PutU16(out, text.size() + 1);
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// A bounded reader over the block's bytes.
class Cursor {
  public:
    Cursor(const BYTE* data, std::size_t size) : data_(data), size_(size) {}

    bool Take(std::size_t count, const BYTE** at) {
        if (count > size_ - offset_) {
            return false;
        }
        *at = data_ + offset_;
        offset_ += count;
        return true;
    }
    bool U16(std::size_t* value) {
        const BYTE* at = nullptr;
        if (!Take(2, &at)) {
            return false;
        }
        *value = std::size_t(at[0]) | std::size_t(at[1]) << 8;
        return true;
    }
    bool U32(std::size_t* value) {
        std::size_t low = 0;
        std::size_t high = 0;
        if (!U16(&low) || !U16(&high)) {
            return false;
        }
        *value = low | high << 16;
        return true;
    }
    // A length-prefixed text that ends in its only NUL.
    bool Text(const char** text, std::size_t* length) {
        const BYTE* at = nullptr;
        if (!U16(length) || *length == 0 || !Take(*length, &at) || at[*length - 1] != 0 ||
            std::memchr(at, 0, *length - 1) != nullptr) {
            return false;
        }
        *text = reinterpret_cast<const char*>(at);
        return true;
    }
    bool AtEnd() const { return offset_ == size_; }

  private:
    const BYTE* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

} // namespace

std::vector<BYTE>
BuildVersionBlock(const std::vector<VersionTranslation>& translations,
                  const std::vector<std::pair<std::string, std::string>>& strings) {
    std::vector<BYTE> block(kMagic, kMagic + 4);
    PutU32(block, 0); // total length, filled in at the end
    PutU32(block, translations.size() * 4);
    for (const VersionTranslation& translation : translations) {
        PutU16(block, translation.language);
        PutU16(block, translation.codePage);
    }
    PutU32(block, strings.size());
    for (const auto& [key, value] : strings) {
        PutText(block, key);
        PutText(block, value);
    }
    std::vector<BYTE> total;
    PutU32(total, block.size());
    std::memcpy(block.data() + 4, total.data(), 4);
    return block;
}

bool ReadVersionBlock(const BYTE* data, std::size_t size, VersionBlockView* view) {
    Cursor cursor(data, size);
    const BYTE* magic = nullptr;
    std::size_t total = 0;
    std::size_t count = 0;
    VersionBlockView read;
    if (!data || !cursor.Take(4, &magic) || std::memcmp(magic, kMagic, 4) != 0 ||
        !cursor.U32(&total) || total != size || !cursor.U32(&read.translationBytes) ||
        read.translationBytes % 4 != 0 || !cursor.Take(read.translationBytes, &read.translations) ||
        !cursor.U32(&count)) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        VersionBlockView::Entry entry{};
        std::size_t keyLength = 0;
        if (!cursor.Text(&entry.key, &keyLength) ||
            !cursor.Text(&entry.value, &entry.valueLength)) {
            return false;
        }
        read.strings.push_back(entry);
    }
    if (!cursor.AtEnd()) {
        return false;
    }
    *view = std::move(read);
    return true;
}

} // namespace platform
