#pragma once

// Sensor configuration files: the raw register contents a maker camera dumps
// (its capture format, ISP controls, bootdata header and, on a LIRA, the
// module's information registers), and their decoding into a profile
// document. The file carries registers only; every interpretation lives in
// the field tables here.
//
// File layout: 20 bytes device name (zero-ended), 15 bytes library version
// (zero-ended), then 4-byte records: register (uint16 little-endian), then the
// register's two data bytes as the device sent them (most significant first).

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sv::formats {

constexpr std::size_t kSensorConfigNameBytes = 20;
constexpr std::size_t kSensorConfigVersionBytes = 15;
constexpr std::size_t kSensorConfigHeadBytes = kSensorConfigNameBytes + kSensorConfigVersionBytes;
constexpr std::size_t kSensorConfigRecordBytes = 4;

enum class SensorFamily { Kivo, Lira };

// One field of a register table: its most significant bit `msb` within the
// 16-bit register value (15 is the top bit) and its width. A field wider than
// msb + 1 bits goes on into the registers reg + 2, reg + 4, ...
struct RegisterField {
    const char* group;
    const char* name;
    uint16_t reg;
    int msb;
    int width;
};

// Register -> the fields that start there, in table order.
using RegisterMap = std::map<uint16_t, std::vector<RegisterField>>;

// The tables an export reads and a decoder interprets for `family`. The
// decoder also takes the LIRA module's information registers.
RegisterMap BuildRegisterMap(SensorFamily family, bool withCameraInfo);

// One register read of an export.
struct RegisterRead {
    uint8_t device;
    uint16_t reg;
};

// KIVO: for each register of the map, the block its widest field covers (plus
// the register after it), from the header store for header fields and from
// the ISP otherwise.
std::vector<RegisterRead> KivoExportReads(uint8_t ispAddress, uint8_t headerAddress);
// LIRA: the microcontroller's information, control, motion, header and
// magnetometer ranges, in that order.
std::vector<RegisterRead> LiraExportReads(uint8_t mcuAddress);

// Reads one 16-bit register: 0 and the two bytes as the device sent them.
using RegisterReader = std::function<int(uint8_t device, uint16_t reg, uint8_t bytes[2])>;

// Writes the file at `path`: the head for `deviceName`, then one record per
// read in order. A failed read ends the export at once with -1 and keeps the
// records before it. `where` names the operation in log lines.
int ExportSensorConfig(const char* where, const std::string& path, const std::string& deviceName,
                       const std::vector<RegisterRead>& reads, const RegisterReader& read);

// Decodes the file at `configPath` into a profile document (control mode
// "ISP") written to `jsonPath`, with the header fields and, for LIRA, the
// module information added. The family comes from the device name through the
// product lists of "SvConfig.conf". 0 when the JSON file was written.
int DecodeSensorConfig(const std::string& configPath, const std::string& jsonPath);

}  // namespace sv::formats
