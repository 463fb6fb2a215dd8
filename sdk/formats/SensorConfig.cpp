#include "formats/SensorConfig.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "base/Config.h"
#include "base/Logger.h"
#include "base/Version.h"

namespace sv::formats {

namespace {

constexpr const char* kCameraProfile = "CameraProfile";
constexpr const char* kCameraInfo = "CameraInfo";
constexpr const char* kIspProfiles = "ISPProfiles";
constexpr const char* kIspHeader = "ISPHeader";

// ---------------------------------------------------------------- field tables

// {name, KIVO register, msb, width, LIRA register, msb, width}
struct FamilyField {
    const char* name;
    uint16_t kivoReg;
    int kivoMsb;
    int kivoWidth;
    uint16_t liraReg;
    int liraMsb;
    int liraWidth;
};

constexpr FamilyField kCameraProfileFields[] = {
    {"Framerate", 0x2020, 15, 8, 0x310A, 7, 8},
    {"Height", 0x2002, 15, 16, 0x3102, 15, 16},
    {"PixelFormat", 0x2012, 7, 8, 0x3104, 7, 8},
    {"Width", 0x2000, 15, 16, 0x3100, 15, 16},
    {"Throughput", 0x6132, 15, 10, 0x3108, 15, 16},
};

constexpr FamilyField kIspProfileFields[] = {
    {"ExposureGain", 0x5006, 15, 8, 0x3124, 7, 8},
    {"ExposureMode", 0x5002, 3, 4, 0x3116, 7, 8},
    {"ExposureTime", 0x500C, 15, 32, 0x3118, 15, 32},
    {"ExposureMinTime", 0x2024, 15, 32, 0x310C, 15, 32},
    {"ExposureMaxTime", 0x2028, 15, 32, 0x3110, 15, 32},
    {"WhiteBalanceMode", 0x5100, 3, 4, 0x3136, 7, 8},
    {"WhiteBalanceTemperature", 0x510A, 15, 16, 0x3138, 15, 16},
    {"BacklightCompensation", 0x501A, 15, 16, 0x3130, 15, 16},
    {"Brightness", 0x7000, 15, 16, 0x313E, 15, 16},
    {"JpegQual", 0x1018, 7, 8, 0x3180, 7, 8},
    {"Contrast", 0x7002, 15, 16, 0x3144, 15, 16},
    {"Denoise", 0x700C, 15, 16, 0x3156, 15, 16},
    {"SpecialEffectMode", 0x1016, 3, 4, 0x3164, 7, 8},
    {"FlipMode", 0x100C, 2, 3, 0x3162, 7, 8},
    // The LIRA keeps the whole 16-bit flicker code in its register (that is
    // what its control writes), so the whole word is the field.
    {"FlickMode", 0x5440, 15, 16, 0x317C, 15, 16},
    {"Gamma", 0x700A, 15, 16, 0x3150, 15, 16},
    {"Saturation", 0x7006, 15, 16, 0x314A, 15, 16},
    {"Sharpness", 0x7010, 15, 16, 0x315C, 15, 16},
    {"Zoom", 0x1010, 15, 16, 0x3168, 15, 16},
    {"Pan", 0x118C, 15, 16, 0x316E, 15, 16},
    {"Tilt", 0x118E, 15, 16, 0x3170, 15, 16},
    {"MIPIFreq", 0x6034, 15, 16, 0x317E, 15, 16},
};

// Header fields sit at their byte offset in the header store (KIVO) or at
// 0x4000 plus that offset in the microcontroller's space (LIRA).
constexpr FamilyField kIspHeaderFields[] = {
    {"HeaderVersion", 0x00, 15, 8, 0x4000, 15, 8},
    {"ContentOffset", 0x00, 7, 16, 0x4000, 7, 16},
    {"SensorType", 0x02, 7, 16, 0x4002, 7, 16},
    {"SensorFuseID", 0x04, 7, 128, 0x4004, 7, 128},
    {"ProductName", 0x14, 7, 512, 0x4014, 7, 512},
    {"LensID", 0x54, 7, 128, 0x4054, 7, 128},
    {"FixChecksum", 0x64, 7, 16, 0x4064, 7, 16},
    {"ZNFWVersion", 0x66, 7, 16, 0x4066, 7, 16},
    {"VendorFWVersion", 0x68, 7, 16, 0x4068, 7, 16},
    {"CustomNumber", 0x6A, 7, 16, 0x406A, 7, 16},
    {"BuildDate", 0x6C, 7, 32, 0x406C, 7, 32},
    {"MIPIDataRate", 0x72, 7, 16, 0x4072, 7, 16},
    {"ContentLength", 0x74, 7, 32, 0x4074, 7, 32},
    {"ContentChecksum", 0x78, 7, 16, 0x4078, 7, 16},
    {"TotalChecksum", 0x7A, 7, 16, 0x407A, 7, 16},
    // KIVO: header byte 124; LIRA: the flag byte of the on-camera profile block.
    {"ProfileCheck", 0x7C, 7, 8, 0x4100, 15, 8},
};

// LIRA module information (the microcontroller's identity registers).
constexpr RegisterField kLiraCameraInfo[] = {
    {kCameraInfo, "Year", 0x3000, 15, 8},          {kCameraInfo, "Month", 0x3000, 7, 8},
    {kCameraInfo, "Revision", 0x3002, 15, 8},      {kCameraInfo, "Build", 0x3002, 7, 8},
    {kCameraInfo, "Boot_State", 0x3004, 7, 8},     {kCameraInfo, "Check_State", 0x3006, 15, 8},
    {kCameraInfo, "Check_Setup", 0x3006, 7, 8},    {kCameraInfo, "Sensor_Chip_ID", 0x3008, 15, 16},
    {kCameraInfo, "Sensor_Custom_ID", 0x300A, 15, 16},
};

// The LIRA export's ranges, start and end inclusive, in reading order.
constexpr std::pair<uint16_t, uint16_t> kLiraRanges[] = {
    {0x3000, 0x300A},  // module information
    {0x3100, 0x318E},  // controls
    {0x5000, 0x503E},  // motion sensor controls
    {0x4000, 0x414E},  // header and profile block
    {0x5100, 0x513E},  // magnetometer
};

template <std::size_t N>
void AddFamilyTable(RegisterMap& map, const char* group, const FamilyField (&table)[N], SensorFamily family) {
    for (const auto& f : table) {
        const bool kivo = family == SensorFamily::Kivo;
        const RegisterField field{group, f.name, kivo ? f.kivoReg : f.liraReg, kivo ? f.kivoMsb : f.liraMsb,
                                  kivo ? f.kivoWidth : f.liraWidth};
        map[field.reg].push_back(field);
    }
}

// ---------------------------------------------------------------- decoding

// Register values of a file, and the bytes they stand for: a register's high
// byte is the byte at its own position, its low byte the one after it.
class RegisterValues {
public:
    void Set(uint16_t reg, uint16_t value) { values_[reg] = value; }

    // A register the file does not hold reads 0.
    uint16_t Value(uint32_t reg) const {
        const auto it = values_.find(static_cast<uint16_t>(reg));
        return reg <= 0xFFFF && it != values_.end() ? it->second : 0;
    }
    uint8_t Byte(uint32_t position) const {
        const uint16_t word = Value(position & ~1u);
        return static_cast<uint8_t>((position & 1u) != 0 ? word & 0xFF : word >> 8);
    }

private:
    std::map<uint16_t, uint16_t> values_;
};

double Signed4_12(uint16_t r) {
    int whole = r >> 12;
    if (whole >= 8) whole -= 16;
    return whole + (r & 0xFFF) / 4096.0;
}

double Unsigned4_12(uint16_t r) { return (r >> 12) + (r & 0xFFF) / 4096.0; }

double Unsigned8_8(uint16_t r) { return (r >> 8) + (r & 0xFF) / 256.0; }

// Ten times `v` after rounding it to hundredths, cut toward zero: the scale of
// the ISP property interface, so a decoded value equals the value a camera
// reports for the same register.
int32_t Tenths(double v) {
    if (!(std::fabs(v) < 1e8)) return 0;
    return static_cast<int32_t>(std::llround(v * 100.0) / 10);
}

bool IsFixedPointField(const std::string& name) {
    static const char* const kNames[] = {"BacklightCompensation", "Brightness", "Contrast", "Denoise", "Gamma",
                                         "Saturation", "Sharpness", "Zoom", "Pan", "Tilt"};
    for (const char* n : kNames) {
        if (name == n) return true;
    }
    return false;
}

double FixedPointValue(const std::string& name, uint16_t r, bool kivo) {
    if (name == "Zoom" || name == "Pan" || name == "Tilt") return Unsigned8_8(r);
    if (name == "BacklightCompensation") {
        if (kivo) return static_cast<int16_t>(r) / 256.0;
        int high = r >> 8;
        if (high > 128) high -= 256;
        return high + (r & 0xFF) / 256.0 - 15.0;
    }
    if (kivo) return Signed4_12(r);
    if (name == "Brightness") return Signed4_12(r) - 1.0;
    // The LIRA control keeps contrast + 5 unsigned (0 to 10 needs the top bit).
    if (name == "Contrast") return Unsigned4_12(r) - 5.0;
    if (name == "Denoise" || name == "Sharpness") return Signed4_12(r) - 2.0;
    return Signed4_12(r);  // saturation, gamma
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%0*x", digits, value);
    return text;
}

std::string TwoDigits(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02u", value);
    return text;
}

// Header fields: bytes of the bootdata header, little-endian numbers.
void AddHeaderValue(rapidjson::Value& object, const RegisterField& f, const RegisterValues& v,
                    rapidjson::Document::AllocatorType& alloc) {
    const std::string name = f.name;
    const uint32_t r = f.reg;
    auto b = [&](uint32_t k) { return static_cast<unsigned>(v.Byte(r + k)); };
    auto number16 = [&] { return b(1) + 256u * b(2); };
    rapidjson::Value key(f.name, alloc);
    if (name == "SensorFuseID") {
        std::string text;
        for (uint32_t k = 1; k <= 16; ++k) text += Hex(b(k), 2).substr(2);
        object.AddMember(key, rapidjson::Value(text.c_str(), alloc), alloc);
    } else if (name == "ProductName" || name == "LensID") {
        std::string text;
        for (uint32_t k = 1; k <= static_cast<uint32_t>(f.width / 8) && b(k) != 0; ++k) {
            text += static_cast<char>(b(k));
        }
        object.AddMember(key, rapidjson::Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), alloc),
                         alloc);
    } else if (name == "ZNFWVersion") {
        const std::string text = std::to_string(b(1)) + "." + std::to_string(b(2));
        object.AddMember(key, rapidjson::Value(text.c_str(), alloc), alloc);
    } else if (name == "ContentOffset" || name == "SensorType" || name == "VendorFWVersion" ||
               name == "CustomNumber" || name == "MIPIDataRate") {
        object.AddMember(key, rapidjson::Value(number16()), alloc);
    } else if (name == "FixChecksum" || name == "ContentChecksum" || name == "TotalChecksum") {
        object.AddMember(key, rapidjson::Value(Hex(number16(), 4).c_str(), alloc), alloc);
    } else if (name == "BuildDate") {
        const std::string text = TwoDigits(b(1)) + "-" + TwoDigits(b(2)) + "-" + TwoDigits(b(3)) + " " +
                                 TwoDigits(b(4)) + ":" + TwoDigits(b(5)) + ":" + TwoDigits(b(6));
        object.AddMember(key, rapidjson::Value(text.c_str(), alloc), alloc);
    } else if (name == "ContentLength") {
        const unsigned length = b(1) + 256u * b(2) + 65536u * b(3) + 16777216u * b(4);
        object.AddMember(key, rapidjson::Value(length), alloc);
    } else if (name == "ProfileCheck") {
        object.AddMember(key, rapidjson::Value(Hex(b(0), 2).c_str(), alloc), alloc);
    } else {
        object.AddMember(key, rapidjson::Value(b(0)), alloc);
    }
}

// The bits of a plain field, joined over as many registers as it spans.
uint64_t RawField(const RegisterField& f, const RegisterValues& v) {
    const uint64_t mask = f.width >= 64 ? ~uint64_t{0} : (uint64_t{1} << f.width) - 1;
    if (f.msb + 1 >= f.width) return (uint64_t{v.Value(f.reg)} >> (f.msb - f.width + 1)) & mask;
    const int n = (f.width - f.msb - 1) / 16 + 1;
    uint64_t joined = 0;
    for (int i = 0; i < n && i < 4; ++i) joined = (joined << 16) | v.Value(f.reg + 2u * static_cast<unsigned>(i));
    const int shift = 16 * n == f.width ? 0 : f.msb + 1;
    return (joined >> shift) & mask;
}

// A mode code becomes its position in the mode's list; an unknown code stays.
uint64_t ModeIndex(const std::string& name, uint64_t code) {
    static const std::map<std::string, std::vector<uint64_t>> kLists = {
        {"WhiteBalanceMode", {7, 15}},
        {"ExposureMode", {0, 12, 9}},
        {"SpecialEffectMode", {0, 3, 6, 7, 15}},
        {"FlickMode", {0, 0x3201, 0x3C01, 14}},
    };
    const auto it = kLists.find(name);
    if (it == kLists.end()) return code;
    for (std::size_t i = 0; i < it->second.size(); ++i) {
        if (it->second[i] == code) return i;
    }
    return code;
}

void AddFieldValue(rapidjson::Value& object, const RegisterField& f, const RegisterValues& v, bool kivo,
                   rapidjson::Document::AllocatorType& alloc) {
    const std::string name = f.name;
    if (IsFixedPointField(name)) {
        const int32_t tenths = Tenths(FixedPointValue(name, v.Value(f.reg), kivo));
        object.AddMember(rapidjson::Value(f.name, alloc), rapidjson::Value(tenths), alloc);
        return;
    }
    if (std::strcmp(f.group, kIspHeader) == 0) {
        AddHeaderValue(object, f, v, alloc);
        return;
    }
    const uint64_t x = ModeIndex(name, RawField(f, v));
    if (name == "PixelFormat") {
        const char* text = x == 0x50 ? "UYVY" : x == 1 ? "MJPG" : "NONE";
        object.AddMember(rapidjson::Value(f.name, alloc), rapidjson::Value(text, alloc), alloc);
        return;
    }
    object.AddMember(rapidjson::Value(f.name, alloc), rapidjson::Value(static_cast<uint64_t>(x)), alloc);
}

// The family of a device name: every section whose "products" list has an
// item contained in the name; the last such section examined counts.
std::string FamilyOf(const std::string& deviceName) {
    ConfigMap config;
    const std::string path = FindFirstExistingPath(GetConfigCandidatePaths("SvConfig"));
    if (path.empty() || LoadConfigMap(path, config) != 0) return "";
    std::string family;
    for (const auto& [section, keys] : config) {
        const auto products = keys.find("products");
        if (products == keys.end()) continue;
        for (const auto& item : products->second) {
            if (deviceName.find(item) != std::string::npos) family = section;
        }
    }
    return family;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

RegisterMap BuildRegisterMap(SensorFamily family, bool withCameraInfo) {
    RegisterMap map;
    if (withCameraInfo) {
        for (const auto& f : kLiraCameraInfo) map[f.reg].push_back(f);
    }
    AddFamilyTable(map, kCameraProfile, kCameraProfileFields, family);
    AddFamilyTable(map, kIspProfiles, kIspProfileFields, family);
    AddFamilyTable(map, kIspHeader, kIspHeaderFields, family);
    return map;
}

std::vector<RegisterRead> KivoExportReads(uint8_t ispAddress, uint8_t headerAddress) {
    std::vector<RegisterRead> reads;
    for (const auto& [reg, fields] : BuildRegisterMap(SensorFamily::Kivo, false)) {
        const RegisterField* widest = &fields.front();
        for (const auto& f : fields) {
            if (f.width > widest->width) widest = &f;
        }
        const uint8_t device = std::strcmp(widest->group, kIspHeader) == 0 ? headerAddress : ispAddress;
        // The block the field spans, and the register after it.
        const int n = (widest->width - widest->msb - 1) / 16;
        for (int i = 0; i <= n + 1; ++i) reads.push_back({device, static_cast<uint16_t>(reg + 2 * i)});
    }
    return reads;
}

std::vector<RegisterRead> LiraExportReads(uint8_t mcuAddress) {
    std::vector<RegisterRead> reads;
    for (const auto& [first, last] : kLiraRanges) {
        for (uint32_t reg = first; reg <= last; reg += 2) reads.push_back({mcuAddress, static_cast<uint16_t>(reg)});
    }
    return reads;
}

int ExportSensorConfig(const char* where, const std::string& path, const std::string& deviceName,
                       const std::vector<RegisterRead>& reads, const RegisterReader& read) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        SV_LOGE(where, "Fail to write the sensor binary config file. Please ensure the config path is correct.");
        return -1;
    }
    // A name that does not fit keeps its first 19 characters and its ending zero.
    char head[kSensorConfigHeadBytes] = {};
    std::memcpy(head, deviceName.data(), std::min(deviceName.size(), kSensorConfigNameBytes - 1));
    const std::string version = SORVANSDK_VERSION;
    std::memcpy(head + kSensorConfigNameBytes, version.data(),
                std::min(version.size(), kSensorConfigVersionBytes - 1));
    if (!out.write(head, sizeof(head))) {
        SV_LOGE(where, "Fail to write binary file.");
        return -1;
    }
    for (const auto& r : reads) {
        uint8_t bytes[2] = {};
        if (read(r.device, r.reg, bytes) != 0) return -1;
        const char record[kSensorConfigRecordBytes] = {static_cast<char>(r.reg & 0xFF), static_cast<char>(r.reg >> 8),
                                                       static_cast<char>(bytes[0]), static_cast<char>(bytes[1])};
        if (!out.write(record, sizeof(record))) {
            SV_LOGE(where, "Fail to write binary file.");
            return -1;
        }
    }
    out.close();
    if (out.fail()) {
        SV_LOGE(where, "Fail to write binary file.");
        return -1;
    }
    return 0;
}

int DecodeSensorConfig(const std::string& configPath, const std::string& jsonPath) {
    constexpr const char* kWhere = "SvDecodeSensorConfig";
    // The input is read and checked whole before the output is touched, so a
    // bad input never empties an existing JSON file.
    std::vector<uint8_t> file;
    if (!ReadWholeFile(configPath, file)) {
        SV_LOGE(kWhere, "Fail to read the sensor binary config file. Please ensure the config path is correct.");
        return -1;
    }
    if (file.size() < kSensorConfigHeadBytes) {
        SV_LOGE(kWhere, "Sensor config file {} is too short: {} bytes, a file starts with a {}-byte head", configPath,
                file.size(), kSensorConfigHeadBytes);
        return -1;
    }
    if ((file.size() - kSensorConfigHeadBytes) % kSensorConfigRecordBytes != 0) {
        SV_LOGE(kWhere, "Sensor config file {} ends in a partial register record", configPath);
        return -1;
    }
    const auto nameEnd = std::find(file.begin(), file.begin() + kSensorConfigNameBytes, uint8_t{0});
    if (nameEnd == file.begin() + kSensorConfigNameBytes) {
        SV_LOGE(kWhere, "Sensor config file {} has no device name (its name field is not ended)", configPath);
        return -1;
    }
    const std::string deviceName(file.begin(), nameEnd);

    RegisterValues values;
    for (std::size_t at = kSensorConfigHeadBytes; at + kSensorConfigRecordBytes <= file.size();
         at += kSensorConfigRecordBytes) {
        const auto reg = static_cast<uint16_t>(file[at] | file[at + 1] << 8);
        values.Set(reg, static_cast<uint16_t>(file[at + 2] << 8 | file[at + 3]));
    }

    const std::string family = FamilyOf(deviceName);
    const bool kivo = family == "KIVO";
    const bool lira = family == "LIRA" || family == "LUMO";
    RegisterMap map;
    if (kivo || lira) map = BuildRegisterMap(kivo ? SensorFamily::Kivo : SensorFamily::Lira, lira);

    rapidjson::Document doc(rapidjson::kObjectType);
    auto& alloc = doc.GetAllocator();
    for (const auto& [reg, fields] : map) {
        for (const auto& f : fields) {
            if (!doc.HasMember(f.group)) {
                doc.AddMember(rapidjson::Value(f.group, alloc), rapidjson::Value(rapidjson::kObjectType), alloc);
            }
            rapidjson::Value& target = std::strcmp(f.name, "MIPIFreq") == 0 ? doc : doc[f.group];
            AddFieldValue(target, f, values, kivo, alloc);
        }
    }
    rapidjson::Value uvc(rapidjson::kObjectType);
    for (const char* name : {"ExposureTime", "ExposureGain", "ExposureMode", "WhiteBalanceMode",
                             "WhiteBalanceTemperature", "Brightness", "Contrast", "Hue", "Gamma", "Saturation",
                             "Sharpness", "Zoom", "Pan", "Tilt", "BacklightCompensation"}) {
        uvc.AddMember(rapidjson::Value(name, alloc), rapidjson::Value(0), alloc);
    }
    doc.AddMember("UVCProfiles", uvc, alloc);
    doc.AddMember("ProfileName", "SensorConfig", alloc);
    doc.AddMember("ProductName", rapidjson::Value(deviceName.c_str(), alloc), alloc);
    doc.AddMember("GenerateDate", "", alloc);
    doc.AddMember("ControlMode", "ISP", alloc);
    doc.AddMember("ProfileVersion", "", alloc);

    rapidjson::StringBuffer text;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(text);
    doc.Accept(writer);

    std::ofstream out(jsonPath, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        SV_LOGE(kWhere, "Fail to write the json file. Please ensure the json file path is correct.");
        return -1;
    }
    out.write(text.GetString(), static_cast<std::streamsize>(text.GetSize()));
    out.close();
    if (out.fail()) {
        SV_LOGE(kWhere, "Fail to write json file.");
        std::error_code ec;
        std::filesystem::remove(jsonPath, ec);  // no half-written document stays behind
        return -1;
    }
    return 0;
}

}  // namespace sv::formats
