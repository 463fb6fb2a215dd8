#pragma once

// The extension unit of a simulated camera hands every transfer to the device's
// model: the firmware's behaviour as the documented protocol describes it.
// Models are registered by name; a world file names one per device
// ("xu": {"model": "kivo", ...}) and the rest of that object is the model's
// configuration.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/backend/HResult.h"

namespace sv::sim {

// One transfer as the device sees it.
struct XuTransfer {
    uint8_t unit = 0;      // extension-unit node
    uint8_t selector = 0;  // control selector
    uint8_t request = 0;   // 0x01 SET_CUR, 0x81 GET_CUR
    uint16_t length = 0;
    uint8_t* data = nullptr;  // SET_CUR: the payload; GET_CUR: filled by the model
};

// What a device offers its model.
class XuHost {
public:
    virtual ~XuHost() = default;
    virtual int64_t NowUs() = 0;            // device time
    virtual const std::string& DeviceId() const = 0;
    virtual const std::string& SerialNumber() const = 0;
    virtual uint16_t VendorId() const = 0;
    virtual uint16_t ProductId() const = 0;
    // The device leaves the bus (a reset or a switch into another mode); pending
    // and later operations on its sources fail as on an unplugged camera.
    virtual void Unplug() = 0;
    // The camera's USB bridge goes into its programming mode: the camera
    // leaves the bus and the bridge's bootloader may appear in its place.
    virtual void EnterProgramMode() { Unplug(); }
};

// The device calls its model one transfer (or format change) at a time, as on
// the wire; a model needs no lock of its own.
class XuDeviceModel {
public:
    virtual ~XuDeviceModel() = default;
    virtual std::string Name() const = 0;
    // Answers one transfer: 0, or the failure the device reports (a stall comes
    // back as ERROR_GEN_FAILURE). `note` may carry a short text for the trace.
    virtual platform::HResult Transfer(XuTransfer& transfer, XuHost& host, std::string& note) = 0;
    // The host selected a native type: the camera now puts out frames of this
    // size and subtype ("UYVY", "MJPG", ...). Models that report their output
    // format take it from here.
    virtual void OutputFormatChanged(uint32_t width, uint32_t height, const std::string& subtype) {
        (void)width;
        (void)height;
        (void)subtype;
    }
    // The USB bridge started new camera firmware reporting `version`.
    virtual void UsbFirmwareStarted(const std::array<uint8_t, 4>& version) { (void)version; }
};

using XuModelFactory = std::function<std::unique_ptr<XuDeviceModel>(const nlohmann::json& config)>;

// Registers (or replaces) the model `name`. "kivo" and "lira" are built in.
void RegisterXuModel(const std::string& name, XuModelFactory factory);
void UnregisterXuModel(const std::string& name);

// A new model, or null when `name` is unknown. The factory may throw
// std::exception for a bad configuration; the text names the problem.
std::unique_ptr<XuDeviceModel> CreateXuModel(const std::string& name, const nlohmann::json& config);

}  // namespace sv::sim
