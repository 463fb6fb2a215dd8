#include "kernel/GadgetOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace sv::gadget {

namespace {

// A whole number, decimal or 0x-hex, at most `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v > max) return false;
    value = v;
    return true;
}

}  // namespace

const char* const kUsage =
    "usage: sv_uvc_gadget [--world FILE] [--device N|ID] [--gadget-dir DIR] [--udc NAME]\n"
    "                     [--endpoint NAME] [--clock simulated|real] [--verbose]\n"
    "                     [--stall-control UNIT:SELECTOR]... [--short-frame N[,N...]]...\n"
    "                     [--leave-after-frames N]\n"
    "  --stall-control UNIT:SELECTOR  stall every class request to that control (units: camera\n"
    "                                 terminal 1, processing unit 2, extension unit 3); a SET_CUR's\n"
    "                                 data is taken all the same, its error code reads 0xff\n"
    "  --short-frame N[,N...]         send frame N of each stream (from 0) with half its bytes\n"
    "  --leave-after-frames N         after N frames of a stream leave the bus and exit 0\n";

bool Faults::ShortFrame(uint64_t frame) const {
    return std::find(shortFrames.begin(), shortFrames.end(), frame) != shortFrames.end();
}

bool ParseControlId(const std::string& text, ControlId& id) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    uint64_t unit = 0, selector = 0;
    if (!ParseNumber(text.substr(0, colon), 3, unit) || unit < 1) return false;
    if (!ParseNumber(text.substr(colon + 1), 255, selector) || selector < 1) return false;
    id.unit = static_cast<uint8_t>(unit);
    id.selector = static_cast<uint8_t>(selector);
    return true;
}

bool ParseFrameList(const std::string& text, std::vector<uint64_t>& frames) {
    std::vector<uint64_t> out;
    size_t at = 0;
    for (;;) {
        const size_t comma = text.find(',', at);
        uint64_t frame = 0;
        if (!ParseNumber(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at), UINT32_MAX,
                         frame)) {
            return false;
        }
        out.push_back(frame);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    frames.insert(frames.end(), out.begin(), out.end());
    return true;
}

bool ParseOptions(int argc, const char* const* argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = nullptr;
        auto next = [&]() -> const char* { return v = (i + 1 < argc ? argv[++i] : nullptr); };
        auto bad = [&](const char* what) {
            error = v == nullptr ? a + ": no value" : a + " " + v + ": " + what;
            return false;
        };
        if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--world" || a == "--device" || a == "--gadget-dir" || a == "--udc" || a == "--endpoint") {
            if (!next()) return bad("");
            std::string& field = a == "--world" ? o.world
                                 : a == "--device" ? o.device
                                 : a == "--gadget-dir" ? o.gadgetDir
                                 : a == "--udc" ? o.udc
                                                  : o.endpoint;
            field = v;
        } else if (a == "--clock") {
            if (!next()) return bad("");
            const std::string clock = v;
            if (clock != "simulated" && clock != "real") return bad("not simulated or real");
            o.simulatedClock = clock == "simulated";
        } else if (a == "--stall-control") {
            ControlId id;
            if (!next()) return bad("");
            if (!ParseControlId(v, id)) return bad("not UNIT:SELECTOR with unit 1..3, selector 1..255");
            o.faults.stalledControls.push_back(id);
        } else if (a == "--short-frame") {
            if (!next()) return bad("");
            if (!ParseFrameList(v, o.faults.shortFrames)) return bad("not a frame number or a list of them");
        } else if (a == "--leave-after-frames") {
            uint64_t n = 0;
            if (!next()) return bad("");
            if (!ParseNumber(v, UINT32_MAX, n) || n < 1) return bad("not a number of frames from 1");
            o.faults.leaveAfterFrames = n;
        } else {
            error = a + ": unknown option";
            return false;
        }
    }
    return true;
}

std::vector<Payload> PackShortFrame(size_t frameLength, bool frameId, size_t maxPayload, size_t packet) {
    return PackFrame(ShortFrameLength(frameLength), frameId, maxPayload, packet);
}

}  // namespace sv::gadget
