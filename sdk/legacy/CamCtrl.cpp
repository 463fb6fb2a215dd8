#include "legacy/CamCtrl.h"

#include <cstdio>
#include <cstring>

#include "legacy/CamCtrlLimits.h"
#include "legacy/SzLine.h"
#include "platform/SensorBridge.h"
#include "platform/XuPacket.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"

using namespace sv::platform;

namespace {

constexpr const char* kTransport = "CamCtrl::SetGetExtensionUnit";

HResult TransportStepFailed(const char* step, HResult hr) {
    std::printf("info: Function: %s, %s failed, Error code: 0x%.2x \n", kTransport, step, static_cast<unsigned>(hr));
    return hr;
}

}  // namespace

HResult CamCtrl::SetGetExtensionUnit(const Guid& propertySet, uint32_t node, uint32_t selector, uint32_t flags,
                                     uint8_t* data, uint32_t length, uint32_t& bytesReturned) {
    auto hold = HoldDevice();
    // Before the camera has handed over its media source there is nothing to ask.
    if (!mediaSource_) return TransportStepFailed("IMFMediaSource::QueryInterface(IKsTopologyInfo)", HR_E_FAIL);
    std::shared_ptr<KsTopologyInfo> topology;
    HResult hr = mediaSource_->QueryTopologyInfo(topology);
    if (Failed(hr) || !topology) {
        return TransportStepFailed("IMFMediaSource::QueryInterface(IKsTopologyInfo)", Failed(hr) ? hr : HR_E_NOINTERFACE);
    }
    // The node's type is not looked at; the node has to exist.
    uint32_t nodes = 0;
    hr = topology->GetNumNodes(nodes);
    if (Succeeded(hr) && node >= nodes) hr = HR_E_INVALIDARG;
    if (Failed(hr)) return TransportStepFailed("IKsTopologyInfo->get_NodeType(...)", hr);
    std::shared_ptr<KsControl> control;
    hr = topology->CreateNodeInstance(node, control);
    if (Failed(hr)) return TransportStepFailed("ks_topology_info->CreateNodeInstance(...)", hr);
    if (!control) return TransportStepFailed("ks_topology_info->QueryInterface(...)", HR_E_NOINTERFACE);

    ks::PropertyNodeRequest request;
    request.set = propertySet;
    request.id = selector;
    request.flags = flags;
    request.nodeId = node;
    request.reserved = 0;
    hr = control->KsProperty(request, data, length, bytesReturned);
    if (Failed(hr)) return TransportStepFailed("ks_control->KsProperty(...)", hr);
    return hr;
}

int CamCtrl::XuSet(uint8_t selector, uint8_t* data, uint32_t length) {
    uint32_t returned = 0;
    return SetGetExtensionUnit(ks::kExtensionUnitSet, kNode, selector, kSetFlags, data, length, returned);
}

int CamCtrl::XuGet(uint8_t selector, uint8_t* data, uint32_t length) {
    uint32_t returned = 0;
    return SetGetExtensionUnit(ks::kExtensionUnitSet, kNode, selector, kGetFlags, data, length, returned);
}

int CamCtrl::GetUSBFirmwareVersion(uint8_t (&version)[4]) {
    uint8_t bytes[4] = {};
    const int rc = XuGet(kSelectorFirmwareVersion, bytes, sizeof(bytes));
    if (rc != 0) return rc;
    std::memcpy(version, bytes, sizeof(bytes));
    xuPacket256_ = sv::xu::SelectsSmallI2CPacket(bytes);
    return 0;
}

int CamCtrl::I2CRead(const char* where, uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length,
                     uint8_t* data) {
    const uint16_t packetSize = xuPacket256_ ? sv::xu::kI2CPacketSmall : sv::xu::kI2CPacketLarge;
    if (uint32_t{addressLength} + length > packetSize - 4u) return -1;
    if (data == nullptr && length > 0) return -1;
    uint8_t packet[sv::xu::kI2CPacketLarge] = {};
    const std::size_t at = sv::xu::PutI2CPacketHead(packet, device, true, addressLength, reg, length);
    // The answer must be this request's: no other transfer in between.
    auto pair = HoldDevice();
    if (Failed(XuSet(kSelectorGenericI2C, packet, packetSize))) {
        SZ_LINE(Error, where, "I2C Set Address Fail! AddrReg=%04x", reg);
        return -1;
    }
    const int rc = XuGet(kSelectorGenericI2C, packet, packetSize);
    if (rc == 0 && length > 0) std::memcpy(data, packet + at, length);
    return rc;
}

int CamCtrl::GenI2CRead(uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length, uint8_t* data) {
    if (addressLength != 1 && addressLength != 2) return -1;
    return I2CRead("CamCtrl::GenI2CRead", device, addressLength, reg, length, data);
}

int CamCtrl::GenI2CWrite(uint8_t device, uint8_t addressLength, uint32_t reg, uint16_t length, const uint8_t* data) {
    const uint16_t packetSize = xuPacket256_ ? sv::xu::kI2CPacketSmall : sv::xu::kI2CPacketLarge;
    if (addressLength != 1 && addressLength != 2 && addressLength != 4) return -1;
    if (uint32_t{addressLength} + length > packetSize - 4u) return -1;
    if (data == nullptr && length > 0) return -1;
    uint8_t packet[sv::xu::kI2CPacketLarge] = {};
    const std::size_t at = sv::xu::PutI2CPacketHead(packet, device, false, addressLength, reg, length);
    if (length > 0) std::memcpy(packet + at, data, length);
    return XuSet(kSelectorGenericI2C, packet, packetSize);
}

int CamCtrl::ReadDirect(uint16_t reg, uint16_t& value) {
    uint8_t bytes[2] = {};
    const int rc = GenI2CRead(ispAddress_, 2, reg, 2, bytes);
    if (rc == 0) value = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    return rc;
}

int CamCtrl::WriteDirect(uint16_t reg, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    return GenI2CWrite(ispAddress_, 2, reg, 2, bytes);
}

int CamCtrl::SetBSLMode(uint8_t mode) {
    constexpr const char* kWhere = "LumoCamCtrl::SetBSLMode";
    if (mode == 1 || mode == 0) {
        uint8_t byte = mode;
        const bool sent = XuSet(kSelectorBslMode, &byte, 1) == 0;
        if (mode == 1 && sent) SZ_LINE0(Debug, kWhere, "LUMO go to BSL Mode");
        if (mode == 1 && !sent) SZ_LINE0(Error, kWhere, "LUMO go to BSL Mode fail");
        if (mode == 0 && sent) SZ_LINE0(Debug, kWhere, "LUMO go to Application Mode");
        if (mode == 0 && !sent) SZ_LINE0(Error, kWhere, "LUMO go to Application Mode fail");
    } else {
        SZ_LINE(Error, kWhere, "Do not support this mode: %d", int{mode});
    }
    GetBackend()->Sleep(10);
    return 0;
}

int CamCtrl::NotAvailable(const char* operation) {
    sv::SzLogChannel::Instance()->Error("%s: not available in this build", operation);
    return -1;
}

// ---- Sensor bridge, over slots 11 and 12 ----

namespace {
constexpr int kBridgePolls = 19;
}

bool CamCtrl::WaitBridgeIdle(const char* where, const char* pollLine) {
    for (int poll = 0; poll < kBridgePolls; ++poll) {
        uint16_t status = 0;
        // A status that could not be read counts as busy.
        const bool read = UVC_AP1302_I2C_Read(sv::bridge::kStatus, status) == 0;
        if (pollLine != nullptr) {
            sv::SzLogChannel::Instance()->Debug(pollLine, where, __LINE__, unsigned{sv::bridge::kStatus}, unsigned{status});
        }
        if (read && sv::bridge::Idle(status)) return true;
    }
    return false;
}

bool CamCtrl::RunBridgeProgram(const sv::bridge::Program& program) {
    for (const auto& [reg, value] : program) {
        if (UVC_AP1302_I2C_Write(reg, value) != 0) return false;
    }
    return true;
}

int CamCtrl::AdvReadSensorRegister(uint16_t sensorId, uint16_t reg, uint16_t& value) {
    constexpr const char* kWhere = "CamCtrl::AdvReadSensorRegister";
    SZ_LINE(Debug, kWhere, "Sen_SID:0x%04X, Sen_AddrReg:0x%04X", unsigned{sensorId}, unsigned{reg});
    auto hold = HoldDevice();
    uint16_t ispId = 0;
    if (UVC_AP1302_I2C_Read(sv::bridge::kIspIdRegister, ispId) != 0) {
        SZ_LINE0(Error, kWhere, "Check ISP ID Fail!");
        return -1;
    }
    SZ_LINE(Debug, kWhere, "ISP IS WORKING! ISP_ID:0x%04X", unsigned{ispId});
    if (!WaitBridgeIdle(kWhere, "[%s][%d] I2C BUS 1 Check Addr:0x%04X, Data:0x%04X")) {
        SZ_LINE0(Error, kWhere, "I2C BUS 1 Check Fail!");
        return -1;
    }
    // A transaction whose set-up was not all written would run on stale settings.
    if (!RunBridgeProgram(sv::bridge::ReadProgram(sensorId, reg))) return -1;
    if (!WaitBridgeIdle(kWhere, "[%s][%d] Check Status Addr:0x%04X, Data:0x%04X")) {
        SZ_LINE0(Error, kWhere, "Check Status Fail!");
        return -1;
    }
    return UVC_AP1302_I2C_Read(sv::bridge::kReadData, value) == 0 ? 0 : -1;
}

int CamCtrl::AdvWriteSensorRegister(uint16_t sensorId, uint16_t reg, uint16_t data) {
    constexpr const char* kWhere = "CamCtrl::AdvWriteSensorRegister";
    auto hold = HoldDevice();
    if (!WaitBridgeIdle(kWhere, nullptr)) {
        SZ_LINE0(Error, kWhere, "I2C BUS 1 Check Fail!");
        return -1;
    }
    if (!RunBridgeProgram(sv::bridge::WriteProgram(sensorId, reg, data))) return -1;
    if (!WaitBridgeIdle(kWhere, nullptr)) {
        SZ_LINE0(Error, kWhere, "Check Status Fail!");
        return -1;
    }
    SZ_LINE(Debug, kWhere, "AdvWriteSensorRegister Success. Sensor Reg=0x%04x, Data=0x%04x", unsigned{reg},
            unsigned{data});
    return 0;
}

// ---- Headers ----

int CamCtrl::CheckHeaderVer() {
    constexpr const char* kWhere = "CamCtrl::CheckHeaderVer";
    for (int read = 0; read < 11; ++read) {
        uint8_t version = 0;
        const int rc = I2CRead("CamCtrl::GenI2CRead", headerDeviceAddress_, 2, headerRegister_, 1, &version);
        if (rc < 0) {
            SZ_LINE0(Error, kWhere, "Check Header Version Fail!");
            return -1;
        }
        if (rc == 0) lastHeaderVersion_ = version;
        SZ_LINE(Debug, kWhere, "Get Header Version: %d", int{lastHeaderVersion_});
        if (lastHeaderVersion_ == 2 || lastHeaderVersion_ == 3) return lastHeaderVersion_;
    }
    return lastHeaderVersion_;
}

int CamCtrl::ReadHeader(const char* where, void* header, uint16_t size) {
    if (header == nullptr) return -1;
    uint8_t bytes[sv::xu::kI2CPacketLarge] = {};
    // A header that did not arrive is not a header of zeros.
    if (GenI2CRead(headerDeviceAddress_, 2, headerRegister_, size, bytes) != 0) {
        SZ_LINE0(Error, where, "Read Bootdata Header Fail!");
        return -1;
    }
    std::memcpy(header, bytes, size);
    return 0;
}

int CamCtrl::FuseIdFromHeaderV3(const char* where, char* text) {
    SvHeaderV3 header{};
    if (GetBootdataHeaderV3(&header) != 0) return -1;
    if (header.fixChecksum == 0xFFFF) {
        SZ_LINE(Debug, where, "Check Header V3 Fix Checksum Fail: fix_checksum = 0x%04x!", 0xFFFF);
        return -1;
    }
    char id[33] = {};
    for (int i = 0; i < 16; ++i) std::snprintf(id + 2 * i, 3, "%02X", unsigned{header.sensorFuseId[i]});
    std::memcpy(text, id, sizeof(id));
    SZ_LINE(Debug, where, "Get Header V3 Fuse ID: %s", id);
    return 0;
}

// ---- Operations a family does not have ----

int CamCtrl::GetLUMOFirmwareVersion(char*) { return -1; }
int CamCtrl::GetBootdataHeader(SvHeaderV2*) { return -1; }
int CamCtrl::GetBootdataHeaderV3(SvHeaderV3*) { return -1; }
int CamCtrl::GetUniqueSensorID(char*) { return -1; }
int CamCtrl::ClearISPBootdata() { return -1; }
int CamCtrl::DownloadBootdata(const char*) { return -1; }
int CamCtrl::DumpBootdata() { return -1; }
int CamCtrl::GetOSPProfile(uint8_t*) { return -1; }
int CamCtrl::SetOSPProfile(const uint8_t*) { return -1; }
int CamCtrl::CheckOSPProfile() { return -1; }
int CamCtrl::UVC_AP1302_I2C_Read(uint16_t, uint16_t&) { return -1; }
int CamCtrl::UVC_AP1302_I2C_Write(uint16_t, uint16_t) { return -1; }
int CamCtrl::GetOSPProfileConfig(std::string&) { return -1; }
int CamCtrl::SetOSPProfileConfig(int, const char*) { return -1; }
int CamCtrl::GetCurrentExposureTime(int32_t&) { return -1; }
int CamCtrl::GetCurrentExposureGain(uint8_t&) { return -1; }
#define SZ_NO_PAIR(Name, Type)                           \
    int CamCtrl::Get##Name(Type&) { return -1; }         \
    int CamCtrl::Set##Name(Type) { return -1; }
SZ_CAMCTRL_PAIRS_A(SZ_NO_PAIR)
SZ_CAMCTRL_PAIRS_B(SZ_NO_PAIR)
SZ_CAMCTRL_PAIRS_WB(SZ_NO_PAIR)
SZ_CAMCTRL_PAIRS_C(SZ_NO_PAIR)
#undef SZ_NO_PAIR

// ---- Shared accessors of the control pairs ----

int CamCtrl::ReadReg(Path path, uint16_t reg, uint16_t& value) {
    return path == Path::Isp ? UVC_AP1302_I2C_Read(reg, value) : ReadDirect(reg, value);
}

int CamCtrl::WriteReg(Path path, uint16_t reg, uint16_t value) {
    return path == Path::Isp ? UVC_AP1302_I2C_Write(reg, value) : WriteDirect(reg, value);
}

template <typename T>
int CamCtrl::GetBits(Path path, uint16_t reg, uint16_t mask, int shift, T& value) {
    uint16_t raw = 0;
    // A read that brought no data (any code but 0) gives no value.
    if (ReadReg(path, reg, raw) != 0) return -1;
    value = static_cast<T>((raw & mask) >> shift);
    return 0;
}

template int CamCtrl::GetBits<uint8_t>(Path, uint16_t, uint16_t, int, uint8_t&);
template int CamCtrl::GetBits<uint16_t>(Path, uint16_t, uint16_t, int, uint16_t&);
template int CamCtrl::GetBits<uint32_t>(Path, uint16_t, uint16_t, int, uint32_t&);
template int CamCtrl::GetBits<int>(Path, uint16_t, uint16_t, int, int&);

int CamCtrl::SetWord(Path path, uint16_t reg, uint32_t raw) {
    return WriteReg(path, reg, static_cast<uint16_t>(raw & 0xFFFF));
}

int CamCtrl::GetTwoWords(Path path, uint16_t highReg, uint16_t lowReg, uint32_t& value) {
    uint16_t high = 0;
    uint16_t low = 0;
    if (ReadReg(path, highReg, high) != 0 || ReadReg(path, lowReg, low) != 0) return -1;
    value = uint32_t{high} << 16 | low;
    return 0;
}

int CamCtrl::SetTwoWords(Path path, uint16_t highReg, uint16_t lowReg, uint32_t value) {
    // Both words are written; the first failure is the answer.
    const int high = WriteReg(path, highReg, static_cast<uint16_t>(value >> 16));
    const int low = WriteReg(path, lowReg, static_cast<uint16_t>(value & 0xFFFF));
    if (high != 0) return high < 0 ? high : -1;
    if (low != 0) return low < 0 ? low : -1;
    return 0;
}

int CamCtrl::GetReal(Path path, uint16_t reg, double (*decode)(uint16_t), double& value) {
    uint16_t raw = 0;
    if (ReadReg(path, reg, raw) != 0) return -1;
    value = decode(raw);
    return 0;
}

bool CamCtrl::InLimits(const char* where, double value, const Limits& limits) {
    // Written so that a value that is not a number is outside.
    if (value >= limits.low && value <= limits.high) return true;
    if (limits.message != nullptr) {
        auto channel = sv::SzLogChannel::Instance();
        if (limits.wholeNumbers) {
            channel->Error(limits.message, where, __LINE__, static_cast<int>(limits.low), static_cast<int>(limits.high));
        } else {
            channel->Error(limits.message, where, __LINE__, limits.low, limits.high);
        }
    }
    return false;
}

int CamCtrl::SetReal(const char* where, Path path, uint16_t reg, uint16_t (*encode)(double), const Limits& limits,
                     double value) {
    if (!InLimits(where, value, limits)) return -1;
    return WriteReg(path, reg, encode(value));
}

namespace {
constexpr uint16_t kTestPatternRegister = 0x600C;
}

int CamCtrl::GetTestPattern(uint32_t& value) {
    uint16_t raw = 0;
    if (UVC_AP1302_I2C_Read(kTestPatternRegister, raw) != 0) return -1;
    value = raw & 0x0FFFu;
    // The pattern number is also the answer.
    return static_cast<int>(value);
}

int CamCtrl::SetTestPattern(uint32_t value) {
    uint16_t raw = 0;
    if (UVC_AP1302_I2C_Read(kTestPatternRegister, raw) != 0) return -1;
    return UVC_AP1302_I2C_Write(kTestPatternRegister, static_cast<uint16_t>((raw & 0xF000u) | (value & 0x0FFFu)));
}

int CamCtrl::GetLoggedTwoWords(const char* where, Path path, uint16_t highReg, uint16_t lowReg, uint32_t& value,
                               const char* format) {
    if (GetTwoWords(path, highReg, lowReg, value) != 0) return -1;
    if (format != nullptr) sv::SzLogChannel::Instance()->Debug(format, where, __LINE__, static_cast<int>(value));
    return 0;
}

int CamCtrl::SetLoggedTwoWords(const char* where, Path path, uint16_t highReg, uint16_t lowReg, uint32_t value,
                               const Limits* limits, const char* format) {
    if (limits != nullptr && !InLimits(where, value, *limits)) return -1;
    const int rc = SetTwoWords(path, highReg, lowReg, value);
    if (rc == 0) sv::SzLogChannel::Instance()->Debug(format, where, __LINE__, static_cast<int>(value));
    return rc;
}

int CamCtrl::GetGain(const char* where, Path path, uint16_t reg, uint16_t mask, int shift, uint8_t& value,
                     const char* format) {
    if (GetBits(path, reg, mask, shift, value) != 0) return -1;
    sv::SzLogChannel::Instance()->Debug(format, where, __LINE__, int{value});
    return 0;
}

int CamCtrl::SetGain(const char* where, Path path, uint16_t reg, int shift, uint8_t value) {
    if (!InLimits(where, value, sz::kExposureGain)) return -1;
    SZ_LINE(Debug, where, "Set Exposure Gain : %dx.", int{value});
    return SetWord(path, reg, uint32_t{value} << shift);
}

int CamCtrl::SetWordIn(const char* where, Path path, uint16_t reg, uint32_t raw, const Limits& limits,
                       double value) {
    if (!InLimits(where, value, limits)) return -1;
    return SetWord(path, reg, raw);
}
