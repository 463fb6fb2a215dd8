#include "platform/sim/MakerModels.h"

#include "platform/sim/LumoLoader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

#include <fmt/format.h>

#include "platform/backend/MfIds.h"
#include "platform/sim/JsonRead.h"

namespace sv::sim {

using nlohmann::json;
using platform::HResult;

namespace {

// Control selectors of the extension unit.
constexpr uint8_t kFirmwareVersion = 0x01;
constexpr uint8_t kProgramMode = 0x02;
constexpr uint8_t kReset = 0x03;
constexpr uint8_t kSensorUid = 0x04;
constexpr uint8_t kIspRegister = 0x05;
constexpr uint8_t kGenericI2c = 0x06;
constexpr uint8_t kOspFlag = 0x07;
constexpr uint8_t kTimestamp = 0x08;
constexpr uint8_t kIspControl = 0x09;
constexpr uint8_t kBslMode = 0x0C;

using platform::ks::kGetCur;
using platform::ks::kSetCur;

// I2C addresses on the sensor boards.
constexpr uint8_t kKivoStore = 0x54;
constexpr uint8_t kKivoStoreHigh = 0x55;  // the store's second 64 KiB answer at the next address
constexpr uint8_t kKivoIsp = 0x3D;
constexpr size_t kStorePage = 128;
constexpr uint8_t kLiraMcu = 0x48;
constexpr uint32_t kLiraHeader = 0x4000;
constexpr uint32_t kLiraIspWindow = 0xF0000000;  // A = 4: 0xF000 followed by the ISP register
constexpr uint16_t kLiraBslMarker = 0xBB;
constexpr uint32_t kLiraProfile = 0x4100;  // the profile block of the LIRA module

// The on-camera profile block: 80 bytes, little-endian fields, a flag byte at 0
// and the sum of bytes 0-77 in bytes 78-79.
constexpr size_t kProfileSize = 80;

// The LUMO module's sensor check and its flash: in normal mode the header
// window (0x4000 on, 16 KiB) shows the flash's bootdata area.
constexpr uint32_t kMcuSidStatus = 0x3006;
constexpr uint32_t kMcuSensorChipId = 0x3008;
constexpr uint32_t kMcuSensorCustomerId = 0x300A;
constexpr uint32_t kLumoBootdataBase = 0x10000;
constexpr uint32_t kLiraHeaderWindow = 0x4000;
constexpr size_t kProfileChecksumAt = 78;

// LIRA microcontroller register file at power-up (16-bit registers at 0x48,
// most significant byte first). Everything else in its space reads 0.
//
//   reg            value           meaning
//   0x3000/0x3002  0x0103 0x0002   module firmware version 1.3.0.2
//   0x300C         0x0001          microcontroller type
//   0x3100/02/04   1920 1080 0x50  output width, height, format UYVY
//   0x3108         0x03E8          USB throughput 1000
//   0x310A         0x001E          maximum frame rate 30
//   0x310C/0x310E  0 1             auto-exposure minimum 1 us
//   0x3110/0x3112  0 0x8235        auto-exposure maximum 33333 us
//   0x3116         0x000C          exposure mode: automatic
//   0x3118/0x311A  0 0x8235        exposure 33333 us
//   0x3124         0x0001          gain 1
//   0x312A/0x312C  0 0x8235        current exposure 33333 us
//   0x312E         0x0001          current gain 1
//   0x3130         0x0F00          backlight compensation 0 (+15, 8.8)
//   0x3136         0x000F          white balance: automatic
//   0x3138         0x1388          white-balance temperature 5000 K
//   0x313E         0x1000          brightness 0 (+1, 4.12)
//   0x3144         0x6000          contrast 1 (+5)
//   0x314A         0x1000          saturation 1
//   0x3150         0x2333          gamma 2.2
//   0x3156/0x315C  0x2000          denoise, sharpness 0 (+2)
//   0x3168         0x0100          digital zoom 1.0
//   0x316E/0x3170  0x0080          pan, tilt 0.5
//   0x3162         0x0000          flip none
//   0x3164         0x0000          special effect none
//   0x3176         0x0100          sensor work mode: active (high byte)
//   0x317C         0x0000          flicker mode off
//   0x3180         0x005A          JPEG quality 90
//   0x3184         0x0000          counter control; bits 0 and 1 of its first byte restart
//                                  the timestamp / frame counter and read back 0
//   0x3186..0x318C live            seconds (32 bits) and fraction (32 bits, 2^-32 s) of device time
//   0x318E         live            frame counter in the high byte, 30 per second of device time
constexpr std::pair<uint16_t, uint16_t> kMcuDefaults[] = {
    {0x3000, 0x0103}, {0x3002, 0x0002}, {0x300C, 0x0001}, {0x3100, 1920},   {0x3102, 1080},
    {0x3104, 0x0050}, {0x3108, 0x03E8}, {0x310A, 0x001E}, {0x310C, 0x0000}, {0x310E, 0x0001},
    {0x3110, 0x0000}, {0x3112, 0x8235}, {0x3116, 0x000C}, {0x3118, 0x0000}, {0x311A, 0x8235},
    {0x3124, 0x0001}, {0x312A, 0x0000}, {0x312C, 0x8235}, {0x312E, 0x0001}, {0x3130, 0x0F00},
    {0x3136, 0x000F}, {0x3138, 0x1388}, {0x313E, 0x1000}, {0x3144, 0x6000}, {0x314A, 0x1000},
    {0x3150, 0x2333}, {0x3156, 0x2000}, {0x315C, 0x2000}, {0x3168, 0x0100}, {0x316E, 0x0080},
    {0x3170, 0x0080}, {0x3176, 0x0100}, {0x3180, 0x005A}, {0x3162, 0x0000}, {0x3164, 0x0000},
    {0x317C, 0x0000}, {0x3184, 0x0000},
};

constexpr uint32_t kMcuCounterControl = 0x3184;
constexpr uint32_t kMcuTimestamp = 0x3186;  // 8 bytes
constexpr uint32_t kMcuFrameCounter = 0x318E;

// ------------------------------------------------------------ configuration

[[noreturn]] void Bad(const std::string& key, const std::string& what) {
    throw std::invalid_argument("xu." + key + ": " + what);
}

using jsonread::TypeName;

void CheckKeys(const json& obj, const std::string& path, std::initializer_list<const char*> allowed) {
    jsonread::CheckKeys(obj, path, allowed, Bad);
}

int64_t Int(const json& v, const std::string& key, int64_t lo, int64_t hi) {
    return jsonread::Int(v, key, lo, hi, Bad);
}

// A 16-bit number given as an integer or as hexadecimal text ("0x5002").
uint16_t Word(const json& v, const std::string& key) {
    if (v.is_string()) {
        std::string s = v.get<std::string>();
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
        if (s.empty() || s.size() > 4 ||
            !std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
            Bad(key, fmt::format("\"{}\" is not a 16-bit hexadecimal number", v.get<std::string>()));
        }
        return static_cast<uint16_t>(std::stoul(s, nullptr, 16));
    }
    return static_cast<uint16_t>(Int(v, key, 0, 0xFFFF));
}

std::vector<uint8_t> Hex(const json& v, const std::string& key) {
    if (!v.is_string()) Bad(key, fmt::format("expected hexadecimal text, found {}", TypeName(v)));
    std::string s;
    for (char c : v.get<std::string>()) {
        if (c == ' ') continue;
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) Bad(key, fmt::format("'{}' is not a hexadecimal digit", c));
        s.push_back(c);
    }
    if (s.size() % 2 != 0) Bad(key, "odd number of hexadecimal digits");
    std::vector<uint8_t> out;
    for (size_t i = 0; i < s.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(s.substr(i, 2), nullptr, 16)));
    return out;
}

template <size_t N>
std::array<uint8_t, N> HexArray(const json& v, const std::string& key) {
    const std::vector<uint8_t> bytes = Hex(v, key);
    if (bytes.size() != N) Bad(key, fmt::format("expected {} bytes ({} hexadecimal digits), found {}", N, 2 * N, bytes.size()));
    std::array<uint8_t, N> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

template <size_t N>
std::array<uint8_t, N> ByteList(const json& v, const std::string& key) {
    if (!v.is_array() || v.size() != N) Bad(key, fmt::format("expected an array of {} numbers", N));
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(Int(v[i], fmt::format("{}[{}]", key, i), 0, 255));
    return out;
}

std::string Text(const json& v, const std::string& key, size_t room) {
    if (!v.is_string()) Bad(key, fmt::format("expected a string, found {}", TypeName(v)));
    const std::string s = v.get<std::string>();
    if (s.size() > room) Bad(key, fmt::format("longer than {} bytes", room));
    return s;
}

bool Bool(const json& v, const std::string& key) {
    if (!v.is_boolean()) Bad(key, fmt::format("expected a boolean, found {}", TypeName(v)));
    return v.get<bool>();
}

// A count, or the word that means "never".
int CountOr(const json& v, const std::string& key, const char* never) {
    if (v.is_string() && v.get<std::string>() == never) return -1;
    if (v.is_string()) Bad(key, fmt::format("\"{}\" is neither a count nor \"{}\"", v.get<std::string>(), never));
    return static_cast<int>(Int(v, key, 0, 1000));
}

std::array<uint8_t, 4> FirmwareVersion(const json& v, const std::string& key) {
    if (!v.is_string()) Bad(key, fmt::format("expected \"a.b.c.d\", found {}", TypeName(v)));
    const std::string s = v.get<std::string>();
    std::array<uint8_t, 4> out{};
    size_t at = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t dot = i < 3 ? s.find('.', at) : s.size();
        const std::string part = dot == std::string::npos ? std::string() : s.substr(at, dot - at);
        if (part.empty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) ||
            std::stoul(part) > 255) {
            Bad(key, fmt::format("\"{}\" is not four numbers 0-255 joined by dots", s));
        }
        out[i] = static_cast<uint8_t>(std::stoul(part));
        at = dot + 1;
    }
    return out;
}

std::map<uint16_t, uint16_t> Registers(const json& v, const std::string& key) {
    if (!v.is_object()) Bad(key, fmt::format("expected an object, found {}", TypeName(v)));
    std::map<uint16_t, uint16_t> out;
    for (auto it = v.begin(); it != v.end(); ++it) {
        const std::string where = key + "." + it.key();
        const uint16_t reg = Word(json(it.key()), where);
        if (reg % 2 != 0) Bad(where, "registers sit at even addresses");
        out[reg] = Word(*it, where);
    }
    return out;
}

struct ModelConfig {
    std::array<uint8_t, 4> firmware{};
    std::vector<uint8_t> bslPassword = std::vector<uint8_t>(32, 0xFF);  // an erased loader's
    bool bslSync = false;  // loader mode needs the off/on cycle and a sync packet
    uint32_t bslCrcError = 0;  // bits the loader's CRC answers get wrong
    bool storeWriteProtect = false;  // KIVO store: writes acknowledged, nothing stored
    int sidPolls = 1;      // reads of 0x3006 that still show the sensor check running
    bool blankHeader = false;
    std::vector<uint8_t> headerBytes;  // given as hex: stored as is
    maker::HeaderFields header;
    bool headerFuseGiven = false;
    maker::SensorConfig sensor;
    maker::Ap1302Config isp;
    std::map<uint16_t, uint16_t> mcu;
    bool profileBlank = false;          // "profile": "blank": the block area stays as the store has it
    std::vector<uint8_t> profileBytes;  // "profile": {"hex": ...}: these 80 bytes as the block
};

void ParseHeader(const json& h, ModelConfig& c) {
    if (!h.is_object()) Bad("header", fmt::format("expected an object, found {}", TypeName(h)));
    CheckKeys(h, "header",
              {"version", "hex", "productName", "headInfo", "productVersion", "lensVersion", "contentVersion",
               "contentOffset", "contentLen", "pllBootdataLen", "sensorType", "fuseId", "lensId", "znFwVersion",
               "vendorFwVersion", "customNumber", "recordDate", "mipiDatarate", "fixChecksum", "badChecksum"});
    maker::HeaderFields& f = c.header;
    if (auto it = h.find("hex"); it != h.end()) {
        if (h.size() != 1) Bad("header.hex", "stands alone: the bytes are stored as given");
        c.headerBytes = Hex(*it, "header.hex");
        if (c.headerBytes.size() > 0x4000) Bad("header.hex", "more than 16384 bytes");
        return;
    }
    if (auto it = h.find("version"); it != h.end()) {
        if (it->is_string() && it->get<std::string>() == "blank") {
            c.blankHeader = true;
        } else if (!it->is_number_integer() || (it->get<int64_t>() != 2 && it->get<int64_t>() != 3)) {
            Bad("header.version", "expected 2, 3 or \"blank\"");
        } else {
            f.version = static_cast<int>(it->get<int64_t>());
        }
    }
    for (auto it = h.begin(); it != h.end(); ++it) {
        const std::string& k = it.key();
        const std::string key = "header." + k;
        const json& v = *it;
        if (k == "productName") f.productName = Text(v, key, 64);
        else if (k == "headInfo") f.headInfo = Text(v, key, 64);
        else if (k == "productVersion") f.productVersion = static_cast<uint8_t>(Int(v, key, 0, 255));
        else if (k == "lensVersion") f.lensVersion = static_cast<uint8_t>(Int(v, key, 0, 255));
        else if (k == "contentVersion") f.contentVersion = static_cast<uint8_t>(Int(v, key, 0, 255));
        else if (k == "contentOffset") f.contentOffset = Word(v, key);
        else if (k == "contentLen") f.contentLen = static_cast<uint32_t>(Int(v, key, 0, 0xFFFF));
        else if (k == "pllBootdataLen") f.pllBootdataLen = Word(v, key);
        else if (k == "sensorType") f.sensorType = Word(v, key);
        else if (k == "fuseId") { f.fuseId = HexArray<16>(v, key); c.headerFuseGiven = true; }
        else if (k == "lensId") f.lensId = HexArray<16>(v, key);
        else if (k == "znFwVersion") f.znFwVersion = ByteList<2>(v, key);
        else if (k == "vendorFwVersion") f.vendorFwVersion = Word(v, key);
        else if (k == "customNumber") f.customNumber = Word(v, key);
        else if (k == "recordDate") f.recordDate = ByteList<6>(v, key);
        else if (k == "mipiDatarate") f.mipiDatarate = Word(v, key);
        else if (k == "fixChecksum") f.fixChecksum = Word(v, key);
        else if (k == "badChecksum") f.badChecksum = Bool(v, key);
    }
}

void ParseSensor(const json& s, ModelConfig& c) {
    if (!s.is_object()) Bad("sensor", fmt::format("expected an object, found {}", TypeName(s)));
    CheckKeys(s, "sensor", {"id", "chipId", "customerId", "fuseId", "absent"});
    if (auto it = s.find("customerId"); it != s.end()) c.sensor.customerId = Word(*it, "sensor.customerId");
    if (auto it = s.find("id"); it != s.end()) c.sensor.id = static_cast<uint8_t>(Int(*it, "sensor.id", 0, 255));
    if (auto it = s.find("chipId"); it != s.end()) c.sensor.chipId = Word(*it, "sensor.chipId");
    if (auto it = s.find("fuseId"); it != s.end()) c.sensor.fuseId = HexArray<16>(*it, "sensor.fuseId");
    if (auto it = s.find("absent"); it != s.end()) c.sensor.present = !Bool(*it, "sensor.absent");
}

ModelConfig Parse(MakerXuModel::Family family, const json& config) {
    const bool kivo = family == MakerXuModel::Family::Kivo;
    ModelConfig c;
    // Defaults of the two families.
    if (kivo) {
        c.firmware = {24, 7, 3, 1};
        c.header.version = 2;
        c.header.productName = "KIVO-AR0234";
        c.header.headInfo = "KANO bootdata AR0234 1920x1200";
        c.sensor.id = 0x20;
        c.sensor.chipId = 0x0A56;
        c.sensor.fuseId = {0x3A, 0x7F, 0x0A, 0x56, 0x12, 0xC4, 0xE8, 0x9B,
                           0x05, 0xD2, 0x1F, 0x6E, 0x7C, 0x3B, 0x4A, 0x90};
    } else {
        c.firmware = {23, 11, 5, 0};
        c.header.version = 3;
        c.header.productName = "LIRA-OX05B";
        c.header.sensorType = 0x5805;
        c.header.lensId = {'L', 'N', 'S', '-', 'O', 'X', '0', '5', 'B', '-', '0', '1', 0, 0, 0, 0};
        c.sensor.id = 0x6C;
        c.sensor.chipId = 0x5805;
        c.sensor.fuseId = {0x5B, 0x05, 0xE2, 0xD4, 0xC6, 0xA8, 0x19, 0x3F,
                           0x7D, 0x0B, 0x4E, 0x6A, 0x21, 0xC3, 0xF8, 0x59};
    }
    if (!config.is_object()) Bad("", "expected an object");
    CheckKeys(config, "",
              {"firmwareVersion", "header", "sensor", "bridgePolls", "standby", "wakeReads", "ispRegisters",
               "mcuRegisters", "profile", "bslPassword", "bslSync", "sidPolls", "bslCrcError", "storeWriteProtect"});
    if (!kivo) {
        if (auto it = config.find("bslPassword"); it != config.end()) {
            c.bslPassword = Hex(*it, "bslPassword");
            if (c.bslPassword.size() != 32) Bad("bslPassword", "expected 32 bytes");
        }
        if (auto it = config.find("bslSync"); it != config.end()) c.bslSync = Bool(*it, "bslSync");
        if (auto it = config.find("sidPolls"); it != config.end()) c.sidPolls = static_cast<int>(Int(*it, "sidPolls", 0, 1000));
        if (auto it = config.find("bslCrcError"); it != config.end()) {
            c.bslCrcError = static_cast<uint32_t>(Int(*it, "bslCrcError", 0, 0xFFFFFFFFll));
        }
        if (config.contains("storeWriteProtect")) Bad("storeWriteProtect", "only the kivo model has a bootdata store");
    } else {
        for (const char* key : {"bslPassword", "bslSync", "sidPolls", "bslCrcError"}) {
            if (config.contains(key)) Bad(key, "only the lira model has a bootstrap loader");
        }
        if (auto it = config.find("storeWriteProtect"); it != config.end()) {
            c.storeWriteProtect = Bool(*it, "storeWriteProtect");
        }
    }
    if (auto it = config.find("firmwareVersion"); it != config.end()) c.firmware = FirmwareVersion(*it, "firmwareVersion");
    if (auto it = config.find("sensor"); it != config.end()) ParseSensor(*it, c);
    if (auto it = config.find("header"); it != config.end()) ParseHeader(*it, c);
    if (!c.headerFuseGiven) c.header.fuseId = c.sensor.fuseId;
    if (auto it = config.find("bridgePolls"); it != config.end()) c.isp.bridgePolls = CountOr(*it, "bridgePolls", "stuck");
    if (auto it = config.find("standby"); it != config.end()) c.isp.standby = Bool(*it, "standby");
    if (auto it = config.find("wakeReads"); it != config.end()) c.isp.wakeReads = CountOr(*it, "wakeReads", "never");
    if (auto it = config.find("ispRegisters"); it != config.end()) c.isp.overrides = Registers(*it, "ispRegisters");
    if (auto it = config.find("mcuRegisters"); it != config.end()) {
        if (kivo) Bad("mcuRegisters", "only the lira model has a microcontroller");
        c.mcu = Registers(*it, "mcuRegisters");
    }
    if (auto it = config.find("profile"); it != config.end()) {
        if (it->is_string() && it->get<std::string>() == "blank") {
            c.profileBlank = true;
        } else if (it->is_object()) {
            CheckKeys(*it, "profile", {"hex"});
            const auto hex = it->find("hex");
            if (hex == it->end()) Bad("profile", "expected \"blank\" or {\"hex\": ...}");
            c.profileBytes = Hex(*hex, "profile.hex");
            if (c.profileBytes.size() != kProfileSize) {
                Bad("profile.hex", fmt::format("expected {} bytes, found {}", kProfileSize, c.profileBytes.size()));
            }
        } else {
            Bad("profile", fmt::format("expected \"blank\" or an object, found {}", TypeName(*it)));
        }
    }
    return c;
}

uint32_t BigEndian(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

std::string Hex16(const uint8_t* p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += fmt::format("{:02x}", p[i]);
    return s;
}

void Append(std::string& note, const std::string& more) {
    if (more.empty()) return;
    if (!note.empty()) note += "; ";
    note += more;
}

}  // namespace

MakerXuModel::MakerXuModel(Family family, const json& config) : family_(family) {
    const ModelConfig c = Parse(family, config);
    firmware_ = c.firmware;
    storeWriteProtect_ = c.storeWriteProtect;
    uid_ = c.sensor.fuseId;
    isp_ = std::make_unique<maker::Ap1302>(c.isp, c.sensor);
    const bool kivo = family == Family::Kivo;
    // An erased store reads 0xFF; the microcontroller's unused space reads 0.
    // The KIVO store is 128 KiB: 0x54 answers for the first half, 0x55 for the second.
    store_.assign(kivo ? 0x20000 : 0x10000, kivo ? 0xFF : 0x00);
    const size_t headerAt = kivo ? 0 : kLiraHeader;
    if (!kivo) {
        for (const auto& [reg, value] : kMcuDefaults) {
            store_[reg] = static_cast<uint8_t>(value >> 8);
            store_[reg + 1u] = static_cast<uint8_t>(value);
        }
        for (const auto& [reg, value] : c.mcu) {
            store_[reg] = static_cast<uint8_t>(value >> 8);
            store_[static_cast<uint16_t>(reg + 1)] = static_cast<uint8_t>(value);
        }
    }
    std::vector<uint8_t> bootdata;
    if (c.blankHeader) {
        bootdata.assign(maker::kHeaderV2Size, 0xFF);
    } else if (!c.headerBytes.empty()) {
        bootdata = c.headerBytes;
    } else {
        bootdata = maker::BuildBootdata(c.header);
    }
    const size_t room = kivo ? 0x10000 : 0x4000;  // the KIVO header store device; the LIRA header area ends at 0x4000
    if (bootdata.size() > room) {
        throw std::invalid_argument(fmt::format("xu.header: {} bytes of bootdata do not fit the store", bootdata.size()));
    }
    std::copy(bootdata.begin(), bootdata.end(), store_.begin() + static_cast<std::ptrdiff_t>(headerAt));
    PlaceProfile(c.profileBlank, c.profileBytes);
    if (!kivo) {
        loader_ = std::make_unique<maker::LumoLoader>(c.bslPassword);
        loader_->SetCrcError(c.bslCrcError);
        bslSync_ = c.bslSync;
        sidPolls_ = c.sidPolls;
        PutMcuWord(kMcuSensorChipId, c.sensor.chipId);
        PutMcuWord(kMcuSensorCustomerId, c.sensor.customerId);
        // The flash holds what the module runs: its bootdata area starts as
        // the header window shows it.
        std::copy(store_.begin() + kLiraHeader, store_.begin() + kLiraHeader + kLiraHeaderWindow,
                  loader_->Flash().begin() + kLumoBootdataBase);
    }
}

void MakerXuModel::PlaceProfile(bool blank, const std::vector<uint8_t>& given) {
    const bool kivo = family_ == Family::Kivo;
    if (kivo) {
        // The block follows the bootdata content: content offset plus content
        // length of the header in the store, in the store's second half from
        // 0xFFFF on. Without a version 2 or 3 header there is no block.
        const uint8_t version = store_[0];
        if (version != 2 && version != 3) return;
        const uint32_t offset = static_cast<uint32_t>(store_[1] | store_[2] << 8);
        const size_t lenAt = version == 3 ? 117 : 138;
        uint32_t length = 0;
        for (size_t i = 0; i < 4; ++i) length |= static_cast<uint32_t>(store_[lenAt + i]) << (8 * i);
        const uint64_t address = uint64_t{offset} + length;
        profileBase_ = address >= 0xFFFF ? 0x10000 : 0;
        profileReg_ = static_cast<uint16_t>(address & 0xFFFF);
    } else {
        profileBase_ = 0;
        profileReg_ = static_cast<uint16_t>(kLiraProfile);
    }
    hasProfile_ = true;
    if (blank) return;
    std::vector<uint8_t> block = given;
    if (block.empty()) {
        // The output the module starts with: KIVO 1920x1200, LIRA 1920x1080.
        block = maker::FactoryProfileBlock(!kivo, 1920, kivo ? 1200 : 1080);
    }
    for (size_t i = 0; i < kProfileSize; ++i) ProfileByte(i) = block[i];
}

uint8_t& MakerXuModel::ProfileByte(size_t i) {
    return store_[profileBase_ + ((profileReg_ + i) & 0xFFFF)];
}

void MakerXuModel::OutputFormatChanged(uint32_t width, uint32_t height, const std::string& subtype) {
    // Format codes of the output registers: 0x50 packed 4:2:2, 0x01 JPEG;
    // anything else the ISP reports as 0.
    const uint16_t code = subtype == "UYVY" || subtype == "YUY2" ? 0x0050 : subtype == "MJPG" ? 0x0001 : 0x0000;
    const uint16_t words[3] = {static_cast<uint16_t>(width), static_cast<uint16_t>(height), code};
    if (family_ == Family::Kivo) {
        const uint16_t regs[3] = {0x2000, 0x2002, 0x2012};
        for (size_t i = 0; i < 3; ++i) isp_->Write(regs[i], words[i], 0);
        return;
    }
    const uint16_t regs[3] = {0x3100, 0x3102, 0x3104};
    for (size_t i = 0; i < 3; ++i) {
        store_[regs[i]] = static_cast<uint8_t>(words[i] >> 8);
        store_[regs[i] + 1u] = static_cast<uint8_t>(words[i]);
    }
}

size_t MakerXuModel::PacketSize() const { return firmware_[0] > 23 || firmware_[1] > 11 ? 256 : 512; }

HResult MakerXuModel::Transfer(XuTransfer& t, XuHost& host, std::string& note) {
    const bool set = t.request == kSetCur;
    const bool get = t.request == kGetCur;
    const bool kivo = family_ == Family::Kivo;
    auto stall = [&](std::string why) {
        note = std::move(why);
        return platform::HR_ERROR_GEN_FAILURE;
    };
    // Fixed-size selectors: direction and length.
    auto shape = [&](bool wantSet, uint16_t length) {
        if (wantSet ? !set : !get) return false;
        return t.length == length;
    };
    if (t.length > 0 && t.data == nullptr) return stall("no payload");
    switch (t.selector) {
        case kFirmwareVersion:
            if (!shape(false, 4)) return stall("firmware version: GET_CUR of 4 bytes only");
            std::copy(firmware_.begin(), firmware_.end(), t.data);
            return platform::HR_S_OK;
        case kProgramMode:
            if (!shape(true, 1) || t.data[0] != 0x01) return stall("program mode: SET_CUR 01 only");
            note = "program mode: the camera leaves the bus";
            host.EnterProgramMode();
            return platform::HR_S_OK;
        case kReset:
            if (!shape(true, 1) || t.data[0] != 0x01) return stall("reset: SET_CUR 01 only");
            packet_.fill(0);
            isp_->ResetTransient();
            if (loader_) SetLoaderLine(false);
            note = "reset";
            return platform::HR_S_OK;
        case kSensorUid:
            if (!shape(false, 16)) return stall("sensor uid: GET_CUR of 16 bytes only");
            if (!isp_->SensorChip().Present()) return stall("sensor uid: the sensor does not answer");
            std::copy(uid_.begin(), uid_.end(), t.data);
            return platform::HR_S_OK;
        case kIspRegister:
            if (!kivo) return stall("no ISP register packet on this camera");
            return IspPacket(t, host, note);
        case kGenericI2c:
            return GenericI2c(t, host, note);
        case kOspFlag:
            if (!shape(true, 1)) return stall("profile flag: SET_CUR of 1 byte only");
            ospFlag_ = t.data[0];
            note = fmt::format("profile flag {}", ospFlag_);
            if (hasProfile_) {
                // The firmware keeps the flag in byte 0 of the block and the
                // block's checksum in step with it.
                ProfileByte(0) = ospFlag_;
                uint32_t sum = 0;
                for (size_t i = 0; i < kProfileChecksumAt; ++i) sum += ProfileByte(i);
                ProfileByte(kProfileChecksumAt) = static_cast<uint8_t>(sum);
                ProfileByte(kProfileChecksumAt + 1) = static_cast<uint8_t>(sum >> 8);
                note += fmt::format(" stored at 0x{:02x}:0x{:04x}", profileBase_ ? kKivoStoreHigh : (family_ == Family::Kivo ? kKivoStore : kLiraMcu), profileReg_);
            }
            return platform::HR_S_OK;
        case kTimestamp: {
            if (!shape(false, 8)) return stall("timestamp: GET_CUR of 8 bytes only");
            // Frames at 30 per second and milliseconds, both of device time.
            const int64_t now = host.NowUs();
            const uint32_t frames = static_cast<uint32_t>(now * 30 / 1000000);
            const uint32_t ms = static_cast<uint32_t>(now / 1000);
            for (size_t i = 0; i < 4; ++i) {
                t.data[i] = static_cast<uint8_t>(frames >> (24 - 8 * i));
                t.data[4 + i] = static_cast<uint8_t>(ms >> (24 - 8 * i));
            }
            return platform::HR_S_OK;
        }
        case kIspControl:
            if (!shape(true, 1) || t.data[0] > 1) return stall("ISP control: SET_CUR 00 or 01 only");
            ispControl_ = t.data[0];
            note = ispControl_ ? "ISP control line up" : "ISP control line down";
            return platform::HR_S_OK;
        case kBslMode:
            if (kivo) return stall("no bootstrap loader on this camera");
            if (!shape(true, 1) || t.data[0] > 1) return stall("BSL mode: SET_CUR 00 or 01 only");
            SetLoaderLine(t.data[0] == 1);
            note = bslMode_ ? "BSL mode entered" : bslLine_ ? "BSL mode requested: waiting for the sync packet"
                                                           : "BSL mode left";
            return platform::HR_S_OK;
        default:
            break;
    }
    return stall(fmt::format("unknown selector 0x{:02x}", t.selector));
}

HResult MakerXuModel::IspPacket(XuTransfer& t, XuHost& host, std::string& note) {
    if (t.length != 5) {
        note = fmt::format("ISP register packet of {} bytes; it takes 5", t.length);
        return platform::HR_ERROR_GEN_FAILURE;
    }
    if (t.request == kGetCur) {
        std::copy(packet_.begin(), packet_.begin() + 5, t.data);
        return platform::HR_S_OK;
    }
    // What the host sends lands in the one buffer, answers are built in place.
    std::copy(t.data, t.data + 5, packet_.begin());
    const uint16_t reg = static_cast<uint16_t>(t.data[1] << 8 | t.data[2]);
    const int64_t now = host.NowUs();
    if (t.data[0] == 0x01) {
        const uint16_t value = isp_->Read(reg, now);
        packet_[3] = static_cast<uint8_t>(value >> 8);
        packet_[4] = static_cast<uint8_t>(value);
        note = fmt::format("ISP 0x{:04x} -> 0x{:04x}", reg, value);
    } else if (t.data[0] == 0x00) {
        const uint16_t value = static_cast<uint16_t>(t.data[3] << 8 | t.data[4]);
        isp_->Write(reg, value, now);
        note = fmt::format("ISP 0x{:04x} <- 0x{:04x}", reg, value);
    } else {
        note = fmt::format("ISP register packet: 0x{:02x} is neither read nor write", t.data[0]);
        return platform::HR_ERROR_GEN_FAILURE;
    }
    Append(note, isp_->TakeNote());
    return platform::HR_S_OK;
}

HResult MakerXuModel::GenericI2c(XuTransfer& t, XuHost& host, std::string& note) {
    const size_t size = PacketSize();
    if (t.length != size) {
        note = fmt::format("I2C packet of {} bytes; this firmware takes {}", t.length, size);
        return platform::HR_ERROR_GEN_FAILURE;
    }
    if (t.request == kGetCur) {
        std::copy(packet_.begin(), packet_.begin() + static_cast<std::ptrdiff_t>(size), t.data);
        return platform::HR_S_OK;
    }
    std::copy(t.data, t.data + size, packet_.begin());
    std::fill(packet_.begin() + static_cast<std::ptrdiff_t>(size), packet_.end(), 0);
    const uint8_t device = static_cast<uint8_t>(t.data[0] >> 1);
    const bool read = (t.data[0] & 1) != 0;
    const uint8_t a = t.data[1];
    if (a != 1 && a != 2 && a != 4) {
        note = fmt::format("I2C packet: register-address length {}", a);
        return platform::HR_ERROR_GEN_FAILURE;
    }
    const uint32_t reg = BigEndian(t.data + 2, a);
    const size_t n = BigEndian(t.data + 2 + a, 2);
    if (4 + a + n > size) {
        note = fmt::format("I2C packet: {} data bytes do not fit", n);
        return platform::HR_ERROR_GEN_FAILURE;
    }
    const int64_t now = host.NowUs();
    const size_t at = 4u + a;
    bool acked = false;
    if (read) {
        std::fill(packet_.begin() + static_cast<std::ptrdiff_t>(at), packet_.end(), 0);
        acked = I2cRead(device, a, reg, packet_.data() + at, n, now);
        note = fmt::format("I2C read 0x{:02x} reg 0x{:0{}x} n {}", device, reg, 2 * a, n);
        if (acked && n > 0) Append(note, Hex16(packet_.data() + at, std::min<size_t>(n, 8)) + (n > 8 ? "..." : ""));
    } else {
        acked = I2cWrite(device, a, reg, t.data + at, n, now);
        note = fmt::format("I2C write 0x{:02x} reg 0x{:0{}x} n {}", device, reg, 2 * a, n);
    }
    Append(note, isp_->TakeNote());
    if (!loaderNote_.empty()) {
        Append(note, loaderNote_);
        loaderNote_.clear();
    }
    if (!acked) {
        Append(note, "no acknowledge");
        return platform::HR_ERROR_GEN_FAILURE;
    }
    return platform::HR_S_OK;
}

bool MakerXuModel::I2cRead(uint8_t device, uint8_t a, uint32_t reg, uint8_t* out, size_t count, int64_t now) {
    if (family_ == Family::Kivo) {
        if ((device == kKivoStore || device == kKivoStoreHigh) && a <= 2) {
            const size_t base = device == kKivoStoreHigh ? 0x10000 : 0;
            for (size_t i = 0; i < count; ++i) out[i] = store_[base + ((reg + i) & 0xFFFF)];
            return true;
        }
        if (device == kKivoIsp && a == 2) {
            isp_->ReadBytes(static_cast<uint16_t>(reg), out, count, now);
            return true;
        }
        return false;
    }
    if (device != kLiraMcu) return false;
    if (a == 4) {
        if ((reg & 0xFFFF0000) != kLiraIspWindow) return false;
        isp_->ReadBytes(static_cast<uint16_t>(reg), out, count, now);
        return true;
    }
    if (bslLine_ && a == 2 && (reg >> 8) == 0x80) {
        loader_->Read(out, count);
        return true;
    }
    if (a == 2 && reg == kMcuSidStatus && sidLeft_ >= 0) {
        // The sensor check runs for a number of reads, then reads done.
        if (sidLeft_ == 0) {
            PutMcuWord(kMcuSidStatus, 0);
            sidLeft_ = -1;
        } else {
            --sidLeft_;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const uint32_t at = (reg + i) & 0xFFFF;
        out[i] = bslMode_ && a == 1 && at == kLiraBslMarker ? 0x51 : McuByte(at, now);
    }
    return true;
}

void MakerXuModel::PutMcuWord(uint32_t reg, uint16_t value) {
    store_[reg & 0xFFFF] = static_cast<uint8_t>(value >> 8);
    store_[(reg + 1) & 0xFFFF] = static_cast<uint8_t>(value);
}

void MakerXuModel::SetLoaderLine(bool on) {
    const bool wasInLoader = bslMode_;
    bslLine_ = on;
    if (!on) bslSynced_ = false;
    bslMode_ = on && (!bslSync_ || bslSynced_);
    if (wasInLoader && !bslMode_) Boot();
}

void MakerXuModel::Boot() {
    // The module leaves its loader and runs what the flash holds.
    loader_->Lock();
    const auto& flash = loader_->Flash();
    std::copy(flash.begin() + kLumoBootdataBase, flash.begin() + kLumoBootdataBase + kLiraHeaderWindow,
              store_.begin() + kLiraHeader);
}

uint8_t MakerXuModel::McuByte(uint32_t at, int64_t now) const {
    if (at >= kMcuTimestamp && at < kMcuTimestamp + 8) {
        return static_cast<uint8_t>(maker::FixedPointTime(now, mcuTimestampBaseUs_) >> (56 - 8 * (at - kMcuTimestamp)));
    }
    if (at == kMcuFrameCounter) return maker::FrameCount(now, mcuFrameBaseUs_);
    if (at == kMcuFrameCounter + 1) return 0;
    return store_[at];
}

bool MakerXuModel::I2cWrite(uint8_t device, uint8_t a, uint32_t reg, const uint8_t* data, size_t count,
                            int64_t now) {
    if (family_ == Family::Kivo) {
        if ((device == kKivoStore || device == kKivoStoreHigh) && a <= 2) {
            if (count > kStorePage) return false;  // the store takes at most a page per write
            if (storeWriteProtect_) return true;   // acknowledged, not programmed
            const size_t base = device == kKivoStoreHigh ? 0x10000 : 0;
            for (size_t i = 0; i < count; ++i) store_[base + ((reg + i) & 0xFFFF)] = data[i];
            return true;
        }
        if (device == kKivoIsp && a == 2) {
            isp_->WriteBytes(static_cast<uint16_t>(reg), data, count, now);
            return true;
        }
        return false;
    }
    if (device != kLiraMcu) return false;
    if (a == 4) {
        if ((reg & 0xFFFF0000) != kLiraIspWindow) return false;
        isp_->WriteBytes(static_cast<uint16_t>(reg), data, count, now);
        return true;
    }
    if (bslLine_ && a == 2 && (reg >> 8) == 0x80) {
        loader_->Write(static_cast<uint16_t>(reg), data, count, loaderNote_);
        if (count >= 2 && data[1] == 0x12) {
            bslSynced_ = true;  // a sync packet completes a requested entry
            bslMode_ = bslLine_;
        }
        if (loader_->TakeStart()) {
            bslMode_ = false;
            bslSynced_ = false;
            Boot();
        }
        return true;
    }
    if (a == 2 && reg == kMcuSidStatus && count == 2 && data[0] == 0x00 && data[1] == 0x01) {
        PutMcuWord(kMcuSidStatus, 0x0001);
        sidLeft_ = sidPolls_;
        return true;
    }
    for (size_t i = 0; i < count; ++i) store_[(reg + i) & 0xFFFF] = data[i];
    if (reg <= kMcuCounterControl && reg + count > kMcuCounterControl) {
        uint8_t& control = store_[kMcuCounterControl];
        if ((control & 0x01) != 0) mcuTimestampBaseUs_ = now;
        if ((control & 0x02) != 0) mcuFrameBaseUs_ = now;
        control = static_cast<uint8_t>(control & ~0x03);
    }
    return true;
}

}  // namespace sv::sim
