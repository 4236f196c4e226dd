#include "platform/registry_hive.h"

#include "common/text.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace platform::hive {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = qm::ToLowerAscii(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Reads a quoted string at the start of text; returns the rest after the
// closing quote, or nullopt when the quoting is broken.
std::optional<std::string_view> ReadQuoted(std::string_view text, std::string& out) {
    if (text.empty() || text.front() != '"') {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            return text.substr(i + 1);
        }
        if (c == '\\') {
            if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) {
                return std::nullopt;
            }
            c = text[i];
        }
        out += c;
    }
    return std::nullopt;
}

bool ReadHexBytes(std::string_view text, std::string& out) {
    if (text.empty()) {
        return true;
    }
    while (true) {
        if (text.size() < 2 || HexDigit(text[0]) < 0 || HexDigit(text[1]) < 0) {
            return false;
        }
        out += char(HexDigit(text[0]) * 16 + HexDigit(text[1]));
        text.remove_prefix(2);
        if (text.empty()) {
            return true;
        }
        if (text.front() != ',') {
            return false;
        }
        text.remove_prefix(1);
    }
}

bool ReadData(std::string_view text, Value& value) {
    if (!text.empty() && text.front() == '"') {
        value.type = 1; // REG_SZ
        auto rest = ReadQuoted(text, value.data);
        return rest && rest->empty();
    }
    if (text.starts_with("dword:")) {
        text.remove_prefix(6);
        if (text.size() != 8) {
            return false;
        }
        std::uint32_t number = 0;
        for (char c : text) {
            if (HexDigit(c) < 0) {
                return false;
            }
            number = number * 16 + std::uint32_t(HexDigit(c));
        }
        value.type = 4; // REG_DWORD
        value.data.assign(reinterpret_cast<const char*>(&number), 4);
        return true;
    }
    if (text.starts_with("hex:")) {
        value.type = 3; // REG_BINARY
        return ReadHexBytes(text.substr(4), value.data);
    }
    if (text.starts_with("hex(")) {
        auto close = text.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) {
            return false;
        }
        DWORD type = 0;
        for (char c : text.substr(4, close - 4)) {
            if (HexDigit(c) < 0) {
                return false;
            }
            type = type * 16 + DWORD(HexDigit(c));
        }
        value.type = type;
        if (!ReadHexBytes(text.substr(close + 2), value.data)) {
            return false;
        }
        // Strings kept in hex form carry their terminating NUL.
        if (type == 1 && !value.data.empty() && value.data.back() == '\0') {
            value.data.pop_back();
        }
        return true;
    }
    return false;
}

bool ReadValueLine(std::string_view line, Value& value) {
    std::string_view rest;
    if (line.starts_with("@=")) {
        rest = line.substr(2);
    } else {
        auto afterName = ReadQuoted(line, value.name);
        if (!afterName || afterName->empty() || afterName->front() != '=') {
            return false;
        }
        rest = afterName->substr(1);
    }
    return ReadData(rest, value);
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + '"';
}

std::string HexList(std::string_view bytes) {
    std::string out;
    char buffer[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x",
                      unsigned(std::uint8_t(bytes[i])));
        out += buffer;
    }
    return out;
}

bool IsPlainText(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return std::uint8_t(c) < 0x20 || c == 0x7f; });
}

std::string FormatData(const Value& value) {
    char buffer[32];
    if (value.type == 1 && IsPlainText(value.data)) {
        return Quote(value.data);
    }
    if (value.type == 4 && value.data.size() == 4) {
        std::uint32_t number;
        std::copy(value.data.begin(), value.data.end(), reinterpret_cast<char*>(&number));
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        return buffer;
    }
    if (value.type == 3) {
        return "hex:" + HexList(value.data);
    }
    std::snprintf(buffer, sizeof buffer, "hex(%x):", unsigned(value.type));
    std::string bytes = value.data;
    if (value.type == 1) {
        bytes += '\0';
    }
    return buffer + HexList(bytes);
}

// The hive's keys by their path in lower case, each marked whole when every
// parent on its path (the text before each backslash) is a key too. Adding a
// key below a whole parent, as reading a hive the writer wrote always does,
// costs the length of its path however many keys the hive holds.
class KeyIndex {
  public:
    explicit KeyIndex(Hive& hive) : hive_(hive) {
        for (std::size_t k = 0; k < hive.keys.size(); ++k) {
            std::string_view path = Lower(hive.keys[k].path);
            if (!keys_.contains(path)) { // else the first of them, as Find
                keys_.emplace(path, Entry{k, HasWholeParent(path)});
            }
        }
    }

    // Adds each missing key from the top of the path down, as the path's own
    // text up to that point.
    Key& Create(std::string_view path) {
        std::string_view lower = Lower(path);
        if (const Entry* whole = WholeKey(lower)) {
            return hive_.keys[whole->key];
        }
        if (!HasWholeParent(lower)) {
            for (std::size_t at = lower.find('\\'); at != std::string_view::npos;
                 at = lower.find('\\', at + 1)) {
                Add(path.substr(0, at), lower.substr(0, at));
            }
        }
        return hive_.keys[Add(path, lower).key];
    }

  private:
    struct Entry {
        std::size_t key;
        bool whole;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    using Map = std::unordered_map<std::string, Entry, Hash, std::equal_to<>>;

    std::string_view Lower(std::string_view path) {
        lower_.assign(path);
        qm::ToLowerInPlace(lower_.data(), lower_.size());
        return lower_;
    }

    const Entry* WholeKey(std::string_view lower) const {
        auto found = keys_.find(lower);
        return found != keys_.end() && found->second.whole ? &found->second : nullptr;
    }

    bool HasWholeParent(std::string_view lower) const {
        std::size_t slash = lower.rfind('\\');
        return slash == std::string_view::npos || WholeKey(lower.substr(0, slash));
    }

    // Makes the key whose every parent is a key now: adds it when missing.
    const Entry& Add(std::string_view path, std::string_view lower) {
        auto found = keys_.find(lower);
        if (found == keys_.end()) {
            found = keys_.emplace(lower, Entry{hive_.keys.size(), true}).first;
            hive_.keys.push_back(Key{std::string(path), {}, false});
        }
        found->second.whole = true;
        return found->second;
    }

    Hive& hive_;
    Map keys_;
    std::string lower_;
};

bool IsBelow(std::string_view path, std::string_view parent) {
    if (parent.empty()) {
        return !path.empty();
    }
    return path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
           qm::EqualsNoCase(path.substr(0, parent.size()), parent);
}

} // namespace

Key* Hive::Find(std::string_view path) {
    for (auto& key : keys) {
        if (qm::EqualsNoCase(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

const Key* Hive::Find(std::string_view path) const {
    return const_cast<Hive*>(this)->Find(path);
}

Key& Hive::Create(std::string_view path) {
    return KeyIndex(*this).Create(path);
}

bool Hive::HasSubkeys(std::string_view path) const {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const Key& key) { return IsBelow(key.path, path); });
}

std::vector<std::string> Hive::Subkeys(std::string_view path) const {
    std::vector<std::string> names;
    std::size_t skip = path.empty() ? 0 : path.size() + 1;
    for (const auto& key : keys) {
        if (!IsBelow(key.path, path)) {
            continue;
        }
        std::string name = key.path.substr(skip, key.path.find('\\', skip) - skip);
        bool known = std::any_of(names.begin(), names.end(),
                                 [&](const std::string& n) { return qm::EqualsNoCase(n, name); });
        if (!known) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return qm::CompareNoCase(a, b) < 0;
    });
    return names;
}

Value* FindValue(Key& key, std::string_view name) {
    for (auto& value : key.values) {
        if (qm::EqualsNoCase(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

const Value* FindValue(const Key& key, std::string_view name) {
    return FindValue(const_cast<Key&>(key), name);
}

Hive Parse(std::string_view text, std::string_view rootName) {
    Hive hive;
    if (text.empty()) {
        return hive;
    }
    KeyIndex index(hive);
    Key* current = nullptr;
    bool first = true;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            // Every line the writer makes ends in a line feed: this one was cut.
            hive.damaged = true;
            if (current) {
                current->damaged = true;
            }
            break;
        }
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            first = false;
            if (line != "REGEDIT4") {
                hive.damaged = true;
                hive.keys.clear();
                return hive;
            }
            continue;
        }
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            std::string_view name = line.substr(1);
            bool good = !name.empty() && name.back() == ']';
            name = good ? name.substr(0, name.size() - 1) : name;
            good = good && qm::StartsWithNoCase(name, rootName);
            name = good ? name.substr(rootName.size()) : name;
            good = good && (name.empty() || name.front() == '\\');
            if (!good) {
                hive.damaged = true;
                current = nullptr;
                continue;
            }
            name = name.empty() ? name : name.substr(1);
            current = &index.Create(name);
            continue;
        }
        Value value;
        if (!current || !ReadValueLine(line, value)) {
            hive.damaged = true;
            if (current) {
                current->damaged = true;
            }
            continue;
        }
        if (Value* existing = FindValue(*current, value.name)) {
            *existing = value;
        } else {
            current->values.push_back(value);
        }
    }
    return hive;
}

std::string Format(const Hive& hive, std::string_view rootName) {
    std::string out = "REGEDIT4\n";
    for (const auto& key : hive.keys) {
        out += "\n[";
        out += rootName;
        if (!key.path.empty()) {
            out += '\\';
            out += key.path;
        }
        out += "]\n";
        for (const auto& value : key.values) {
            out += value.name.empty() ? std::string("@") : Quote(value.name);
            out += '=';
            out += FormatData(value);
            out += '\n';
        }
    }
    return out;
}

} // namespace platform::hive
