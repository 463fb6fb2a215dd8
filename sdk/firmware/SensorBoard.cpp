#include "firmware/SensorBoard.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "base/Logger.h"

namespace sv::firmware {

const char* SensorName(uint16_t chipId) {
    switch (chipId) {
    case 0x0356: return "AR0144";
    case 0x0A56: return "AR0234";
    case 0x0457: return "AR0521";
    case 0x1457: return "AR0522";
    case 0x2557: return "AR0821";
    case 0x0F56: return "AR0822";
    case 0x0153: return "AR1335";
    default: return nullptr;
    }
}

const char* ColourType(uint16_t customerId) {
    switch (customerId) {
    case 0x00A1:
    case 0x00A2:
    case 0x04A2: return "M";
    default: return "C";  // 0x0091, 0x0092, 0x0093, 0x0492 and anything unknown
    }
}

bool ReadImageFile(const char* where, const std::string& path, std::vector<uint8_t>& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        const int error = errno;  // before the log call can change it
        SV_LOGE(where, "Failed to open firmware file");
        SV_LOGE(where, "{}: {}", path, std::strerror(error));
        return false;
    }
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        SV_LOGE(where, "Failed to read firmware file {}", path);
        return false;
    }
    return true;
}

}  // namespace sv::firmware
