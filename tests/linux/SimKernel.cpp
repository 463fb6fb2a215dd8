#include "linux/SimKernel.h"

#include <linux/videodev2.h>
#include <linux/usb/video.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "common/SampleCatcher.h"
#include "platform/PlatformCameraList.h"
#include "platform/USBView.h"
#include "platform/backend/Clock.h"
#include "platform/backend/MfIds.h"
#include "platform/backend/SystemEvent.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/UvcControls.h"

namespace sv::test {
namespace {

using namespace sv::platform;

// A simulator's result as the errno a driver would give.
int ErrnoOf(HResult hr) {
    if (hr == HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED || hr == HR_ERROR_DEVICE_NOT_CONNECTED ||
        hr == HR_MF_E_SHUTDOWN) {
        return -ENODEV;
    }
    if (hr == HR_E_ACCESSDENIED || hr == HR_MF_E_INVALIDREQUEST) return -EBUSY;
    if (hr == HR_E_INVALIDARG || hr == HR_MF_E_INVALIDMEDIATYPE || hr == HR_E_PROP_ID_UNSUPPORTED) return -EINVAL;
    if (hr == HR_ERROR_SET_NOT_FOUND) return -ENOENT;
    return -EIO;
}

using Catcher = sv::test::SampleCatcher;

// One simulated camera behind a node. Its calls come under the fake
// kernel's lock, one at a time.
struct SimCamera {
    std::shared_ptr<DeviceActivation> activation;
    std::shared_ptr<MediaSource> source;
    std::shared_ptr<Catcher> catcher = std::make_shared<Catcher>();
    std::shared_ptr<SourceReader> reader;
    bool requested = false;  // a ReadSample waits for its answer
    bool manualPending[2][16] = {};
    std::shared_ptr<DeviceActivation> comeBack;  // the device as last found plugged in

    // The device plugged back in: a new activation, nothing of the old one.
    void Replugged() {
        if (comeBack) activation = comeBack;
        source.reset();
        reader.reset();
        catcher = std::make_shared<Catcher>();
        requested = false;
        for (auto& unit : manualPending) {
            for (bool& pending : unit) pending = false;
        }
    }

    HResult Source() {
        if (source) return HR_S_OK;
        return activation->ActivateObject(source);
    }
    HResult Reader() {
        HResult hr = Source();
        if (Succeeded(hr) && !reader) hr = source->CreateSourceReader(catcher, reader);
        return hr;
    }
};

uint32_t PixelFormatOf(const Guid& subtype) {
    return subtype == mf::MFVideoFormat_YUY2 ? V4L2_PIX_FMT_YUYV : subtype.data1;
}

int SetFormat(SimCamera& cam, uint32_t width, uint32_t height, uint32_t pixelFormat, uint32_t numerator,
              uint32_t denominator) {
    HResult hr = cam.Reader();
    if (Failed(hr)) return ErrnoOf(hr);
    // A busy camera refuses its format as the driver does.
    std::shared_ptr<MediaType> probe;
    hr = cam.reader->GetNativeMediaType(0, 0, probe);
    if (Failed(hr) && hr != HR_MF_E_NO_MORE_TYPES) return ErrnoOf(hr);
    MediaType type;
    type.SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    type.SetGUID(mf::MF_MT_SUBTYPE, pixelFormat == V4L2_PIX_FMT_YUYV ? mf::MFVideoFormat_YUY2 : mf::FourCcSubtype(pixelFormat));
    type.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(width, height));
    if (numerator != 0 && denominator != 0) type.SetUINT64(mf::MF_MT_FRAME_RATE, PackPair(denominator, numerator));
    hr = cam.reader->SetCurrentMediaType(0, type);
    if (Failed(hr)) return ErrnoOf(hr);
    cam.requested = false;
    return 0;
}

int64_t MakeFrame(SimCamera& cam, uint8_t* data, uint32_t capacity) {
    if (!cam.reader) return -EIO;
    if (!cam.requested) {
        const HResult hr = cam.reader->ReadSample(0, 0);
        if (Failed(hr)) return ErrnoOf(hr);
        cam.requested = true;
    }
    HResult status = 0;
    std::shared_ptr<Sample> sample;
    if (!cam.catcher->Take(50, status, sample)) return -EAGAIN;  // not yet: the buffer stays queued
    cam.requested = false;
    if (Failed(status) || !sample) return status == HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED ? -ENODEV : -EIO;
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    if (Failed(sample->Lock(bytes, length)) || bytes == nullptr) return -EIO;
    length = std::min(length, capacity);
    std::memcpy(data, bytes, length);
    sample->Unlock();
    return length;
}

// The platform property behind V4L2 control `id`: its unit, number and
// whether `id` is the automatic-mode control.
bool FindProperty(uint32_t id, bool& cameraTerminal, int32_t& property, bool& isAuto) {
    for (int unit = 0; unit < 2; ++unit) {
        const int32_t count = unit == 1 ? uvc::kCameraControlPropertyCount : uvc::kProcAmpPropertyCount;
        for (int32_t p = 0; p < count; ++p) {
            const v4l2::ControlMapping map = v4l2::MapControl(unit == 1, p);
            if (map.id == 0) continue;
            if (map.id == id || map.autoId == id) {
                cameraTerminal = unit == 1;
                property = p;
                isAuto = map.autoId == id;
                return true;
            }
        }
    }
    return false;
}

int Control(SimCamera& cam, unsigned long request, void* arg) {
    uint32_t id = 0;
    switch (request) {
    case VIDIOC_QUERYCTRL: id = static_cast<v4l2_queryctrl*>(arg)->id; break;
    case VIDIOC_QUERYMENU: id = static_cast<v4l2_querymenu*>(arg)->id; break;
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: id = static_cast<v4l2_control*>(arg)->id; break;
    default: return -ENOTTY;
    }
    bool cameraTerminal = false;
    bool isAuto = false;
    int32_t property = 0;
    if (!FindProperty(id, cameraTerminal, property, isAuto)) return -EINVAL;
    HResult hr = cam.Source();
    if (Failed(hr)) return ErrnoOf(hr);
    std::shared_ptr<UvcControlInterface> controls;
    hr = cameraTerminal ? cam.source->QueryCameraControl(controls) : cam.source->QueryVideoProcAmp(controls);
    if (hr == HR_E_NOINTERFACE) return -EINVAL;
    if (Failed(hr)) return ErrnoOf(hr);
    const v4l2::ControlMapping map = v4l2::MapControl(cameraTerminal, property);
    const bool menu = map.autoId == V4L2_CID_EXPOSURE_AUTO;
    int32_t minimum = 0, maximum = 0, step = 0, def = 0, caps = 0;
    hr = controls->GetRange(property, minimum, maximum, step, def, caps);
    if (Failed(hr)) return ErrnoOf(hr);
    if (isAuto && (caps & uvc::kFlagsAuto) == 0) return -EINVAL;
    bool& manualPending = cam.manualPending[cameraTerminal ? 1 : 0][property & 15];
    switch (request) {
    case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        if (isAuto) {
            q->type = menu ? V4L2_CTRL_TYPE_MENU : V4L2_CTRL_TYPE_BOOLEAN;
            q->minimum = 0;
            q->maximum = menu ? 3 : 1;
            q->step = 1;
            q->default_value = menu ? V4L2_EXPOSURE_APERTURE_PRIORITY : 1;
        } else {
            q->type = V4L2_CTRL_TYPE_INTEGER;
            q->minimum = static_cast<int32_t>(v4l2::ToDriverValue(map.scale, minimum));
            q->maximum = static_cast<int32_t>(v4l2::ToDriverValue(map.scale, maximum));
            q->step = map.scale == v4l2::ControlScale::Log2Seconds
                          ? 1
                          : static_cast<int32_t>(v4l2::ToDriverValue(map.scale, step));
            q->default_value = static_cast<int32_t>(v4l2::ToDriverValue(map.scale, def));
        }
        q->flags = 0;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        const auto* item = static_cast<v4l2_querymenu*>(arg);
        return menu && (item->index == V4L2_EXPOSURE_MANUAL || item->index == V4L2_EXPOSURE_APERTURE_PRIORITY)
                   ? 0
                   : -EINVAL;
    }
    case VIDIOC_G_CTRL: {
        auto* c = static_cast<v4l2_control*>(arg);
        int32_t value = 0, flags = 0;
        hr = controls->Get(property, value, flags);
        if (Failed(hr)) return ErrnoOf(hr);
        const bool automatic = flags == uvc::kFlagsAuto && !manualPending;
        if (isAuto) c->value = automatic ? (menu ? V4L2_EXPOSURE_APERTURE_PRIORITY : 1) : (menu ? V4L2_EXPOSURE_MANUAL : 0);
        else c->value = static_cast<int32_t>(v4l2::ToDriverValue(map.scale, value));
        return 0;
    }
    case VIDIOC_S_CTRL: {
        const auto* c = static_cast<v4l2_control*>(arg);
        if (isAuto) {
            const bool on = menu ? c->value != V4L2_EXPOSURE_MANUAL : c->value != 0;
            if (!on) {
                // Manual from the next value on, as the driver leaves the
                // value where it was.
                manualPending = true;
                return 0;
            }
            int32_t value = 0, flags = 0;
            hr = controls->Get(property, value, flags);
            if (Succeeded(hr)) hr = controls->Set(property, value, uvc::kFlagsAuto);
            manualPending = false;
            return Failed(hr) ? ErrnoOf(hr) : 0;
        }
        hr = controls->Set(property, v4l2::ToPlatformValue(map.scale, c->value), uvc::kFlagsManual);
        if (Succeeded(hr)) manualPending = false;
        return Failed(hr) ? ErrnoOf(hr) : 0;
    }
    default: return -ENOTTY;
    }
}

int ExtensionUnit(SimCamera& cam, uint8_t unit, uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
    HResult hr = cam.Source();
    if (Failed(hr)) return ErrnoOf(hr);
    std::shared_ptr<KsTopologyInfo> topology;
    hr = cam.source->QueryTopologyInfo(topology);
    if (Failed(hr)) return ErrnoOf(hr);
    std::shared_ptr<KsControl> node;
    hr = topology->CreateNodeInstance(unit, node);
    if (Failed(hr)) return ErrnoOf(hr);
    ks::PropertyNodeRequest request;
    request.set = ks::kExtensionUnitSet;
    request.id = selector;
    request.flags = (query == UVC_GET_CUR ? ks::KSPROPERTY_TYPE_GET : ks::KSPROPERTY_TYPE_SET) |
                    ks::KSPROPERTY_TYPE_TOPOLOGY;
    request.nodeId = unit;
    uint32_t returned = 0;
    hr = node->KsProperty(request, data, size, returned);
    return Failed(hr) ? ErrnoOf(hr) : 0;
}

// The formats of the simulated camera's native types, in their order.
std::vector<FakeFormat> FormatsOf(SimCamera& cam) {
    std::vector<FakeFormat> formats;
    if (Failed(cam.Reader())) return formats;
    for (uint32_t i = 0;; ++i) {
        std::shared_ptr<MediaType> type;
        if (Failed(cam.reader->GetNativeMediaType(0, i, type)) || !type) break;
        Guid subtype;
        uint64_t size = 0, rate = 0;
        if (Failed(type->GetGUID(mf::MF_MT_SUBTYPE, subtype)) || Failed(type->GetUINT64(mf::MF_MT_FRAME_SIZE, size)) ||
            Failed(type->GetUINT64(mf::MF_MT_FRAME_RATE, rate))) {
            continue;
        }
        const uint32_t pixel = PixelFormatOf(subtype);
        auto f = std::find_if(formats.begin(), formats.end(), [pixel](const FakeFormat& x) { return x.pixelFormat == pixel; });
        if (f == formats.end()) {
            formats.push_back({pixel, pixel == V4L2_PIX_FMT_MJPEG, {}, false});
            f = formats.end() - 1;
        }
        auto s = std::find_if(f->sizes.begin(), f->sizes.end(), [size](const FakeFrameSize& x) {
            return x.width == PairHigh(size) && x.height == PairLow(size);
        });
        if (s == f->sizes.end()) {
            f->sizes.push_back({PairHigh(size), PairLow(size), {}, false});
            s = f->sizes.end() - 1;
        }
        s->intervals.emplace_back(PairLow(rate), PairHigh(rate));  // a rate of n/d is an interval of d/n
    }
    return formats;
}

}  // namespace

std::shared_ptr<FakeKernel> FakeKernelOverSim(std::shared_ptr<Backend> sim) {
    std::vector<std::shared_ptr<DeviceActivation>> devices;
    (void)sim->EnumDeviceSources(devices);
    std::vector<std::string> instanceIds;
    std::shared_ptr<DeviceInfoSet> set;
    if (Succeeded(sim->GetClassDevs(DeviceSetKind::UsbEnumerator, set)) && set) {
        for (uint32_t i = 0; i < set->GetDeviceCount(); ++i) {
            std::string id;
            if (Succeeded(set->GetDeviceInstanceId(i, id))) instanceIds.push_back(id);
        }
    }
    std::vector<FakeNode> nodes;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        auto cam = std::make_shared<SimCamera>();
        cam->activation = devices[i];
        FakeNode n;
        n.name = "video" + std::to_string(2 * i);
        std::string link;
        (void)devices[i]->GetAllocatedString(DeviceString::FriendlyName, n.product);
        // uvcvideo's card: the product string, ": " and the video function's
        // interface string (here the product again), cut at 31 characters.
        n.card = (n.product + ": " + n.product).substr(0, 31);
        (void)devices[i]->GetAllocatedString(DeviceString::SymbolicLink, link);
        IdsFromHardwareId(HardwareIdFromDevicePath(link), n.vendorId, n.productId);
        for (const std::string& id : instanceIds) {
            uint16_t vid = 0, pid = 0;
            std::string serial;
            if (identity::ParseDeviceInstanceId(id, vid, pid, serial) && vid == n.vendorId && pid == n.productId &&
                id.find("&MI_") == std::string::npos) {
                n.serial = serial;
                break;
            }
        }
        UsbPortInfo port;
        port.vendorId = n.vendorId;
        port.productId = n.productId;
        (void)USBView(sim).EnumerateHostControllers(port);
        n.speed = port.speed >= UsbSuperSpeed ? "5000" : (port.speed == UsbFullSpeed ? "12" : "480");
        n.version = port.speed >= UsbSuperSpeed ? " 3.20" : " 2.00";
        n.busnum = 1;
        n.devpath = std::to_string(i + 1);
        n.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        n.formats = FormatsOf(*cam);
        std::shared_ptr<KsTopologyInfo> topology;
        const bool hasUnits = Succeeded(cam->Source()) && Succeeded(cam->source->QueryTopologyInfo(topology));
        // The maker's cameras carry their extension unit at node 2, which the
        // descriptors give as camera terminal, processing unit, extension unit.
        n.descriptors = UvcDescriptors(0, hasUnits ? 2 : 0, ks::kExtensionUnitSet);
        // Plugged in while the simulator lists it.
        n.present = [cam, sim, link] {
            std::vector<std::shared_ptr<DeviceActivation>> listed;
            if (Failed(sim->EnumDeviceSources(listed))) return true;
            for (const auto& device : listed) {
                std::string other;
                if (Succeeded(device->GetAllocatedString(DeviceString::SymbolicLink, other)) && other == link) {
                    cam->comeBack = device;
                    return true;
                }
            }
            return false;
        };
        n.replugged = [cam] { cam->Replugged(); };
        n.setFormat = [cam](uint32_t w, uint32_t h, uint32_t pixel, uint32_t num, uint32_t den) {
            return SetFormat(*cam, w, h, pixel, num, den);
        };
        n.frames = [cam](uint32_t, uint32_t, uint32_t, uint32_t, uint8_t* data, uint32_t capacity) {
            return MakeFrame(*cam, data, capacity);
        };
        n.controlIoctl = [cam](unsigned long request, void* arg) { return Control(*cam, request, arg); };
        n.extensionUnit = [cam](uint8_t unit, uint8_t selector, uint8_t query, uint8_t* data, uint16_t size) {
            return ExtensionUnit(*cam, unit, selector, query, data, size);
        };
        nodes.push_back(std::move(n));
    }
    return std::make_shared<FakeKernel>(std::move(nodes));
}

namespace {

// A wait for a frame runs on the wall clock: the frame comes from the
// back-end's worker, which the simulator cannot see, so it cannot tell an
// idle machine (whose waits it ends at once) from one about to deliver. A
// wait that times out then moves the device time on by its time-out, as a
// wait on one of the simulator's own events does.
class DeviceTimeEvent final : public Event {
public:
    explicit DeviceTimeEvent(std::shared_ptr<sim::SimBackend> sim)
        : sim_(std::move(sim)), simulated_(sim_->SimulatedClock()) {}
    void Set() override { wall_.Set(); }
    void Reset() override { wall_.Reset(); }
    WaitResult Wait(uint32_t timeoutMs) override {
        const WaitResult result = wall_.Wait(timeoutMs);
        if (result == WaitResult::TimedOut && simulated_) sim_->Sleep(timeoutMs);
        return result;
    }

private:
    std::shared_ptr<sim::SimBackend> sim_;
    const bool simulated_;
    SystemEvent wall_;
};

// The simulator's device time for the back-end's fixed waits and clock.
class DeviceTimeClock final : public Clock {
public:
    explicit DeviceTimeClock(std::shared_ptr<sim::SimBackend> sim) : sim_(std::move(sim)) {}
    void Sleep(uint32_t ms) override { sim_->Sleep(ms); }
    uint64_t NowMs() override { return sim_->NowMs(); }
    std::shared_ptr<Event> NewEvent() override { return std::make_shared<DeviceTimeEvent>(sim_); }

private:
    std::shared_ptr<sim::SimBackend> sim_;
};

}  // namespace

std::shared_ptr<Backend> LinuxBackendOverSim(std::shared_ptr<sim::SimBackend> sim) {
    auto clock = std::make_shared<DeviceTimeClock>(sim);
    return v4l2::CreateLinuxBackend(FakeKernelOverSim(std::move(sim)), std::move(clock));
}

}  // namespace sv::test
