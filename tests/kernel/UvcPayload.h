#pragma once

// A frame cut into the payloads of a bulk video stream. Every payload starts
// with the two-byte header (length, then the flags: frame id, end of frame,
// end of header). The host ends a payload when its transfer comes short or
// reaches the negotiated payload size, so a payload shorter than that size
// must not be a whole number of packets: it would run on into the next.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sv::gadget {

constexpr uint8_t kHeaderFrameId = 0x01;
constexpr uint8_t kHeaderEndOfFrame = 0x02;
constexpr uint8_t kHeaderError = 0x40;
constexpr uint8_t kHeaderEnd = 0x80;
constexpr size_t kPayloadHeaderLength = 2;

struct Payload {
    uint8_t header[kPayloadHeaderLength] = {kPayloadHeaderLength, 0};
    size_t offset = 0;  // of the frame bytes it carries
    size_t length = 0;
    size_t Size() const { return kPayloadHeaderLength + length; }
};

// The payloads of a frame of `frameLength` bytes with frame id `frameId`
// (0 or 1), each at most `maxPayload` bytes (a whole number of `packet`s).
std::vector<Payload> PackFrame(size_t frameLength, bool frameId, size_t maxPayload, size_t packet);

}  // namespace sv::gadget
