#include "platform/backend/Guid.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <tuple>

namespace sv::platform {

std::string Guid::ToString() const {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  static_cast<unsigned>(data2), static_cast<unsigned>(data3),
                  static_cast<unsigned>(data4[0]), static_cast<unsigned>(data4[1]),
                  static_cast<unsigned>(data4[2]), static_cast<unsigned>(data4[3]),
                  static_cast<unsigned>(data4[4]), static_cast<unsigned>(data4[5]),
                  static_cast<unsigned>(data4[6]), static_cast<unsigned>(data4[7]));
    return text;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hexadecimal characters at `pos`.
bool ReadHex(const std::string& s, size_t pos, int digits, uint32_t& out) {
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexDigit(s[pos + static_cast<size_t>(i)]);
        if (d < 0) return false;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    out = value;
    return true;
}

}  // namespace

bool Guid::Parse(const std::string& text, Guid& out) {
    std::string s = text;
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') {
        return false;
    }
    Guid g;
    uint32_t v = 0;
    if (!ReadHex(s, 0, 8, v)) return false;
    g.data1 = v;
    if (!ReadHex(s, 9, 4, v)) return false;
    g.data2 = static_cast<uint16_t>(v);
    if (!ReadHex(s, 14, 4, v)) return false;
    g.data3 = static_cast<uint16_t>(v);
    const size_t bytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(s, bytePos[i], 2, v)) return false;
        g.data4[i] = static_cast<uint8_t>(v);
    }
    out = g;
    return true;
}

bool operator<(const Guid& a, const Guid& b) {
    if (a.data1 != b.data1) return a.data1 < b.data1;
    if (a.data2 != b.data2) return a.data2 < b.data2;
    if (a.data3 != b.data3) return a.data3 < b.data3;
    return std::memcmp(a.data4, b.data4, 8) < 0;
}

}  // namespace sv::platform
