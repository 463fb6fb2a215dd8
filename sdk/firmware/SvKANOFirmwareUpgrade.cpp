#include "firmware/SvKANOFirmwareUpgrade.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/HeaderChecksums.h"
#include "base/Logger.h"
#include "camera/SvSorvanCamera.h"
#include "firmware/SensorBoard.h"
#include "platform/backend/Backend.h"

namespace {

constexpr const char* kCheck = "SvKANOFirmwareUpgrade::CheckProduct";
constexpr const char* kUpgrade = "SvKANOFirmwareUpgrade::UpgradeSensorFW";

constexpr uint8_t kIsp = 0x3D;
constexpr uint8_t kSensorAddresses[] = {0x20, 0x6C, 0x6E};
constexpr uint16_t kChipIdRegister = 0x3000;
constexpr uint16_t kCustomerIdRegister = 0x31FE;
constexpr int kZeroPolls = 20;

// Header fields of a version 3 header, by byte offset.
using sv::header::kFixChecksumAt;
using sv::header::kFuseIdAt;
using sv::header::kSummedBytes;
using sv::header::kTotalChecksumAt;

void Wait(uint32_t ms) { sv::platform::GetBackend()->Sleep(ms); }

bool AllZero(const uint8_t* bytes, uint16_t length) {
    for (uint16_t i = 0; i < length; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- product check

int SvKANOFirmwareUpgrade::IspWrite(uint16_t reg, const std::vector<uint8_t>& bytes) {
    return camera_.GenericI2CWrite(kIsp, 2, reg, static_cast<uint8_t>(bytes.size()), bytes.data()) < 0 ? -1 : 0;
}

int SvKANOFirmwareUpgrade::IspRead(uint16_t reg, uint8_t* bytes, uint16_t length) {
    std::memset(bytes, 0, length);
    return camera_.GenericI2CRead(kIsp, 2, reg, length, bytes) < 0 ? -1 : 0;
}

int SvKANOFirmwareUpgrade::WaitForZero(uint16_t reg, uint8_t* bytes, uint16_t length) {
    for (int poll = 0; poll < kZeroPolls; ++poll) {
        if (IspRead(reg, bytes, length) != 0) return -1;
        if (AllZero(bytes, length)) return 0;
        Wait(100);
    }
    return 1;
}

int SvKANOFirmwareUpgrade::PrepareSensorInterface() {
    if (IspWrite(0xF05A, {0x00, 0x14}) != 0) return -1;
    Wait(50);
    bool found = false;
    for (int poll = 0; poll < kZeroPolls && !found; ++poll) {
        uint8_t id[2] = {};
        if (IspRead(0x0000, id, 2) != 0) return -1;
        found = id[0] == 0x02 && id[1] == 0x65;
        if (!found) Wait(100);
    }
    if (!found) {
        SV_LOGE(kCheck, "Can not found the ISP!");
        return -1;
    }
    SV_LOGI(kCheck, "Found the ISP!");
    const std::pair<uint16_t, std::vector<uint8_t>> setup[] = {
        {0xF038, {0x00, 0x20, 0x00, 0x00}}, {0xE008, {0x00, 0x00, 0x07, 0x8F}}, {0xF038, {0x00, 0x2B, 0x00, 0x00}},
        {0xE020, {0x04, 0x40, 0x02, 0x01}}, {0xF038, {0x00, 0x2A, 0x00, 0x00}}, {0xE000, {0x00, 0x00, 0x04, 0x90}},
        {0xE004, {0x00, 0x00, 0x06, 0x9A}}, {0xE000, {0x00, 0x00, 0x04, 0x9A}}, {0xF038, {0x00, 0x29, 0x00, 0x00}},
        {0xE014, {0x00, 0x1E, 0x00, 0xEF}}, {0xE028, {0x00, 0x1E, 0x00, 0xEF}},
    };
    for (const auto& [reg, bytes] : setup) {
        if (IspWrite(reg, bytes) != 0) return -1;
        Wait(50);
    }
    uint8_t status[2] = {};
    int r = WaitForZero(0x0006, status, 2);
    if (r < 0) return -1;
    if (r > 0) {
        SV_LOGE(kCheck, "Check ISP error fail, error = {:02x}{:02x}", status[0], status[1]);
        return -1;
    }
    r = WaitForZero(0x6002, status, 2);
    if (r < 0) return -1;
    if (r > 0) {
        SV_LOGE(kCheck, "Check ISP BOOTDATA STAGE fail, error = {:02x}{:02x}", status[0], status[1]);
        return -1;
    }
    return 0;
}

int SvKANOFirmwareUpgrade::SensorBusRead(uint8_t sensor, uint16_t reg, uint16_t& value) {
    auto go = [&]() -> int {
        uint8_t busy[4] = {};
        const int r = WaitForZero(0xE000, busy, 4);
        if (r > 0) {
            SV_LOGW(kCheck, "Check ISP ADV_SIPM_GO fail, error = {:02x}{:02x}{:02x}{:02x}", busy[0], busy[1], busy[2],
                    busy[3]);
        }
        return r;
    };
    auto writeAll = [&](std::initializer_list<std::pair<uint16_t, std::vector<uint8_t>>> writes) {
        for (const auto& [r, bytes] : writes) {
            if (IspWrite(r, bytes) != 0) return -1;
            Wait(50);
        }
        return 0;
    };
    if (writeAll({{0xE008, {0x00, 0x00, 0x00, sensor}},
                  {0xE004, {0x00, 0x00, 0x00, 0x08}},
                  {0xE00C, {0x00, 0x00, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg)}},
                  {0xE000, {0x00, 0x00, 0x00, 0x01}}}) != 0) {
        return -1;
    }
    int r = go();
    if (r != 0) return r;
    uint8_t control[4] = {};
    if (IspRead(0xE004, control, 4) != 0) return -1;
    if (!AllZero(control, 4)) {
        SV_LOGW(kCheck, "Check ISP first ADV_SIPM_0_CTL fail, error = {:02x}{:02x}{:02x}{:02x}", control[0],
                control[1], control[2], control[3]);
        return 1;
    }
    if (writeAll({{0xE004, {0x00, 0x00, 0x00, 0x01}}, {0xE000, {0x00, 0x00, 0x00, 0x01}}}) != 0) return -1;
    r = go();
    if (r != 0) return r;
    if (IspRead(0xE004, control, 4) != 0) return -1;
    if (!(control[0] == 0 && control[1] == 0 && control[2] == 0 && control[3] == 1)) {
        SV_LOGW(kCheck, "Check ISP second ADV_SIPM_0_CTL fail, error = {:02x}{:02x}{:02x}{:02x}", control[0],
                control[1], control[2], control[3]);
        return 1;
    }
    uint8_t data[4] = {};
    if (IspRead(0xE010, data, 4) != 0) return -1;
    value = static_cast<uint16_t>(data[2] << 8 | data[3]);
    return 0;
}

int SvKANOFirmwareUpgrade::CheckProduct(std::string& productName, std::string& colorType) {
    uint8_t stage[2] = {};
    if (IspRead(0x6002, stage, 2) != 0) return -1;
    uint16_t chipId = 0;
    uint16_t customerId = 0;
    if (stage[0] == 0xFF && stage[1] == 0xFF) {
        // No bootdata has run: the ISP's own sensor bridge answers.
        for (uint8_t sensor : kSensorAddresses) {
            // A sensor that does not answer leaves the IDs read before.
            uint16_t chip = 0;
            (void)camera_.AP1302SensorRegisterRead(sensor, kChipIdRegister, chip);
            SV_LOGD(kCheck, "Sensor chip ID: 0x{:04x}", chip);
            if (chip == 0) continue;
            chipId = chip;
            uint16_t customer = 0;
            (void)camera_.AP1302SensorRegisterRead(sensor, kCustomerIdRegister, customer);
            SV_LOGD(kCheck, "Sensor customer ID: 0x{:04x}", customer);
            customerId = customer;
            if (customerId != 0) break;
        }
    } else {
        if (PrepareSensorInterface() != 0) return -1;
        for (std::size_t i = 0; i < std::size(kSensorAddresses); ++i) {
            const uint8_t sensor = kSensorAddresses[i];
            SV_LOGD(kCheck, "Check Sensor {} ID 0x{:02x}", i, sensor);
            uint16_t chip = 0;
            int r = SensorBusRead(sensor, kChipIdRegister, chip);
            if (r < 0) return -1;
            if (r > 0 || chip == 0) continue;
            chipId = chip;
            SV_LOGD(kCheck, "Sensor chip ID: 0x{:04x}", chipId);
            uint16_t customer = 0;
            r = SensorBusRead(sensor, kCustomerIdRegister, customer);
            if (r < 0) return -1;
            if (r == 0) {
                customerId = customer;
                SV_LOGD(kCheck, "Sensor customer ID: 0x{:04x}", customerId);
            }
            if (customerId != 0) break;
        }
    }
    const char* sensorName = sv::firmware::SensorName(chipId);
    if (sensorName == nullptr) {
        SV_LOGE(kCheck, "Unknown sensor chip");
        return -1;
    }
    productName = std::string("KANO-") + sensorName;
    colorType = sv::firmware::ColourType(customerId);
    return 0;
}

// ---------------------------------------------------------------- the store

int SvKANOFirmwareUpgrade::StoreWrite(uint32_t offset, const uint8_t* data, uint8_t length) {
    const uint8_t device = offset < 0xFFFF ? storeAddress_ : static_cast<uint8_t>(storeAddress_ + 1);
    return camera_.GenericI2CWrite(device, 2, static_cast<uint16_t>(offset & 0xFFFF), length, data) < 0 ? -1 : 0;
}

int SvKANOFirmwareUpgrade::CleanSensorFW() {
    std::vector<uint8_t> erased(kChunkBytes, 0xFF);
    for (uint32_t offset = 0; offset < kStoreBytes; offset += kChunkBytes) {
        if (StoreWrite(offset, erased.data(), static_cast<uint8_t>(kChunkBytes)) != 0) return -1;
    }
    return 0;
}

int SvKANOFirmwareUpgrade::SealHeader(const std::string& uid) {
    // The ID as eight big-endian words at registers 5, 7, ... 19.
    for (uint32_t i = 0; i < 8; ++i) {
        const auto word = static_cast<uint16_t>(std::stoul(uid.substr(4 * i, 4), nullptr, 16));
        const uint8_t bytes[2] = {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
        if (camera_.GenericI2CWrite(storeAddress_, 2, static_cast<uint16_t>(kFuseIdAt + 2 * i), 2, bytes) < 0) {
            // A header left with part of another ID must not be sealed.
            SV_LOGE(kUpgrade, "Write Unique Sensor ID Fail!");
            return -1;
        }
    }
    Wait(1000);

    auto header = std::make_unique<SvHeaderV3>();
    std::memset(header.get(), 0, sizeof(SvHeaderV3));
    const int read = camera_.GetBootdataHeaderV3(header);
    if (read != 0) {
        SV_LOGE(kUpgrade, "GetBootdataHeaderV3 Fail!");
        return read;
    }
    const auto* h = reinterpret_cast<const uint8_t*>(header.get());
    SV_LOGD(kUpgrade, "Get Header Fuse ID: {} {} {} {} {} {} {} {} {} {} {} {} {} {} {}", h[5], h[6], h[7], h[8], h[9],
            h[10], h[11], h[12], h[13], h[14], h[15], h[16], h[17], h[18], h[19]);

    SV_LOGD(kUpgrade, "Calculate CheckSum of Fixed Section...");
    uint8_t bytes[kSummedBytes] = {};
    if (camera_.GenericI2CRead(storeAddress_, 2, 0, kSummedBytes, bytes) < 0) return -1;
    const sv::header::StoreChecksums sums = sv::header::ComputeStoreChecksums(bytes);
    const uint16_t fix = sums.fix;
    const uint8_t fixBytes[2] = {static_cast<uint8_t>(fix & 0xFF), static_cast<uint8_t>(fix >> 8)};
    if (camera_.GenericI2CWrite(storeAddress_, 2, kFixChecksumAt, 2, fixBytes) < 0) return -1;
    SV_LOGD(kUpgrade, "Fixed Checksum: 0x{:04x}", fix);
    const uint16_t total = sums.total;
    const uint8_t totalBytes[2] = {static_cast<uint8_t>(total & 0xFF), static_cast<uint8_t>(total >> 8)};
    if (camera_.GenericI2CWrite(storeAddress_, 2, kTotalChecksumAt, 2, totalBytes) < 0) return -1;
    SV_LOGD(kUpgrade, "Total Checksum: 0x{:04x}", total);
    return 0;
}

int SvKANOFirmwareUpgrade::CheckImage(const char* where, const std::string& imagePath,
                                      const std::vector<uint8_t>& image) {
    if (image.empty()) {
        SV_LOGE(where, "Firmware file {} is empty", imagePath);
        return -1;
    }
    if (static_cast<uint64_t>(image.size()) > kStoreBytes) {
        SV_LOGE(where, "Firmware file {} has {} bytes; the bootdata store holds {}", imagePath, image.size(),
                kStoreBytes);
        return -1;
    }
    const uint8_t version = image[0];
    if (version != 2 && version != 3) {
        SV_LOGE(where, "Firmware file {} is not KANO bootdata: it starts with header version {}", imagePath, version);
        return -1;
    }
    const uint32_t headerBytes = version == 3 ? sizeof(SvHeaderV3) : sizeof(SvHeaderV2);
    if (image.size() < headerBytes) {
        SV_LOGE(where, "Firmware file {} ends inside its header ({} bytes)", imagePath, image.size());
        return -1;
    }
    // The content the header announces must be in the file: from its offset
    // (never inside the header) for its length, summed in 64 bits.
    const std::size_t lengthAt = version == 3 ? 117 : 138;
    const uint64_t contentLen = uint64_t{image[lengthAt]} | uint64_t{image[lengthAt + 1]} << 8 |
                                uint64_t{image[lengthAt + 2]} << 16 | uint64_t{image[lengthAt + 3]} << 24;
    const uint64_t contentOffset = uint64_t{image[1]} | uint64_t{image[2]} << 8;
    const uint64_t contentStart = std::max<uint64_t>(contentOffset, headerBytes);
    if (contentStart + contentLen > image.size()) {
        SV_LOGE(where,
                "Firmware file {} is truncated: its header announces {} content bytes from offset {}, the file "
                "holds {} bytes",
                imagePath, contentLen, contentStart, image.size());
        return -1;
    }
    return version;
}

int SvKANOFirmwareUpgrade::CheckImageFile(const std::string& imagePath) {
    constexpr const char* kWhere = "SvKANOFirmwareUpgrade::CheckImageFile";
    std::vector<uint8_t> image;
    if (!sv::firmware::ReadImageFile(kWhere, imagePath, image)) return -1;
    return CheckImage(kWhere, imagePath, image) < 0 ? -1 : 0;
}

int SvKANOFirmwareUpgrade::UpgradeSensorFW(const std::string& imagePath, const std::function<void(int)>& progress) {
    std::vector<uint8_t> image;
    if (!sv::firmware::ReadImageFile(kUpgrade, imagePath, image)) return -1;
    // Everything that can be known about the image is checked before the
    // store is touched: a refused image leaves the camera as it was.
    const int checked = CheckImage(kUpgrade, imagePath, image);
    if (checked < 0) return -1;
    const auto version = static_cast<uint8_t>(checked);

    // A version 3 image carries some unit's sensor ID: this camera's own is
    // read first, and the header goes to the store marked as not computed
    // (checksum 0xFFFF), so no partial or foreign image ever reads as sealed.
    // The ID comes from the sensor's fuses, never from the store's header: a
    // header sealed by an earlier upgrade may carry another unit's ID.
    std::string uid;
    std::vector<uint8_t> first(image.begin(), image.begin() + std::min<std::size_t>(image.size(), kChunkBytes));
    if (version == 3) {
        if (camera_.GetSensorFuseID(uid) != 0 || uid.size() != 32 ||
            uid.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            SV_LOGE(kUpgrade, "Get Unique Sensor ID Fail!");
            return -1;
        }
        SV_LOGI(kUpgrade, "Get Unique Sensor ID: {}", uid);
        for (uint32_t i = 0; i < 16; ++i) {
            first[kFuseIdAt + i] = static_cast<uint8_t>(std::stoul(uid.substr(2 * i, 2), nullptr, 16));
        }
        sv::header::MarkChecksumsNotComputed(first.data());
    }

    const std::size_t n = image.size();
    const std::size_t chunks = (n + kChunkBytes - 1) / kChunkBytes;
    const std::size_t full = n / kChunkBytes;
    for (std::size_t k = 0; k < full; ++k) {
        const uint8_t* data = k == 0 ? first.data() : image.data() + k * kChunkBytes;
        if (StoreWrite(static_cast<uint32_t>(k * kChunkBytes), data, static_cast<uint8_t>(kChunkBytes)) != 0) {
            return -1;
        }
        sv::firmware::Report(progress, static_cast<int>(static_cast<double>(k + 1) * 99.0 / static_cast<double>(chunks)));
    }
    if (n % kChunkBytes != 0) {
        const uint8_t* data = full == 0 ? first.data() : image.data() + full * kChunkBytes;
        if (StoreWrite(static_cast<uint32_t>(full * kChunkBytes), data, static_cast<uint8_t>(n % kChunkBytes)) != 0) {
            return -1;
        }
    }

    uint8_t stored = 0;
    if (camera_.GetHeaderVersion(stored) != 0) return -1;
    if (stored != version) {
        // The store did not take what was written: not a success.
        SV_LOGE(kUpgrade, "The store reads header version {} after a version {} image was written", stored, version);
        return -1;
    }
    if (stored == 3) {
        const int sealed = SealHeader(uid);
        if (sealed != 0) return sealed;
    }
    // 100 means done: only an upgrade that has succeeded says it.
    sv::firmware::Report(progress, 100);
    SV_LOGI(kUpgrade, "DownloadBootdata Completed.");
    return 0;
}
