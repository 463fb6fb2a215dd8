#include "formats/BootdataHeader.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "base/Logger.h"

namespace sv::formats {
namespace {

constexpr std::size_t kFixedSection = 101;  // bytes 0-100
constexpr std::size_t kTotalSection = 123;  // bytes 0-122

uint16_t SumMod65535(const uint8_t* bytes, std::size_t count) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum = (sum + bytes[i]) % 65535u;
    return static_cast<uint16_t>(sum);
}

// Reads exactly `size` bytes; false on a short read.
bool ReadExactly(std::ifstream& in, void* into, std::size_t size) {
    in.read(static_cast<char*>(into), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

}  // namespace

int ReadHeaderV2FromFile(const std::string& path, std::unique_ptr<SvHeaderV2>& header) {
    constexpr const char* kWhere = "SvGetBootdataHeaderV2FromFile";
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        SV_LOGE(kWhere, "Open Bootdata File Fail! binfile path={}", path);
        return -1;
    }
    header = std::make_unique<SvHeaderV2>();  // zeroed
    if (!ReadExactly(in, header.get(), sizeof(SvHeaderV2))) {
        SV_LOGE(kWhere, "Failed to read header from file");
        return -1;
    }
    if (header->headerVersion != 2) {
        SV_LOGW(kWhere, "Invalid header version: {}", header->headerVersion);
        return -1;
    }
    SV_LOGD(kWhere, "Valid SvHeaderV2 found");
    return 0;
}

int ReadHeaderV3FromFile(const std::string& path, std::unique_ptr<SvHeaderV3>& header) {
    constexpr const char* kWhere = "SvGetBootdataHeaderV3FromFile";
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        SV_LOGE(kWhere, "Open Bootdata File Fail! binfile path={}", path);
        return -1;
    }
    header = std::make_unique<SvHeaderV3>();  // zeroed
    if (!ReadExactly(in, header.get(), sizeof(SvHeaderV3))) {
        SV_LOGE(kWhere, "Failed to read header from file");
        return -1;
    }
    if (header->headerVersion == 3) {
        SV_LOGD(kWhere, "Valid SvHeaderV3 found");
        return 0;
    }

    SV_LOGD(kWhere, "Not a valid SvHeaderV3, trying LUMO format");
    in.close();
    in.open(path, std::ios::binary);
    if (!in.is_open()) {
        SV_LOGE(kWhere, "Open Bootdata File Fail! binfile path={}", path);
        return -1;
    }
    BinInfo info{};
    if (!ReadExactly(in, &info, sizeof(info))) {
        SV_LOGE(kWhere, "Failed to read BinInfo");
        return -1;
    }
    SV_LOGD(kWhere, "Bin file version: {}.{}.{}.{}", info.binVersion[0], info.binVersion[1], info.binVersion[2],
            info.binVersion[3]);
    in.seekg(static_cast<std::streamoff>(info.controlLen), std::ios::cur);
    if (!in) {
        SV_LOGE(kWhere, "Failed to seek to header position");
        return -1;
    }
    std::memset(header.get(), 0, sizeof(SvHeaderV3));
    if (!ReadExactly(in, header.get(), sizeof(SvHeaderV3))) {
        SV_LOGE(kWhere, "Failed to read header");
        return -1;
    }
    if (header->headerVersion != 3) {
        SV_LOGW(kWhere, "Invalid header version: {}", header->headerVersion);
        return -1;
    }
    return 0;
}

uint16_t FixChecksum(const uint8_t* headerBytes) { return SumMod65535(headerBytes, kFixedSection); }
uint16_t TotalChecksum(const uint8_t* headerBytes) { return SumMod65535(headerBytes, kTotalSection); }

std::string SensorFirmwareVersion(const SvHeaderV2& header) {
    char text[32];
    std::snprintf(text, sizeof(text), "%02u.%02u.%02u", unsigned{header.productVersion}, unsigned{header.lensVersion},
                  unsigned{header.contentVersion});
    return text;
}

std::string SensorFirmwareVersion(const SvHeaderV3& header) {
    char text[40];
    const unsigned vendor = header.vendorFwVersion;
    const unsigned custom = header.customNumber;
    std::snprintf(text, sizeof(text), "%02u.%02u.%02u.%02u", unsigned{header.znFwVersion[0]},
                  unsigned{header.znFwVersion[1]}, vendor, custom);
    return text;
}

}  // namespace sv::formats
