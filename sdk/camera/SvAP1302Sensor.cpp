#include "camera/SvAP1302Sensor.h"

#include <iterator>
#include <memory>

#include <fmt/format.h>

#include "camera/SvSorvanCamera.h"
#include "base/Logger.h"
#include "platform/SensorBridge.h"
#include "platform/backend/Backend.h"

namespace {

using namespace sv::bridge;

constexpr int kReadPolls = 21;
constexpr int kWritePolls = 20;

void DeviceSleep(uint32_t ms) { sv::platform::GetBackend()->Sleep(ms); }

}  // namespace

bool SvAP1302Sensor::CheckIspId(const char* op) {
    uint16_t id = 0;
    if (camera_.AP1302I2CRead(kIspIdRegister, id) != 0) {
        sv::log::Write(spdlog::level::err, "{}: {} Check ISP ID Fail!", camera_.DeviceName(), op);
        return false;
    }
    sv::log::Write(spdlog::level::debug, "{}: {} ISP IS WORKING! ISP_ID:0x{:x}", camera_.DeviceName(), op, id);
    return true;
}

// A status read that fails counts as busy: a poll never passes on a failed read.
bool SvAP1302Sensor::WaitBridgeIdle(int polls, const char* op, const char* label, bool logEachPoll) {
    for (int i = 0; i < polls; ++i) {
        uint16_t status = 0;
        const bool read = camera_.AP1302I2CRead(kStatus, status) == 0;
        if (logEachPoll) {
            sv::log::Write(spdlog::level::debug, "{}: {} {} Addr:0x{:x}, Data:0x{:x}", camera_.DeviceName(), op, label,
                           kStatus, status);
        }
        if (read && Idle(status)) return true;
    }
    return false;
}

bool SvAP1302Sensor::WriteBridgeProgram(const BridgeProgram& program, const char* op) {
    for (const auto& [r, v] : program) {
        if (camera_.AP1302I2CWrite(r, v) != 0) {
            sv::log::Write(spdlog::level::err, "{}: {} Bridge register 0x{:x} write Fail!", camera_.DeviceName(), op, r);
            return false;
        }
    }
    return true;
}

int SvAP1302Sensor::AP1302SensorRegisterRead(uint16_t sensorId, uint16_t reg, uint16_t& value) {
    constexpr const char* kOp = "AP1302SensorRegisterRead";
    const std::string& name = camera_.DeviceName();
    sv::log::Write(spdlog::level::debug, "{}: {} Sen_SID:0x{:x}, Sen_AddrReg:0x{:x}", name, kOp, sensorId, reg);
    if (!CheckIspId(kOp)) return -1;
    if (!WaitBridgeIdle(kReadPolls, kOp, "I2C BUS 1 Check", true)) {
        sv::log::Write(spdlog::level::err, "{}: {} I2C BUS 1 Check Fail!", name, kOp);
        return -1;
    }
    // A transaction with a lost register write would run on stale bridge
    // settings: it fails instead.
    const BridgeProgram program = ReadProgram(sensorId, reg);
    if (!WriteBridgeProgram(program, kOp)) return -1;
    if (!CheckIspId(kOp)) return -1;
    if (!WaitBridgeIdle(kReadPolls, kOp, "Check Status", true)) {
        sv::log::Write(spdlog::level::err, "{}: {} Check Status Fail!", name, kOp);
        return -1;
    }
    uint16_t data = 0;
    if (camera_.AP1302I2CRead(kReadData, data) != 0) {
        sv::log::Write(spdlog::level::err, "{}: {} Read Data Fail!", name, kOp);
        return -1;
    }
    value = data;
    return 0;
}

int SvAP1302Sensor::AP1302SensorRegisterWrite(uint16_t sensorId, uint16_t reg, uint16_t data) {
    constexpr const char* kOp = "AP1302SensorRegisterWrite";
    const std::string& name = camera_.DeviceName();
    if (!WaitBridgeIdle(kWritePolls, kOp, "", false)) {
        sv::log::Write(spdlog::level::err, "{}: {} I2C BUS 1 Check Fail!", name, kOp);
        return -1;
    }
    const BridgeProgram program = WriteProgram(sensorId, reg, data);
    if (!WriteBridgeProgram(program, kOp)) return -1;
    if (!WaitBridgeIdle(kWritePolls, kOp, "", false)) {
        sv::log::Write(spdlog::level::err, "{}: {} Check Status Fail!", name, kOp);
        return -1;
    }
    sv::log::Write(spdlog::level::debug, "{}: {} AdvWriteSensorRegister Success. Sensor Reg=0x{:x}, Data=0x{:x}", name,
                   kOp, reg, data);
    return 0;
}

bool SvAP1302Sensor::UidFromHeader(std::string& uid) {
    constexpr const char* kOp = "GetSensorUniqueID";
    uint8_t version = 0;
    if (camera_.GetHeaderVersion(version) != 0 || version != 3) return false;
    sv::log::Write(spdlog::level::debug, "{}: {} Check Header V3 SUCCESS!", camera_.DeviceName(), kOp);
    auto header = std::make_unique<SvHeaderV3>();  // zeroed
    const bool read = camera_.GetBootdataHeaderV3(header) == 0;
    if (!read || header->fixChecksum == 0xFFFF) {
        sv::log::Write(spdlog::level::warn, "{}: {} Check Header V3 Fix Checksum Fail: 0x{:x}", camera_.DeviceName(),
                       kOp, read ? header->fixChecksum : 0);
        return false;
    }
    uid = fmt::format("{:02X}", fmt::join(std::begin(header->sensorFuseId), std::end(header->sensorFuseId), ""));
    sv::log::Write(spdlog::level::debug, "{}: {} Get Header V3 Fuse ID: {}", camera_.DeviceName(), kOp, uid);
    return true;
}

int SvAP1302Sensor::UidFromSensor(std::string& uid) {
    constexpr const char* kOp = "GetSensorUniqueID";
    const std::string& name = camera_.DeviceName();
    sv::log::Write(spdlog::level::debug, "{}: {} Continue to read UID from sensor...", name, kOp);

    uint16_t ispId = 0;
    bool ispAnswered = false;
    for (int i = 0; i < 50 && !ispAnswered; ++i) {
        if (i > 0) DeviceSleep(10);
        ispAnswered = camera_.AP1302I2CRead(kIspIdRegister, ispId) == 0;
    }
    if (!ispAnswered) {
        sv::log::Write(spdlog::level::err, "{}: {} Check ISP ID Fail!", name, kOp);
        return -1;
    }
    sv::log::Write(spdlog::level::debug, "{}: {} Check ISP ID Success! ISP ID: 0x{:x}", name, kOp, ispId);

    std::string usbVersion;
    (void)camera_.GetUSBFirmwareVersion(usbVersion);
    sv::log::Write(spdlog::level::debug, "{}: {} Get USB FW Ver: {}", name, kOp, usbVersion);

    uint16_t control = 0;
    (void)camera_.AP1302I2CRead(kSystemControl, control);
    bool awake = (control & kStandbyBit) == 0;
    if (!awake) {
        (void)camera_.AP1302I2CWrite(kSystemControl, kWakeValue);
        for (int i = 0; i < 10 && !awake; ++i) {
            awake = camera_.AP1302I2CRead(kSystemControl, control) == 0 && (control & kStandbyBit) == 0;
            if (!awake) DeviceSleep(5);
        }
    }
    if (awake) {
        sv::log::Write(spdlog::level::info, "{}: {} Wake Sensor Up Success!", name, kOp);
    } else {
        sv::log::Write(spdlog::level::err, "{}: {} Wake Sensor Up Fail!", name, kOp);
    }
    DeviceSleep(500);

    uint16_t sensorId = 0;
    uint16_t chipId = 0;
    for (uint16_t candidate : kSensorIds) {
        uint16_t value = 0;
        if (AP1302SensorRegisterRead(candidate, kChipIdRegister, value) == 0 && value != 0) {
            sensorId = candidate;
            chipId = value;
            break;
        }
    }
    if (sensorId == 0) {
        sv::log::Write(spdlog::level::err, "{}: {} Check Sensor SID Fail!", name, kOp);
        return -1;
    }
    const uint16_t fuseBase = FuseBase(chipId);

    (void)AP1302SensorRegisterWrite(sensorId, 0x304C, 0x0100);
    (void)AP1302SensorRegisterWrite(sensorId, 0x304A, 0x0210);
    DeviceSleep(500);

    uint16_t words[8] = {};
    for (int j = 0; j < 8; ++j) {
        uint16_t word = 0;
        if (AP1302SensorRegisterRead(sensorId, static_cast<uint16_t>(fuseBase + 2 * j), word) != 0) {
            sv::log::Write(spdlog::level::err, "{}: {} Read FuseID[{}] Fail", name, kOp, j);
            return -1;
        }
        words[7 - j] = word;
    }
    uid = fmt::format("{:04X}", fmt::join(std::begin(words), std::end(words), ""));
    sv::log::Write(spdlog::level::debug, "{}: {} GetUniqueSensorID Success! Sensor UID = {}", name, kOp, uid);
    return 0;
}

int SvAP1302Sensor::GetSensorUniqueID(std::string& uid) {
    if (UidFromHeader(uid)) return 0;
    return UidFromSensor(uid);
}
