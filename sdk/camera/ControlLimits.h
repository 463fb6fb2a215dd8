#pragma once

// The limits of every ISP control in the camera's own units, written once.
// The typed operations of both families and the eHDR controls check against
// them, and the property table's ranges are made from them, so the two ways a
// caller reaches a control cannot disagree.

#include <cstddef>
#include <cstdint>

namespace sv::limits {

template <typename T>
struct Range {
    T minimum;
    T maximum;
    constexpr bool Contains(T value) const { return value >= minimum && value <= maximum; }
};

using IntRange = Range<int32_t>;
using RealRange = Range<double>;

// Modes chosen from a code table: an index from 0 up to the table's last entry.
constexpr IntRange kExposureMode{0, 2};
constexpr IntRange kWhiteBalanceMode{0, 1};
constexpr IntRange kSpecialEffect{0, 4};
constexpr IntRange kFlickMode{0, 3};

constexpr IntRange kExposureTime{1, 1000000};  // microseconds; also the automatic limits
constexpr IntRange kGain{0, 255};
constexpr IntRange kWhiteBalanceTemperature{2300, 15000};
constexpr IntRange kFlip{0, 3};
constexpr IntRange kJpegQuality{0, 255};
constexpr IntRange kThroughput{0, 1023};

constexpr RealRange kBrightness{-1.0, 1.0};
constexpr RealRange kContrast{-5.0, 5.0};
constexpr RealRange kSaturation{0.0, 5.0};
constexpr RealRange kGamma{0.4, 7.9};
constexpr RealRange kSharpness{-2.0, 2.0};
constexpr RealRange kDenoise{-2.0, 2.0};
constexpr RealRange kBacklightCompensation{-15.0, 15.0};
constexpr RealRange kPan{0.0, 1.0};
constexpr RealRange kTilt{0.0, 1.0};
constexpr RealRange kZoom{1.0, 8.0};

constexpr IntRange kEHDRMode{0, 1};
constexpr IntRange kEHDRExposureNumber{1, 4};
constexpr IntRange kEHDRRatio{1, 128};
constexpr RealRange kEHDRAtmWeight{0.0, 4.0};
constexpr RealRange kEHDRAtmMax{1.0, 8.0};

// A code table and the mode range that indexes it must agree.
template <std::size_t N>
constexpr bool Indexes(const IntRange& range, const uint16_t (&)[N]) {
    return range.minimum == 0 && static_cast<std::size_t>(range.maximum) + 1 == N;
}

}  // namespace sv::limits
