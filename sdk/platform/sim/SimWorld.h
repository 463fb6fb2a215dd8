#pragma once

// The description of a simulated machine: its USB tree and its cameras, read
// from a world file (JSON, documented in docs/simulator.md). Parsing checks the
// whole file and reports the first problem with its place in the file.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/backend/HResult.h"
#include "platform/backend/MediaType.h"
#include "platform/backend/MfIds.h"

namespace sv::sim {

enum class PixelFormat { YUY2, UYVY, NV12, MJPG, RGB24 };

const char* PixelFormatName(PixelFormat f);
platform::Guid PixelFormatSubtype(PixelFormat f);

struct ExtraAttribute {
    platform::Guid key;
    platform::AttributeValue value;
};

struct FormatDescription {
    PixelFormat format = PixelFormat::YUY2;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rateNumerator = 30;
    uint32_t rateDenominator = 1;
    std::vector<ExtraAttribute> extraAttributes;  // appended after the standard ones
};

struct ControlDescription {
    bool offered = false;
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    int32_t defaultValue = 0;
    int32_t caps = platform::uvc::kFlagsManual;  // capability flags
    int32_t value = 0;                            // current value
    int32_t flags = platform::uvc::kFlagsManual;  // current mode
};

// A fault: operation `op` answers `code` on its `on`-th occurrence (from 1) and,
// when `times` is 0, on every later one; otherwise on `times` occurrences.
struct FaultRule {
    std::string op;
    int selector = -1;  // extension-unit selector filter, -1 for any
    uint32_t on = 1;
    uint32_t times = 1;
    platform::HResult code = platform::HR_E_FAIL;
};

// The operation names a fault may name.
bool IsFaultOperation(const std::string& op);

struct UsbPlacement {
    std::string hub = "root";  // "root" or a hub id
    uint32_t controller = 0;   // for "root"
    uint32_t port = 0;         // 0: the next free port of the root hub of controller 0
    uint8_t speed = 2;         // code of the extended connection record
    uint32_t superSpeedFlags = 0;  // flags of the extended V2 record

    // The hub this sits on: its id, or "root<controller>" for a root hub.
    std::string HubKey() const { return hub == "root" ? "root" + std::to_string(controller) : hub; }
};

struct DeviceDescription {
    std::string id;
    std::string name;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool hasSerial = true;
    std::string serial;
    uint8_t interfaceNumber = 0;
    std::string instanceKey;  // video interface instance key, e.g. "6&2c0ae8b1&0&0000"
    std::string parentKey;    // instance key of the parent when it has no serial number
    std::string containerId;  // "{...}"
    std::string manufacturer;
    std::string product;
    bool video = true;        // false: on the bus only
    UsbPlacement usb;
    std::vector<FormatDescription> formats;
    std::array<ControlDescription, platform::uvc::kProcAmpPropertyCount> procAmp{};
    std::array<ControlDescription, platform::uvc::kCameraControlPropertyCount> cameraControl{};
    std::string xuModel;      // empty: no extension unit
    uint32_t xuNode = 2;
    nlohmann::json xuConfig = nlohmann::json::object();
    uint32_t topologyNodes = 3;
    bool busy = false;
    platform::HResult busyCode = platform::HR_E_ACCESSDENIED;
    int64_t disappearAfterFrames = -1;
    int64_t stallAfterFrames = -1;
    std::vector<FaultRule> faults;
};

struct HubDescription {
    std::string id;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t ports = 4;
    std::string instanceKey;
    std::string containerId;
    UsbPlacement usb;
};

// The USB bridge of a camera in its service personalities, served by the
// bridge maker's vendor driver: the bootloader in ROM and a flash programmer
// (a RAM image), with the board's I2C EEPROMs and SPI flash behind it.
struct Fx3Description {
    std::string id;
    std::string camera;          // the camera whose program mode brings it up; empty: none
    std::string mode = "bootloader";  // at start: "bootloader", "programmer" or "absent"
    uint16_t vendorId = 0x04B4;
    uint16_t bootloaderProductId = 0x00F3;
    uint16_t programmerProductId = 0x4720;
    bool probe = true;           // the bootloader answers the one-byte RAM read at address 0
    bool superSpeed = false;     // the programmer runs at SuperSpeed (bcdUSB 3.0, a BOS descriptor)
    uint32_t eepromSize = 65536; // bytes per I2C EEPROM device
    uint32_t eepromDevices = 8;  // devices at addresses 0..n-1
    uint32_t spiSize = 1u << 20; // SPI flash bytes (whole 64 KiB sectors)
    int64_t eraseBusyReads = 3;  // status reads that show busy after an erase; -1: never done
    std::string bootSource = "auto";  // after the programmer's reset: "auto", "i2c", "spi", "usb"
    std::vector<FaultRule> faults;
};

struct ControllerDescription {
    uint8_t rootHubPorts = 4;
};

struct WorldDescription {
    bool simulatedClock = true;
    bool frameRateLimit = true;
    std::vector<ControllerDescription> controllers;
    std::vector<HubDescription> hubs;
    std::vector<DeviceDescription> devices;
    std::vector<Fx3Description> fx3;
};

// Parses and checks a world. On failure `error` holds one line naming `source`
// and the problem, and `world` is left empty.
bool ParseWorld(const std::string& text, const std::string& source, WorldDescription& world,
                std::string& error);

// The built-in world as a world file.
const char* DefaultWorldJson();

}  // namespace sv::sim
