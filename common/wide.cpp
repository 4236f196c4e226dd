#include "common/wide.h"

#include <algorithm>

namespace qm {
namespace {

// Decodes one UTF-8 sequence at text[at]; malformed bytes decode as U+FFFD.
char32_t DecodeUtf8(std::string_view text, std::size_t& at) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    int extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
    if (extra < 0 || at + std::size_t(extra) >= text.size()) {
        ++at;
        return U'\uFFFD';
    }
    char32_t code = lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((byte(at + std::size_t(i)) & 0xC0) != 0x80) {
            at += std::size_t(i);
            return U'\uFFFD';
        }
        code = (code << 6) | (byte(at + std::size_t(i)) & 0x3F);
    }
    at += std::size_t(extra) + 1;
    return code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? U'\uFFFD' : code;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

} // namespace

std::u16string WideFromNarrow(std::string_view text) {
    std::u16string out;
    for (std::size_t at = 0; at < text.size();) {
        char32_t code = DecodeUtf8(text, at);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += char16_t(0xD800 + (code >> 10));
            out += char16_t(0xDC00 + (code & 0x3FF));
        } else {
            out += char16_t(code);
        }
    }
    return out;
}

std::string NarrowFromWide(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = 0xFFFD;
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::u16string_view WideField(const char16_t* field, std::size_t capacity) {
    const char16_t* end = std::find(field, field + capacity, u'\0');
    return std::u16string_view(field, std::size_t(end - field));
}

void CopyToWideField(std::u16string_view text, char16_t* field, std::size_t capacity) {
    if (capacity == 0) {
        return;
    }
    std::size_t length = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), length, field);
    std::fill(field + length, field + capacity, u'\0');
}

} // namespace qm
