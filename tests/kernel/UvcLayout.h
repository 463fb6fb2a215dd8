#pragma once

// What the software camera presents on the bus: its identity, its video
// formats with their frame sizes and intervals, which processing-unit,
// camera-terminal and extension-unit controls it has, and the USB
// descriptors that tell the host so (UVC 1.00: an interface association of
// a VideoControl interface with camera terminal, processing unit, the
// maker's extension unit and output terminal, and a VideoStreaming
// interface with one bulk endpoint).
//
// gadgetfs cuts every control transfer to 256 bytes, the configuration
// descriptor's included: what does not fit is left out (FitConfiguration),
// and the descriptors carry nothing optional (no interface association,
// no colour matching).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/SimWorld.h"

namespace sv::gadget {

// Interfaces, entities and endpoint of the function.
constexpr uint8_t kControlInterface = 0;
constexpr uint8_t kStreamingInterface = 1;
constexpr uint8_t kCameraTerminalId = 1;
constexpr uint8_t kProcessingUnitId = 2;
constexpr uint8_t kExtensionUnitId = 3;
constexpr uint8_t kOutputTerminalId = 4;
constexpr uint8_t kStreamEndpoint = 0x81;
constexpr uint16_t kFullSpeedBulkPacket = 64;
constexpr uint16_t kHighSpeedBulkPacket = 512;

// String descriptor indexes.
constexpr uint8_t kManufacturerString = 1;
constexpr uint8_t kProductString = 2;
constexpr uint8_t kSerialString = 3;

struct FrameRate {
    uint32_t interval = 0;     // 100-ns units, as the descriptors carry it
    uint32_t numerator = 0;    // the world's rate, numerator / denominator frames per second
    uint32_t denominator = 1;
};

struct FrameLayout {
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<FrameRate> rates;  // shortest interval first
    uint32_t defaultInterval = 0;  // the world's first rate of this size
    uint32_t maxFrameBytes = 0;
};

struct FormatLayout {
    sim::PixelFormat format = sim::PixelFormat::YUY2;
    std::vector<FrameLayout> frames;  // in the world's order
};

struct UvcLayout {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t bcdDevice = 0x0100;
    std::string manufacturer;
    std::string product;
    std::string serial;  // empty: the device has none
    std::vector<FormatLayout> formats;  // in the world's order of first appearance
    uint32_t cameraControls = 0;        // bmControls of the camera terminal
    uint16_t processingControls = 0;    // bmControls of the processing unit
    bool extensionUnit = false;
    uint16_t extensionControls = 0;     // bmControls of the extension unit: bit n is selector n+1
    std::vector<std::string> leftOut;   // "YUY2 1920x1080": sizes the configuration had no room for
};

// The longest control transfer gadgetfs carries.
constexpr size_t kMaxControlTransfer = 256;

// Whether the streaming interface offers `format` (the uncompressed YUV
// formats the host's class driver knows, and MJPEG).
bool Presentable(sim::PixelFormat format);

// The largest frame of `format` at the size, in bytes.
uint32_t MaxFrameBytes(sim::PixelFormat format, uint32_t width, uint32_t height);

// A frame interval in 100-ns units of a rate of numerator / denominator
// frames per second, rounded to the nearest unit.
uint32_t IntervalOf(uint32_t numerator, uint32_t denominator);

// The layout of a world's device. The control maps are given by the caller
// (the function's control tables); the extension unit's selectors by
// `xuSelectors` (bit n: selector n+1), 0 for none.
UvcLayout LayoutOf(const sim::DeviceDescription& device, uint32_t cameraControls, uint16_t processingControls,
                   uint16_t xuSelectors);

// Cuts the formats down until the configuration descriptor takes at most
// `limit` bytes: one size of each format while there is room (YUY2 first,
// then MJPEG, NV12, UYVY), then their further sizes in the world's order.
// A layout that fits is left as it is.
void FitConfiguration(UvcLayout& layout, size_t limit);

// The 18-byte device descriptor.
std::vector<uint8_t> DeviceDescriptor(const UvcLayout& layout);
// The configuration descriptor with everything below it, for a bulk
// endpoint of `bulkPacket` bytes (64 at full speed, 512 at high speed).
std::vector<uint8_t> ConfigurationDescriptor(const UvcLayout& layout, uint16_t bulkPacket);
// String descriptor `index` (0: the language list); empty when there is none.
std::vector<uint8_t> StringDescriptor(const UvcLayout& layout, uint8_t index);

}  // namespace sv::gadget
