#include "kernel/UvcPayload.h"

#include <algorithm>

namespace sv::gadget {

std::vector<Payload> PackFrame(size_t frameLength, bool frameId, size_t maxPayload, size_t packet) {
    std::vector<Payload> out;
    const size_t room = maxPayload - kPayloadHeaderLength;
    const uint8_t flags = static_cast<uint8_t>(kHeaderEnd | (frameId ? kHeaderFrameId : 0));
    for (size_t at = 0; at < frameLength || out.empty();) {
        Payload p;
        p.header[1] = flags;
        p.offset = at;
        p.length = std::min(room, frameLength - at);
        at += p.length;
        out.push_back(p);
        if (p.length == 0) break;  // an empty frame: one header alone
    }
    // A short last payload of whole packets: one byte of frame data moves into
    // it from the payload before, which then ends short itself; a frame of
    // one payload is cut in two.
    Payload& last = out.back();
    if (last.Size() < maxPayload && last.Size() % packet == 0) {
        if (out.size() > 1) {
            Payload& before = out[out.size() - 2];
            --before.length;
            --last.offset;
            ++last.length;
        } else {
            Payload tail = last;
            --last.length;
            tail.offset = last.offset + last.length;
            tail.length = 1;
            out.push_back(tail);
        }
    }
    out.back().header[1] = static_cast<uint8_t>(out.back().header[1] | kHeaderEndOfFrame);
    return out;
}

}  // namespace sv::gadget
