#include "firmware/SvLUMOFirmwareUpgrade.h"

#include <cstring>

#include "base/HeaderChecksums.h"
#include "base/Logger.h"
#include "camera/SvLIRACamera.h"
#include "firmware/SensorBoard.h"
#include "platform/backend/Backend.h"


namespace {

constexpr const char* kCheck = "SvLUMOFirmwareUpgrade::CheckProduct";
constexpr const char* kDriver = "SvLUMOFirmwareUpgrade::CheckDriver";
constexpr const char* kClean = "SvLUMOFirmwareUpgrade::CleanSensorFW";
constexpr const char* kUpgrade = "SvLUMOFirmwareUpgrade::UpgradeSensorFW";

constexpr uint8_t kCmdSync = 0x12;
constexpr uint8_t kCmdPassword = 0x21;
constexpr uint8_t kCmdMassErase = 0x15;
constexpr uint8_t kCmdProgram = 0x20;
constexpr uint8_t kCmdCrc = 0x26;
constexpr uint8_t kCmdStart = 0x40;

constexpr uint8_t kAnswerMessage = 0x3B;
constexpr uint8_t kAnswerCrc = 0x32;
constexpr std::size_t kMessageAnswerBytes = 9;
constexpr std::size_t kCrcAnswerBytes = 12;
constexpr uint8_t kBslMarkerRegister = 0xBB;
constexpr uint8_t kBslMarker = 0x51;
constexpr uint32_t kVerifyPiece = 0x10000;

void Wait(uint32_t ms) { sv::platform::GetBackend()->Sleep(ms); }

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

// ---------------------------------------------------------------- transport

int SvLUMOFirmwareUpgrade::Send(uint8_t command, const std::vector<uint8_t>& payload, uint8_t& ack) {
    const std::vector<uint8_t> packet = sv::firmware::BslPacket(command, payload);
    const auto reg = static_cast<uint16_t>(packet[0] << 8 | packet[1]);
    if (camera_.GenericI2CWrite(device_, 2, reg, static_cast<uint8_t>(packet.size() - 2), packet.data() + 2) < 0) {
        return -1;
    }
    ack = 0xFF;  // nothing stale can read as an acknowledgement
    return camera_.GenericI2CRead(device_, 2, reg, 1, &ack) < 0 ? -1 : 0;
}

int SvLUMOFirmwareUpgrade::ReadAnswer(uint8_t command, std::size_t payloadLength, uint8_t* answer, std::size_t count) {
    (void)command;
    const auto reg = static_cast<uint16_t>(0x80 << 8 | (payloadLength + 1));
    std::memset(answer, 0, count);
    return camera_.GenericI2CRead(device_, 2, reg, static_cast<uint16_t>(count), answer) < 0 ? -1 : 0;
}

bool SvLUMOFirmwareUpgrade::Command(uint8_t command, const std::vector<uint8_t>& payload) {
    uint8_t r[1 + kMessageAnswerBytes] = {};
    uint8_t ack = 0xFF;
    if (Send(command, payload, ack) != 0 || ack != 0 ||
        ReadAnswer(command, payload.size(), r + 1, kMessageAnswerBytes) != 0) {
        return false;
    }
    r[0] = ack;
    // A status message (0x3B) whose status is 0. A message with another
    // status is the loader refusing, and anything else is no message at all.
    return r[4] == kAnswerMessage && r[5] == 0x00;
}

// ---------------------------------------------------------------- product check

int SvLUMOFirmwareUpgrade::ReadMcuWord(uint16_t reg, uint8_t (&bytes)[2]) {
    bytes[0] = bytes[1] = 0xFF;
    return camera_.GenericI2CRead(device_, 2, reg, 2, bytes) < 0 ? -1 : 0;
}

int SvLUMOFirmwareUpgrade::CheckProduct(std::string& productName, std::string& colorType) {
    const uint8_t start[2] = {0x00, 0x01};
    (void)camera_.GenericI2CWrite(device_, 2, 0x3006, 2, start);
    Wait(500);
    bool done = false;
    uint8_t status[2] = {};
    for (int poll = 0; poll < 20 && !done; ++poll) {
        // A failed read counts as not done (its bytes stay 0xFF).
        (void)ReadMcuWord(0x3006, status);
        SV_LOGD(kCheck, "Check SID SID status: 0x{:02x}{:02x}", status[0], status[1]);
        done = status[0] == 0 && status[1] == 0;
        if (!done) Wait(100);
    }
    if (!done) {
        SV_LOGE(kCheck, "Check SID status fail, error = 0x{:02x}{:02x}", status[0], status[1]);
        return -1;
    }
    uint8_t chip[2] = {};
    uint8_t customer[2] = {};
    if (ReadMcuWord(0x3008, chip) != 0 || ReadMcuWord(0x300A, customer) != 0) return -1;
    const auto chipId = static_cast<uint16_t>(chip[0] << 8 | chip[1]);
    const auto customerId = static_cast<uint16_t>(customer[0] << 8 | customer[1]);
    SV_LOGD(kCheck, "Sensor chip ID: 0x{:04x}", chipId);
    SV_LOGD(kCheck, "Sensor customer ID: 0x{:04x}", customerId);
    const char* name = sv::firmware::SensorName(chipId);
    if (name == nullptr) {
        SV_LOGE(kCheck, "Unknown sensor chip");
        return -1;
    }
    productName = std::string("LUMO-") + name;
    colorType = sv::firmware::ColourType(customerId);
    return 0;
}

// ---------------------------------------------------------------- loader mode and erase

bool SvLUMOFirmwareUpgrade::InLoaderMode() {
    uint8_t byte = 0x00;
    return camera_.GenericI2CRead(device_, 1, kBslMarkerRegister, 1, &byte) >= 0 && byte == kBslMarker;
}

int SvLUMOFirmwareUpgrade::CheckDriver() {
    auto marker = [&](uint8_t& byte) {
        byte = 0x00;
        return camera_.GenericI2CRead(device_, 1, kBslMarkerRegister, 1, &byte) < 0 ? -1 : 0;
    };
    if (camera_.SetBSLMode(1) != 0) return -1;
    Wait(1000);
    uint8_t byte = 0;
    if (marker(byte) != 0) SV_LOGW(kDriver, "{} start to change the BSL mode in second time", camera_.DeviceName());
    if (byte == kBslMarker) return 0;

    bslState_ = 2;
    if (camera_.SetBSLMode(0) != 0) return -1;
    Wait(1000);
    if (camera_.SetBSLMode(1) != 0) return -1;
    Wait(1000);
    uint8_t ack = 0xFF;
    if (Send(kCmdSync, {}, ack) != 0 || ack != 0) return -1;
    if (marker(byte) == 0 && byte == kBslMarker) return 0;
    SV_LOGE(kDriver, "{} failed to change the BSL mode.", camera_.DeviceName());
    return -1;
}

int SvLUMOFirmwareUpgrade::CleanSensorFW() {
    if (CheckDriver() != 0) return -1;
    const std::vector<uint8_t> password(std::begin(sv::firmware::kBslPassword), std::end(sv::firmware::kBslPassword));
    if (!Command(kCmdPassword, password) || !Command(kCmdMassErase, {})) {
        SV_LOGE(kClean, "{}", camera_.DeviceName());
        return -1;
    }
    return 0;
}

// ---------------------------------------------------------------- programming

bool SvLUMOFirmwareUpgrade::WriteSection(uint32_t address, uint32_t length, const std::vector<uint8_t>& image,
                                         std::size_t offset, int progressBase, int progressRange,
                                         const std::function<void(int)>& progress) {
    for (uint32_t e = 0; e < length;) {
        sv::firmware::Report(progress, progressBase + static_cast<int>(uint64_t{e} * static_cast<uint64_t>(progressRange) / length));
        const uint32_t len = std::min<uint32_t>(length - e, kMaxPayload);
        std::vector<uint8_t> payload;
        PutLe32(payload, address + e);
        payload.insert(payload.end(), image.begin() + static_cast<std::ptrdiff_t>(offset + e),
                       image.begin() + static_cast<std::ptrdiff_t>(offset + e + len));
        if (!Command(kCmdProgram, payload)) {
            SV_LOGE(kUpgrade, "{}", camera_.DeviceName());
            return false;
        }
        e += len;
    }
    return true;
}

int SvLUMOFirmwareUpgrade::Verify(uint32_t address, uint32_t length, const std::vector<uint8_t>& image,
                                  std::size_t offset, bool log) {
    const uint32_t crc = sv::firmware::BslCrc(image.data() + offset, length);
    std::vector<uint8_t> payload;
    PutLe32(payload, address);
    PutLe32(payload, length);
    uint8_t ack = 0xFF;
    if (Send(kCmdCrc, payload, ack) != 0) return -1;
    if (ack != 0) {
        SV_LOGE(kUpgrade, "verificationResponse[0] is not 0x00, it is 0x{:02x}", ack);
        return 0;
    }
    uint8_t r[1 + kCrcAnswerBytes] = {};
    if (ReadAnswer(kCmdCrc, payload.size(), r + 1, kCrcAnswerBytes) != 0) return -1;
    if (r[4] != kAnswerCrc) {
        SV_LOGE(kUpgrade, "verificationResponse[4] is not 0x32, it is 0x{:02x}", r[4]);
        return 0;
    }
    const uint8_t expected[4] = {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
                                 static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
    if (std::memcmp(expected, r + 5, 4) != 0) {
        if (log) {
            SV_LOGE(kUpgrade, "verificationCRC: 0x{:02x},0x{:02x},0x{:02x},0x{:02x}", expected[0], expected[1],
                    expected[2], expected[3]);
            SV_LOGE(kUpgrade, "verificationResponse: 0x{:02x},0x{:02x},0x{:02x},0x{:02x}", r[5], r[6], r[7], r[8]);
        }
        return 0;
    }
    return 1;
}

int SvLUMOFirmwareUpgrade::CheckImage(const char* where, const std::string& imagePath,
                                      const std::vector<uint8_t>& image, Layout& info) {
    // The image is checked whole, in 64-bit arithmetic: nothing is read past
    // its end and a refused image sends nothing.
    if (image.size() < kBinInfoBytes) {
        SV_LOGE(where, "Firmware file {} has {} bytes; its information block alone takes {}", imagePath, image.size(),
                kBinInfoBytes);
        return -1;
    }
    std::memcpy(info.version, image.data(), 4);
    info.controlAddr = Le32(image.data() + 4);
    info.controlLen = Le32(image.data() + 8);
    info.bootdataAddr = Le32(image.data() + 12);
    info.bootdataLen = Le32(image.data() + 16);
    const uint64_t needed = uint64_t{kBinInfoBytes} + info.controlLen + info.bootdataLen;
    if (needed > image.size()) {
        SV_LOGE(where, "Firmware file {} has {} bytes; its information block says {}", imagePath, image.size(), needed);
        return -1;
    }
    if (uint64_t{info.controlAddr} + info.controlLen > 0x100000000ull ||
        uint64_t{info.bootdataAddr} + info.bootdataLen > 0x100000000ull) {
        SV_LOGE(where, "Firmware file {}: a section runs past the end of the address space", imagePath);
        return -1;
    }
    if (info.bootdataLen < sizeof(SvHeaderV3) || image[kBinInfoBytes + info.controlLen] != 3) {
        SV_LOGE(where, "Firmware file {} is not a LUMO image: its bootdata section has no version 3 header", imagePath);
        return -1;
    }
    return 0;
}

int SvLUMOFirmwareUpgrade::CheckImageFile(const std::string& imagePath) {
    constexpr const char* kWhere = "SvLUMOFirmwareUpgrade::CheckImageFile";
    std::vector<uint8_t> image;
    if (!sv::firmware::ReadImageFile(kWhere, imagePath, image)) return -1;
    Layout info;
    return CheckImage(kWhere, imagePath, image, info);
}

int SvLUMOFirmwareUpgrade::UpgradeSensorFW(const std::string& imagePath, const std::function<void(int)>& progress) {
    std::vector<uint8_t> image;
    if (!sv::firmware::ReadImageFile(kUpgrade, imagePath, image)) return -1;
    Layout info;
    if (CheckImage(kUpgrade, imagePath, image, info) != 0) return -1;
    SV_LOGI(kUpgrade, "Bin Version: {}.{}.{}.{}", info.version[0], info.version[1], info.version[2], info.version[3]);
    SV_LOGI(kUpgrade, "Control Addr: 0x{:08x}, Len: 0x{:08x}", info.controlAddr, info.controlLen);
    SV_LOGI(kUpgrade, "Bootdata Addr: 0x{:08x}, Len: 0x{:08x}", info.bootdataAddr, info.bootdataLen);
    const std::size_t bootdataAt = kBinInfoBytes + info.controlLen;

    // The module boots the header it is given, and the image's carries the
    // sensor ID of whichever unit the image was built on. In loader mode the
    // sensor behind the module cannot be asked for this unit's ID, so the
    // header goes in with its ID blank and its checksums marked as not
    // computed: readers of the ID then take it from this unit's sensor.
    // The verification below covers these bytes as programmed.
    uint8_t* header = image.data() + bootdataAt;
    std::fill(header + sv::header::kFuseIdAt, header + sv::header::kFuseIdAt + 16, uint8_t{0xFF});
    sv::header::MarkChecksumsNotComputed(header);

    // Outside loader mode the packets would land in the module's own
    // registers: nothing is sent until the loader answers.
    if (!InLoaderMode()) {
        SV_LOGE(kUpgrade, "{} is not in loader mode: erase the module (CleanSensorFW) before an upgrade",
                camera_.DeviceName());
        return -1;
    }

    if (!WriteSection(info.controlAddr, info.controlLen, image, kBinInfoBytes, 0, 50, progress)) return -1;
    SV_LOGI(kUpgrade, "start verification mcu control");
    if (info.controlLen > 0) {
        // The first check only wakes the loader's checker; the second decides.
        if (Verify(info.controlAddr, info.controlLen, image, kBinInfoBytes, false) < 0) return -1;
        if (Verify(info.controlAddr, info.controlLen, image, kBinInfoBytes, true) != 1) return -1;
    }
    SV_LOGI(kUpgrade, "Verification mcu control done");

    if (!WriteSection(info.bootdataAddr, info.bootdataLen, image, bootdataAt, 50, 49, progress)) return -1;
    SV_LOGI(kUpgrade, "start verification bootdata");
    for (uint32_t e = 0; e < info.bootdataLen; e += kVerifyPiece) {
        const uint32_t len = std::min<uint32_t>(info.bootdataLen - e, kVerifyPiece);
        if (Verify(info.bootdataAddr + e, len, image, bootdataAt + e, true) != 1) return -1;
    }
    SV_LOGI(kUpgrade, "Verification bootdata done");

    if (bslState_ == 2) {
        const std::vector<uint8_t> packet = sv::firmware::BslPacket(kCmdStart, {});
        const auto reg = static_cast<uint16_t>(packet[0] << 8 | packet[1]);
        if (camera_.GenericI2CWrite(device_, 2, reg, static_cast<uint8_t>(packet.size() - 2), packet.data() + 2) < 0) {
            return -1;
        }
    }
    if (camera_.SetBSLMode(0) != 0) return -1;
    Wait(300);
    sv::firmware::Report(progress, 100);
    return 0;
}
