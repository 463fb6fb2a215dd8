#pragma once

// Maker cameras on a one-camera simulated machine, and the register writes a
// piece of work sends, decoded from the simulator's trace.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "camera/CameraFixture.h"
#include "platform/SimTestUtil.h"

namespace svtest {

// A world with one camera; `name` decides the family, `productId` is four hex
// digits, `xu` the model configuration ({"model": "kivo", ...}); `extra` more
// keys of the device (faults).
inline std::string MakerWorldJson(const std::string& name, const std::string& productId, const std::string& xu,
                                  const std::string& extra = "") {
    return R"({"devices": [{"id": "cam", "name": ")" + name + R"(", "vendorId": "3f41", "productId": ")" +
           productId + R"(", "serial": "K7Q2M9P4R8", "formats": [{"subtype": "YUY2", "width": 64, "height": 48}],
             "xu": )" + xu + (extra.empty() ? "" : ", " + extra) + "}]}";
}

// One register write seen on the wire: the register and the first (up to) two
// data bytes, most significant first.
struct RegisterWrite {
    uint16_t reg = 0;
    uint16_t value = 0;
    bool operator==(const RegisterWrite& o) const { return reg == o.reg && value == o.value; }
};

inline std::ostream& operator<<(std::ostream& os, const RegisterWrite& w) {
    char text[32];
    std::snprintf(text, sizeof(text), "{0x%04X <- 0x%04X}", unsigned{w.reg}, unsigned{w.value});
    return os << text;
}

// The extension-unit transfers of one piece of work.
class TransferLog {
public:
    TransferLog(sv::sim::SimBackend& backend, const std::function<void()>& work) {
        TraceCapture trace(backend);
        work();
        trace.Stop();
        for (auto& j : trace.Json()) {
            const std::string op = j.value("op", "");
            if (op == "xu.set" || op == "xu.get") lines_.push_back(std::move(j));
        }
    }

    std::size_t Transfers() const { return lines_.size(); }

    // Payloads (hex, trailing zero bytes left out) of the SET_CURs on `selector`.
    std::vector<std::string> SetPayloads(int selector) const {
        std::vector<std::string> payloads;
        for (const auto& j : lines_) {
            if (j.value("op", "") == "xu.set" && j.value("selector", 0) == selector) payloads.push_back(j.value("payload", ""));
        }
        return payloads;
    }

    // Register writes: ISP register packets (selector 5, 00 first) and generic
    // I2C writes (selector 6, even address byte).
    std::vector<RegisterWrite> Writes() const {
        std::vector<RegisterWrite> writes;
        for (const auto& j : lines_) {
            if (j.value("op", "") != "xu.set") continue;
            std::vector<uint8_t> b = Bytes(j.value("payload", ""));
            const int selector = j.value("selector", 0);
            if (selector == 5) {
                b.resize(5, 0);
                if (b[0] != 0x00) continue;
                writes.push_back({static_cast<uint16_t>(b[1] << 8 | b[2]), static_cast<uint16_t>(b[3] << 8 | b[4])});
            } else if (selector == 6) {
                b.resize(16, 0);
                if ((b[0] & 1) != 0) continue;
                const std::size_t a = b[1];
                const std::size_t data = 4 + a;
                const uint16_t reg = static_cast<uint16_t>(b[a] << 8 | b[a + 1]);  // the address's last two bytes
                const std::size_t n = static_cast<std::size_t>(b[2 + a] << 8 | b[3 + a]);
                const uint16_t value = n >= 2 ? static_cast<uint16_t>(b[data] << 8 | b[data + 1]) : uint16_t{b[data]};
                writes.push_back({reg, value});
            }
        }
        return writes;
    }

private:
    static std::vector<uint8_t> Bytes(const std::string& hex) {
        std::vector<uint8_t> out;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        return out;
    }

    std::vector<nlohmann::json> lines_;
};

// One generic I2C transfer on the wire (a SET_CUR on selector 6): the device,
// its direction, the register address and its length, the byte count, and
// the data bytes of a write.
struct I2cTransfer {
    int device = 0;
    bool write = false;
    int addressLength = 0;
    int reg = 0;
    int length = 0;
    std::vector<uint8_t> data;
};

inline std::vector<I2cTransfer> I2cTransfersOf(const TraceCapture& trace) {
    std::vector<I2cTransfer> out;
    for (const auto& j : trace.Json()) {
        if (j.value("op", "") != "xu.set" || j.value("selector", 0) != 6) continue;
        const std::string hex = j.value("payload", "");
        std::vector<uint8_t> b;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            b.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        }
        b.resize(512, 0);  // the trace leaves trailing zero bytes out
        I2cTransfer t;
        t.device = b[0] >> 1;
        t.write = (b[0] & 1) == 0;
        t.addressLength = b[1];
        std::size_t at = 2;
        for (int i = 0; i < t.addressLength && i < 4; ++i) t.reg = t.reg << 8 | b[at++];
        t.length = b[at] << 8 | b[at + 1];
        at += 2;
        if (t.write) {
            const auto first = b.begin() + static_cast<std::ptrdiff_t>(at);
            t.data.assign(first, first + std::min<std::ptrdiff_t>(t.length, static_cast<std::ptrdiff_t>(b.size() - at)));
        }
        out.push_back(std::move(t));
    }
    return out;
}

class MakerCameraTest : public CameraTest {
protected:
    std::shared_ptr<SvCamera> OpenMaker(const std::string& name, const std::string& productId, const std::string& xu,
                                        const std::string& extra = "") {
        InstallWorld(MakerWorldJson(name, productId, xu, extra));
        auto camera = Camera(name);
        EXPECT_EQ(SvOpen(camera), 0);
        return camera;
    }

    std::vector<RegisterWrite> WritesOf(const std::function<void()>& work) { return TransferLog(*backend_, work).Writes(); }

    // The register writes of setting property `id`, which is to answer `expect`.
    std::vector<RegisterWrite> Set(const std::shared_ptr<SvCamera>& camera, SV_ISP_IMAGE_PROPERTIES id, int value,
                                   int expect = 0) {
        return WritesOf([&] { EXPECT_EQ(SvSetISPImageProcessing(camera, id, value), expect) << id << " " << value; });
    }

    // Property value through the public interface; -1000000 when the read fails.
    int Get(const std::shared_ptr<SvCamera>& camera, SV_ISP_IMAGE_PROPERTIES id) {
        int value = 0;
        int flag = 0;
        return SvGetISPImageProcessing(camera, id, value, flag) == 0 ? value : -1000000;
    }
    int Flag(const std::shared_ptr<SvCamera>& camera, SV_ISP_IMAGE_PROPERTIES id) {
        int value = 0;
        int flag = -1;
        return SvGetISPImageProcessing(camera, id, value, flag) == 0 ? flag : -1;
    }
};

// Whether `text` has a log line that ends with `end`.
inline bool HasLineEnding(const std::string& text, const std::string& end) {
    for (std::size_t at = text.find(end); at != std::string::npos; at = text.find(end, at + 1)) {
        const std::size_t after = at + end.size();
        if (after == text.size() || text[after] == '\r' || text[after] == '\n') return true;
    }
    return false;
}

// Cameras with every control, eHDR included.
inline const char* const kKivoName = "KIVO-AR0821 Camera";
inline const char* const kLiraName = "LIRA-AR0822 Camera";

}  // namespace svtest
