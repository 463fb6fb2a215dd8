#pragma once

// The software camera's command line, and the faults it can be told to
// show the host: controls whose requests it stalls, frames of a stream it
// sends cut short, and the frame after which it leaves the bus.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kernel/UvcFunction.h"
#include "kernel/UvcPayload.h"

namespace sv::gadget {

struct Faults {
    std::vector<ControlId> stalledControls;  // every class request to these is stalled
    std::vector<uint64_t> shortFrames;       // frames of a stream (from 0) sent cut short
    std::optional<uint64_t> leaveAfterFrames;  // frames of a stream after which the device leaves

    bool ShortFrame(uint64_t frame) const;
    // True when the device leaves the bus once `sent` frames of a stream are out.
    bool LeaveAfter(uint64_t sent) const { return leaveAfterFrames && sent >= *leaveAfterFrames; }
};

struct Options {
    std::string world;
    std::string device = "0";
    std::string gadgetDir = "/dev/gadget";
    std::string udc;
    std::string endpoint;
    std::optional<bool> simulatedClock;
    bool verbose = false;
    Faults faults;
};

// The program's arguments (argv[0] is the program). False with `error` set
// when one is unknown, lacks its value or has a value out of its range.
bool ParseOptions(int argc, const char* const* argv, Options& o, std::string& error);

// "UNIT:SELECTOR", both decimal or 0x-hex: the unit 1, 2 or 3, the selector 1..255.
bool ParseControlId(const std::string& text, ControlId& id);
// "N" or "N,M,...": frame numbers, decimal.
bool ParseFrameList(const std::string& text, std::vector<uint64_t>& frames);

// The length of a frame of `frameLength` bytes sent cut short: half of it.
constexpr size_t ShortFrameLength(size_t frameLength) { return frameLength / 2; }

// The payloads of a frame cut short: its first ShortFrameLength() bytes,
// packed as a frame of that length (end of frame on the last payload).
std::vector<Payload> PackShortFrame(size_t frameLength, bool frameId, size_t maxPayload, size_t packet);

extern const char* const kUsage;

}  // namespace sv::gadget
