#include "core/Windows1252.h"

#include <array>

namespace taktwerk::core {

namespace {

// Bytes 0x80 to 0x9F; the rest of the code page equals Latin-1. The five holes keep their own
// value (iconv refuses them, which is why this table is ours: old files may hold any byte).
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

constexpr char32_t kInvalid = 0xFFFFFFFF;

std::optional<unsigned char> toCp1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

// A strict decoder for utf8ToCp1252: overlong forms, surrogates and cut sequences are invalid.
char32_t decodeStrict(std::string_view s, std::size_t& pos) noexcept
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1Fu;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0Fu;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return kInvalid;
    }
    if (pos + static_cast<std::size_t>(length) > s.size())
        return kInvalid;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80)
            return kInvalid;
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kInvalid;
    pos += static_cast<std::size_t>(length);
    return c;
}

}  // namespace

std::string cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char b : bytes) {
        const auto byte = static_cast<unsigned char>(b);
        appendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80u] : byte);
    }
    return out;
}

std::optional<std::string> utf8ToCp1252(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = decodeStrict(utf8, pos);
        if (c == kInvalid)
            return std::nullopt;
        const auto byte = toCp1252(c);
        if (!byte)
            return std::nullopt;
        out += static_cast<char>(*byte);
    }
    return out;
}

char32_t upperCase1252(char32_t c) noexcept
{
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return c - 0x20;
    switch (c) {
    case 0x0161:  // š
    case 0x0153:  // œ
    case 0x017E:  // ž
        return c - 1;
    case 0x00FF:  // ÿ
        return 0x0178;
    default:
        return c;
    }
}

char32_t lowerCase1252(char32_t c) noexcept
{
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    switch (c) {
    case 0x0160:  // Š
    case 0x0152:  // Œ
    case 0x017D:  // Ž
        return c + 1;
    case 0x0178:  // Ÿ
        return 0x00FF;
    default:
        return c;
    }
}

char32_t nextCodePoint(std::string_view utf8, std::size_t& pos) noexcept
{
    const std::size_t start = pos;
    const char32_t c = decodeStrict(utf8, pos);
    if (c != kInvalid)
        return c;
    pos = start + 1;
    return static_cast<unsigned char>(utf8[start]);
}

void appendUtf8(std::string& out, char32_t c)
{
    const auto put = [&](char32_t bits) { out += static_cast<char>(bits); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (lowerCase1252(nextCodePoint(a, i)) != lowerCase1252(nextCodePoint(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

bool isValidUtf8(std::string_view bytes) noexcept
{
    for (std::size_t pos = 0; pos < bytes.size();) {
        if (decodeStrict(bytes, pos) == kInvalid)
            return false;
    }
    return true;
}

std::string nameAsUtf8(std::string_view bytes)
{
    return isValidUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
}

}  // namespace taktwerk::core
