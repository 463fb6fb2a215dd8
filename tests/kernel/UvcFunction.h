#pragma once

// The software camera's answers on endpoint 0: the standard requests the
// gadget layer hands up (strings, configuration, interface), and the video
// class requests: stream probe and commit, the processing-unit and
// camera-terminal controls and the maker's extension unit. The answers come
// from a simulated device through the platform's control interfaces (the
// same objects that answer the simulator back-end); nothing here touches
// the bus, so tests drive it directly.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kernel/UvcLayout.h"
#include "platform/backend/VideoDevice.h"

namespace sv::gadget {

// A control request as it arrived (fields in host order).
struct Setup {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;

    bool In() const { return (requestType & 0x80) != 0; }
};

struct Answer {
    enum class Kind {
        Stall,  // refuse: halt endpoint 0
        Data,   // an IN request: send `data`
        Ack,    // an OUT request: accept (its data, if any, was taken)
    };
    enum class Effect {
        None,
        Configure,    // configuration 1 set: enable the streaming endpoint
        Unconfigure,  // configuration 0: stop streaming
        StreamStart,  // a commit: stream with Committed()
        StreamStop,   // the streaming interface was reset
    };
    Kind kind = Kind::Stall;
    std::vector<uint8_t> data;
    Effect effect = Effect::None;
};

// The extension unit's selectors as the camera's firmware describes them
// to GET_INFO and GET_LEN.
struct XuSelector {
    uint8_t selector = 0;
    uint16_t length = 0;  // 0: the generic I2C packet, whose size the firmware decides
    uint8_t info = 0;     // GET_INFO: 0x01 GET supported, 0x02 SET supported
};

// The selectors of the maker's cameras: "kivo", "lira"; any other model
// gets the selectors of both.
std::vector<XuSelector> XuSelectorsOf(const std::string& model);

struct UvcUnits {
    std::shared_ptr<platform::UvcControlInterface> processing;  // null: none
    std::shared_ptr<platform::UvcControlInterface> camera;      // null: none
    std::shared_ptr<platform::KsControl> extension;             // null: no extension unit
    uint32_t extensionNode = 2;                                 // the device's node of the unit
    std::vector<XuSelector> extensionSelectors;
    std::function<uint16_t()> genericPacketLength;              // the I2C packet's current size
};

// The probe and commit control's fields (26 bytes in UVC 1.00).
struct StreamControl {
    uint16_t hint = 0;
    uint8_t formatIndex = 0;
    uint8_t frameIndex = 0;
    uint32_t frameInterval = 0;
    uint16_t keyFrameRate = 0;
    uint16_t pFrameRate = 0;
    uint16_t compQuality = 0;
    uint16_t compWindowSize = 0;
    uint16_t delay = 0;
    uint32_t maxVideoFrameSize = 0;
    uint32_t maxPayloadTransferSize = 0;
};
constexpr uint16_t kStreamControlLength = 26;

std::vector<uint8_t> EncodeStreamControl(const StreamControl& c, size_t length);
// Fields beyond `length` keep their value in `c`.
void DecodeStreamControl(const uint8_t* data, size_t length, StreamControl& c);

// The payload size the camera asks for: whole high-speed packets.
constexpr uint32_t kMaxPayload = 16384;

struct StreamSettings {
    sim::PixelFormat format = sim::PixelFormat::YUY2;
    uint16_t width = 0;
    uint16_t height = 0;
    FrameRate rate;
    uint32_t maxFrameBytes = 0;
    uint32_t maxPayload = kMaxPayload;
};

// Request error codes of the VideoControl interface's error-code control.
enum class RequestError : uint8_t {
    None = 0x00,
    NotReady = 0x01,
    WrongState = 0x02,
    OutOfRange = 0x04,
    InvalidUnit = 0x05,
    InvalidControl = 0x06,
    InvalidRequest = 0x07,
    InvalidValue = 0x08,
    Unknown = 0xFF,
};

// A control of a unit: the camera terminal (1), the processing unit (2) or
// the extension unit (3), and its selector.
struct ControlId {
    uint8_t unit = 0;
    uint8_t selector = 0;
    bool operator==(const ControlId& o) const { return unit == o.unit && selector == o.selector; }
};

class UvcFunction {
public:
    // The function of `device` (identity and formats) over `units`.
    UvcFunction(const sim::DeviceDescription& device, UvcUnits units);

    const UvcLayout& Layout() const { return layout_; }

    // One request; `data` is what an OUT request carried.
    Answer Handle(const Setup& setup, const std::vector<uint8_t>& data);

    // A faulty device: every class request to these controls is stalled
    // (a SET_CUR's data is taken first; the error code then reads Unknown).
    void StallControls(std::vector<ControlId> controls) { stalled_ = std::move(controls); }
    bool Stalls(uint8_t unit, uint8_t selector) const;

    // The stream the host committed last.
    StreamSettings Committed() const;
    const StreamControl& Probe() const { return probe_; }
    RequestError LastError() const { return error_; }

private:
    Answer Standard(const Setup& s);
    Answer Streaming(const Setup& s, const std::vector<uint8_t>& data);
    Answer Control(const Setup& s, const std::vector<uint8_t>& data);
    Answer UnitControl(bool cameraTerminal, const Setup& s, const std::vector<uint8_t>& data);
    Answer Extension(const Setup& s, const std::vector<uint8_t>& data);
    Answer Refuse(RequestError e);
    Answer Reply(std::vector<uint8_t> bytes, uint16_t length);
    Answer Accept();

    StreamControl Negotiate(const StreamControl& asked) const;
    StreamControl Bound(bool maximum) const;

    UvcUnits units_;
    UvcLayout layout_;
    StreamControl probe_;
    StreamControl commit_;
    RequestError error_ = RequestError::None;
    std::vector<ControlId> stalled_;
};

// The bitmaps of the camera terminal's and processing unit's controls the
// units offer.
uint32_t CameraTerminalControls(platform::UvcControlInterface* camera);
uint16_t ProcessingUnitControls(platform::UvcControlInterface* processing);

}  // namespace sv::gadget
