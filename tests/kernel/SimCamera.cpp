#include "kernel/SimCamera.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>

#include "platform/sim/MakerModels.h"

namespace sv::gadget {

using namespace sv::platform;

namespace {

std::string HrText(HResult hr) {
    const char* name = HResultName(hr);
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(hr));
    return name != nullptr ? name : number;
}

}  // namespace

SimCamera::SimCamera() : catcher_(std::make_shared<test::SampleCatcher>()) {}

SimCamera::~SimCamera() {
    reader_.reset();
    if (activation_) activation_->ShutdownObject();
}

bool SimCamera::Open(const std::string& worldJson, const std::string& source, const std::string& device,
                     std::optional<bool> simulatedClock, std::string& error) {
    sim::WorldDescription world;
    if (!sim::ParseWorld(worldJson, source, world, error)) return false;
    const bool simulated = simulatedClock.value_or(world.simulatedClock);
    machine_ = std::make_shared<sim::SimMachine>(std::move(world), simulated);
    if (!machine_->Build(error)) return false;
    backend_ = std::make_shared<sim::SimBackend>(machine_, std::string());

    const auto& devices = machine_->Devices();
    const bool number = !device.empty() && std::all_of(device.begin(), device.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (number) {
        const unsigned long n = std::stoul(device);
        if (n < devices.size()) device_ = devices[n];
    } else {
        device_ = machine_->FindDevice(device);
    }
    if (!device_) {
        error = "the world has no device " + device + " (" + std::to_string(devices.size()) + " devices)";
        return false;
    }
    if (!device_->desc.video) {
        error = "device " + device_->desc.id + " is no camera";
        return false;
    }

    std::vector<std::shared_ptr<DeviceActivation>> activations;
    (void)backend_->EnumDeviceSources(activations);
    for (const auto& a : activations) {
        std::string link;
        if (a->GetAllocatedString(DeviceString::SymbolicLink, link) == HR_S_OK && link == device_->symbolicLink) {
            activation_ = a;
        }
    }
    if (!activation_) {
        error = "device " + device_->desc.id + " is not plugged in";
        return false;
    }
    HResult hr = activation_->ActivateObject(source_);
    if (hr == HR_S_OK) hr = source_->CreateSourceReader(catcher_, reader_);
    if (hr != HR_S_OK) {
        error = "device " + device_->desc.id + " does not start: " + HrText(hr);
        return false;
    }
    return true;
}

UvcUnits SimCamera::Units() const {
    UvcUnits u;
    (void)source_->QueryVideoProcAmp(u.processing);
    (void)source_->QueryCameraControl(u.camera);
    if (device_->model) {
        std::shared_ptr<KsTopologyInfo> topology;
        if (source_->QueryTopologyInfo(topology) == HR_S_OK &&
            topology->CreateNodeInstance(device_->desc.xuNode, u.extension) == HR_S_OK) {
            u.extensionNode = device_->desc.xuNode;
            u.extensionSelectors = XuSelectorsOf(device_->desc.xuModel);
            // The generic I2C packet is as long as the running bridge
            // firmware takes it.
            std::shared_ptr<sim::SimDevice> d = device_;
            u.genericPacketLength = [d]() -> uint16_t {
                std::lock_guard<std::mutex> lock(d->modelMutex);
                const auto* maker = dynamic_cast<const sim::MakerXuModel*>(d->model.get());
                return maker != nullptr ? static_cast<uint16_t>(maker->PacketSize()) : 0;
            };
        }
    }
    return u;
}

bool SimCamera::Select(const StreamSettings& s, std::string& error) {
    if (requested_) {
        catcher_->ArmFlush();
        if (reader_->Flush(0) == HR_S_OK) catcher_->AwaitFlush(5000);
        requested_ = false;
    }
    MediaType type;
    type.SetGUID(mf::MF_MT_MAJOR_TYPE, mf::MFMediaType_Video);
    type.SetGUID(mf::MF_MT_SUBTYPE, sim::PixelFormatSubtype(s.format));
    type.SetUINT64(mf::MF_MT_FRAME_SIZE, PackPair(s.width, s.height));
    if (s.rate.numerator != 0) type.SetUINT64(mf::MF_MT_FRAME_RATE, PackPair(s.rate.numerator, s.rate.denominator));
    const HResult hr = reader_->SetCurrentMediaType(0, type);
    if (hr != HR_S_OK) {
        error = std::string(sim::PixelFormatName(s.format)) + " " + std::to_string(s.width) + "x" +
                std::to_string(s.height) + " refused: " + HrText(hr);
        return false;
    }
    return true;
}

SimCamera::FrameResult SimCamera::NextFrame(std::shared_ptr<Sample>& sample, int timeoutMs) {
    sample.reset();
    if (!requested_) {
        if (reader_->ReadSample(0, 0) != HR_S_OK) return FrameResult::Failed;
        requested_ = true;
    }
    HResult status = HR_S_OK;
    if (!catcher_->Take(timeoutMs, status, sample)) return FrameResult::Timeout;
    requested_ = false;
    return status == HR_S_OK && sample ? FrameResult::Frame : FrameResult::Failed;
}

}  // namespace sv::gadget
