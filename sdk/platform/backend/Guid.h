#pragma once

// A 16-byte identifier with the platform's memory layout (32-bit, two 16-bit
// and eight 8-bit fields; the integers little-endian on every supported host),
// so that records holding one keep their byte order.

#include <cstdint>
#include <string>

namespace sv::platform {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {0, 0, 0, 0, 0, 0, 0, 0};

    constexpr Guid() = default;
    constexpr Guid(uint32_t d1, uint16_t d2, uint16_t d3, uint8_t b0, uint8_t b1, uint8_t b2,
                   uint8_t b3, uint8_t b4, uint8_t b5, uint8_t b6, uint8_t b7)
        : data1(d1), data2(d2), data3(d3), data4{b0, b1, b2, b3, b4, b5, b6, b7} {}

    // Registry form with braces and upper-case digits:
    // "{6FF33D97-7A1F-4C0D-B2D2-59FB178964C5}".
    std::string ToString() const;

    // Accepts the registry form with or without braces, any letter case.
    static bool Parse(const std::string& text, Guid& out);

    bool IsNull() const { return *this == Guid(); }

    friend constexpr bool operator==(const Guid& a, const Guid& b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i) {
            if (a.data4[i] != b.data4[i]) return false;
        }
        return true;
    }
    friend constexpr bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }
    friend bool operator<(const Guid& a, const Guid& b);
};

static_assert(sizeof(Guid) == 16, "Guid must keep the platform layout");

}  // namespace sv::platform
