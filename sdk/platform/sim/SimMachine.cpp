#include "platform/sim/SimMachine.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include <fmt/format.h>

#include "platform/sim/SimVideo.h"

namespace sv::sim {

namespace mf = platform::mf;
using platform::HResult;
using platform::MediaType;

namespace {

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

constexpr const char* kCameraInterfaceClass = "{e5323777-f976-4f5b-9b55-b94699c46e44}";
constexpr const char* kHubInterfaceClass = "{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr const char* kBuiltInContainer = "{00000000-0000-0000-ffff-ffffffffffff}";

uint32_t Clamp32(uint64_t v) {
    return v > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                    : static_cast<uint32_t>(v);
}

}  // namespace

std::vector<std::shared_ptr<const MediaType>> BuildNativeTypes(const std::vector<FormatDescription>& formats) {
    std::vector<std::shared_ptr<const MediaType>> types;
    for (const FormatDescription& f : formats) {
        auto t = std::make_shared<MediaType>();
        const uint64_t pixels = static_cast<uint64_t>(f.width) * f.height;
        uint32_t bitsPerPixel = 16;
        uint32_t stride = f.width * 2;
        switch (f.format) {
            case PixelFormat::NV12: bitsPerPixel = 12; stride = f.width; break;
            case PixelFormat::RGB24: bitsPerPixel = 24; stride = f.width * 3; break;
            default: break;
        }
        const bool compressed = f.format == PixelFormat::MJPG;
        const uint64_t rate = platform::PackPair(f.rateNumerator, f.rateDenominator);
        // The order a capture driver typically reports; the size comes first.
        t->SetUINT64(mf::MF_MT_FRAME_SIZE, platform::PackPair(f.width, f.height));
        t->SetUINT32(mf::MF_MT_AVG_BITRATE,
                     Clamp32(pixels * bitsPerPixel * f.rateNumerator / f.rateDenominator));
        t->SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
        if (!compressed) t->SetUINT32(mf::MF_MT_DEFAULT_STRIDE, stride);
        t->SetUINT32(mf::MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
        t->SetUINT64(mf::MF_MT_FRAME_RATE_RANGE_MIN, rate);
        t->SetUINT32(mf::MF_MT_FIXED_SIZE_SAMPLES, compressed ? 0 : 1);
        t->SetUINT32(mf::MF_MT_INTERLACE_MODE, mf::MFVideoInterlace_Progressive);
        t->SetUINT64(mf::MF_MT_FRAME_RATE, rate);
        t->SetUINT64(mf::MF_MT_PIXEL_ASPECT_RATIO, platform::PackPair(1, 1));
        if (!compressed) t->SetUINT32(mf::MF_MT_SAMPLE_SIZE, Clamp32(pixels * bitsPerPixel / 8));
        t->SetUINT64(mf::MF_MT_FRAME_RATE_RANGE_MAX, rate);
        t->SetGUID(mf::MF_MT_SUBTYPE, PixelFormatSubtype(f.format));
        t->SetGUID(mf::MF_MT_AM_FORMAT_TYPE, mf::FORMAT_VideoInfo2);
        for (const ExtraAttribute& a : f.extraAttributes) t->SetItem(a.key, a.value);
        types.push_back(std::move(t));
    }
    return types;
}

SimMachine::SimMachine(WorldDescription world, bool simulatedClock)
    : world_(std::move(world)), clock_(std::make_shared<SimClock>(simulatedClock)) {}

void SimMachine::BuildIdentity(SimDevice& d) const {
    const DeviceDescription& s = d.desc;
    d.symbolicLink = fmt::format("\\\\?\\usb#vid_{:04x}&pid_{:04x}&mi_{:02x}#{}#{}\\global", s.vendorId,
                                 s.productId, s.interfaceNumber, Lower(s.instanceKey), kCameraInterfaceClass);
    d.interfaceInstanceId = fmt::format("USB\\VID_{:04X}&PID_{:04X}&MI_{:02X}\\{}", s.vendorId, s.productId,
                                        s.interfaceNumber, Upper(s.instanceKey));
    d.parentInstanceId = fmt::format("USB\\VID_{:04X}&PID_{:04X}\\{}", s.vendorId, s.productId,
                                     s.hasSerial ? s.serial : Upper(s.parentKey));
}

void SimMachine::BuildHubs() {
    for (uint32_t c = 0; c < world_.controllers.size(); ++c) {
        SimHub h;
        h.id = fmt::format("root{}", c);
        const std::string key = fmt::format("4&{:08x}&0&0", 0x2a5c1b7eu + c * 0x1010u);
        h.name = fmt::format("USB#ROOT_HUB30#{}#{}", key, kHubInterfaceClass);
        h.instanceId = "USB\\ROOT_HUB30\\" + Upper(key);
        h.containerId = kBuiltInContainer;
        h.ports = world_.controllers[c].rootHubPorts;
        h.root = true;
        h.usb.controller = c;
        hubs_.push_back(h);
    }
    for (const HubDescription& desc : world_.hubs) {
        SimHub h;
        h.id = desc.id;
        h.name = fmt::format("USB#VID_{:04X}&PID_{:04X}#{}#{}", desc.vendorId, desc.productId,
                             Lower(desc.instanceKey), kHubInterfaceClass);
        h.instanceId = fmt::format("USB\\VID_{:04X}&PID_{:04X}\\{}", desc.vendorId, desc.productId,
                                   Upper(desc.instanceKey));
        h.containerId = desc.containerId;
        h.ports = desc.ports;
        h.vendorId = desc.vendorId;
        h.productId = desc.productId;
        h.usb = desc.usb;
        hubs_.push_back(h);
    }
}

bool SimMachine::Build(std::string& error) {
    BuildHubs();
    for (const DeviceDescription& desc : world_.devices) {
        auto d = std::make_shared<SimDevice>();
        d->desc = desc;
        BuildIdentity(*d);
        d->nativeTypes = BuildNativeTypes(desc.formats);
        d->busy = desc.busy;
        d->procAmp = desc.procAmp;
        d->cameraControl = desc.cameraControl;
        d->faults = desc.faults;
        if (!desc.xuModel.empty()) {
            try {
                d->model = CreateXuModel(desc.xuModel, desc.xuConfig);
            } catch (const std::exception& e) {
                error = fmt::format("device \"{}\": extension-unit model \"{}\": {}", desc.id, desc.xuModel, e.what());
                return false;
            }
            if (!d->model) {
                error = fmt::format("device \"{}\": unknown extension-unit model \"{}\"", desc.id, desc.xuModel);
                return false;
            }
        }
        devices_.push_back(std::move(d));
    }
    for (const Fx3Description& desc : world_.fx3) fx3_.push_back(std::make_shared<SimFx3Board>(desc));
    return true;
}

std::shared_ptr<SimFx3Board> SimMachine::FindFx3(const std::string& id) const {
    for (const auto& b : fx3_) {
        if (b->Desc().id == id) return b;
    }
    return nullptr;
}

void SimMachine::EnterFx3ProgramMode(SimDevice& camera) {
    Unplug(camera);
    for (const auto& b : fx3_) {
        if (b->Desc().camera != camera.desc.id) continue;
        {
            std::lock_guard<std::mutex> lock(b->Mutex());
            b->EnterBootloader();
        }
        TraceNamed(b->Desc().id, "plug", [&](SimTrace::Line& line) { line["note"] = "bootloader"; });
    }
}

void SimMachine::Fx3Started(SimFx3Board& board, const SimFx3Board::Started& started) {
    std::string mode;
    {
        std::lock_guard<std::mutex> lock(board.Mutex());
        mode = Fx3ModeName(board.mode);
    }
    TraceNamed(board.Desc().id, "usb.start", [&](SimTrace::Line& line) {
        line["mode"] = mode;
        line["note"] = started.note;
    });
    if (!started.cameraFirmware || board.Desc().camera.empty()) return;
    auto camera = FindDevice(board.Desc().camera);
    if (!camera) return;
    if (camera->model) {
        std::lock_guard<std::mutex> lock(camera->modelMutex);
        camera->model->UsbFirmwareStarted(*started.cameraFirmware);
    }
    Plug(*camera);
}

HResult SimMachine::CheckFx3Fault(SimFx3Board& board, const std::string& op, int selector) {
    const uint32_t all = ++board.occurrences[op];
    uint32_t bySelector = 0;
    if (selector >= 0) bySelector = ++board.occurrences[fmt::format("{}#{}", op, selector)];
    for (const FaultRule& f : board.faults) {
        if (f.op != op) continue;
        if (f.selector >= 0 && f.selector != selector) continue;
        const uint32_t n = f.selector >= 0 ? bySelector : all;
        if (n >= f.on && (f.times == 0 || n - f.on < f.times)) return f.code;
    }
    return platform::HR_S_OK;
}

std::shared_ptr<SimDevice> SimMachine::FindDevice(const std::string& id) const {
    for (const auto& d : devices_) {
        if (d->desc.id == id) return d;
    }
    return nullptr;
}

const SimHub* SimMachine::FindHubByName(const std::string& name) const {
    const std::string wanted = Upper(name);
    for (const auto& h : hubs_) {
        if (Upper(h.name) == wanted) return &h;
    }
    return nullptr;
}

const SimHub* SimMachine::RootHub(uint32_t controller) const {
    return controller < hubs_.size() && hubs_[controller].root ? &hubs_[controller] : nullptr;
}

HResult SimMachine::CheckFault(SimDevice& device, const std::string& op, int selector) {
    std::lock_guard<std::mutex> lock(mutex_);
    return CheckFaultLocked(device, op, selector);
}

HResult SimMachine::CheckFaultLocked(SimDevice& device, const std::string& op, int selector) {
    const uint32_t all = ++device.occurrences[op];
    uint32_t bySelector = 0;
    if (selector >= 0) bySelector = ++device.occurrences[fmt::format("{}#{}", op, selector)];
    for (const FaultRule& f : device.faults) {
        if (f.op != op) continue;
        if (f.selector >= 0 && f.selector != selector) continue;
        const uint32_t n = f.selector >= 0 ? bySelector : all;
        if (n >= f.on && (f.times == 0 || n - f.on < f.times)) return f.code;
    }
    return platform::HR_S_OK;
}

void SimMachine::Unplug(SimDevice& device) {
    std::vector<std::shared_ptr<SimReaderCore>> readers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!device.present) return;
        device.present = false;
        for (auto& w : device.readers) {
            if (auto r = w.lock()) readers.push_back(std::move(r));
        }
        device.readers.clear();
    }
    TraceEvent(&device, "unplug");
    for (auto& r : readers) r->OnDeviceGone();
}

void SimMachine::Plug(SimDevice& device) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (device.present) return;
        device.present = true;
        ++device.generation;
    }
    TraceEvent(&device, "plug");
}

SimTrace::Line SimMachine::TraceLine(const SimDevice* device, const char* op) {
    return SimTrace::Begin(clock_->NowUs(), device != nullptr ? device->desc.id : std::string(), op);
}

}  // namespace sv::sim
