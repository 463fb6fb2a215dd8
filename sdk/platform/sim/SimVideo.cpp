#include "platform/sim/SimVideo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/sim/TestPattern.h"

namespace sv::sim {

namespace mf = platform::mf;
namespace uvc = platform::uvc;
namespace ks = platform::ks;
using platform::HResult;

namespace {

// Status of a source: shut down, device gone (`gone`, which the video and the
// control paths report differently), or usable.
HResult SourceStatus(SimMachine& m, const SimDevice& d, const SourceState& s, HResult gone) {
    if (s.shutdown.load()) return platform::HR_MF_E_SHUTDOWN;
    std::lock_guard<std::mutex> lock(m.Mutex());
    return m.AliveLocked(d, s.generation) ? platform::HR_S_OK : gone;
}

HResult VideoStatus(SimMachine& m, const SimDevice& d, const SourceState& s) {
    return SourceStatus(m, d, s, platform::HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED);
}

// The control path: UVC controls and the extension unit.
HResult ControlStatus(SimMachine& m, const SimDevice& d, const SourceState& s) {
    return SourceStatus(m, d, s, platform::HR_ERROR_DEVICE_NOT_CONNECTED);
}

class SimUvcControls final : public platform::UvcControlInterface {
public:
    SimUvcControls(std::shared_ptr<SimMachine> m, std::shared_ptr<SimDevice> d, std::shared_ptr<SourceState> s,
                   bool cameraControl)
        : m_(std::move(m)), d_(std::move(d)), s_(std::move(s)), cameraControl_(cameraControl) {}

    HResult Get(int32_t property, int32_t& value, int32_t& flags) override {
        HResult hr = Begin("get", property);
        if (hr == platform::HR_S_OK) {
            std::lock_guard<std::mutex> lock(m_->Mutex());
            const ControlDescription* c = Find(property);
            if (c == nullptr) {
                hr = platform::HR_E_PROP_ID_UNSUPPORTED;
            } else {
                value = c->value;
                flags = c->flags;
            }
        }
        Trace("get", property, hr, [&](SimTrace::Line& line) {
            if (hr != platform::HR_S_OK) return;
            line["value"] = value;
            line["flags"] = flags;
        });
        return hr;
    }

    HResult Set(int32_t property, int32_t value, int32_t flags) override {
        HResult hr = Begin("set", property);
        if (hr == platform::HR_S_OK) {
            std::lock_guard<std::mutex> lock(m_->Mutex());
            ControlDescription* c = Find(property);
            if (c == nullptr) {
                hr = platform::HR_E_PROP_ID_UNSUPPORTED;
            } else if ((flags != uvc::kFlagsAuto && flags != uvc::kFlagsManual) || (flags & c->caps) == 0) {
                hr = platform::HR_E_INVALIDARG;
            } else if (flags == uvc::kFlagsManual &&
                       (value < c->minimum || value > c->maximum ||
                        (static_cast<int64_t>(value) - c->minimum) % c->step != 0)) {
                hr = platform::HR_E_INVALIDARG;
            } else {
                // In automatic mode the device keeps its own value.
                if (flags == uvc::kFlagsManual) c->value = value;
                c->flags = flags;
            }
        }
        Trace("set", property, hr, [&](SimTrace::Line& line) {
            line["value"] = value;
            line["flags"] = flags;
        });
        return hr;
    }

    HResult GetRange(int32_t property, int32_t& minimum, int32_t& maximum, int32_t& step, int32_t& defaultValue,
                     int32_t& capsFlags) override {
        HResult hr = Begin("range", property);
        if (hr == platform::HR_S_OK) {
            std::lock_guard<std::mutex> lock(m_->Mutex());
            const ControlDescription* c = Find(property);
            if (c == nullptr) {
                hr = platform::HR_E_PROP_ID_UNSUPPORTED;
            } else {
                minimum = c->minimum;
                maximum = c->maximum;
                step = c->step;
                defaultValue = c->defaultValue;
                capsFlags = c->caps;
            }
        }
        Trace("range", property, hr, [&](SimTrace::Line& line) {
            if (hr != platform::HR_S_OK) return;
            line["min"] = minimum;
            line["max"] = maximum;
            line["step"] = step;
            line["default"] = defaultValue;
            line["caps"] = capsFlags;
        });
        return hr;
    }

private:
    std::string Op(const char* what) const {
        return std::string(cameraControl_ ? "cameraControl." : "procAmp.") + what;
    }

    HResult Begin(const char* what, int32_t) {
        const HResult status = ControlStatus(*m_, *d_, *s_);
        if (status != platform::HR_S_OK) return status;
        return m_->CheckFault(*d_, Op(what));
    }

    ControlDescription* Find(int32_t property) {
        if (cameraControl_) {
            if (property < 0 || property >= uvc::kCameraControlPropertyCount) return nullptr;
            ControlDescription& c = d_->cameraControl[static_cast<size_t>(property)];
            return c.offered ? &c : nullptr;
        }
        if (property < 0 || property >= uvc::kProcAmpPropertyCount) return nullptr;
        ControlDescription& c = d_->procAmp[static_cast<size_t>(property)];
        return c.offered ? &c : nullptr;
    }

    // The control's trace line: property, name and result, then what `more` adds.
    template <typename More>
    void Trace(const char* what, int32_t property, HResult hr, More&& more) {
        if (!m_->Trace().Enabled()) return;  // spares building the operation name
        m_->TraceEvent(d_.get(), Op(what).c_str(), [&](SimTrace::Line& line) {
            line["property"] = property;
            const char* name = cameraControl_ ? uvc::CameraControlName(property) : uvc::ProcAmpName(property);
            if (name != nullptr) line["name"] = name;
            line["result"] = hr;
            more(line);
        });
    }

    std::shared_ptr<SimMachine> m_;
    std::shared_ptr<SimDevice> d_;
    std::shared_ptr<SourceState> s_;
    const bool cameraControl_;
};

// What a device's model sees of it.
class DeviceXuHost final : public XuHost {
public:
    DeviceXuHost(SimMachine& m, SimDevice& d) : m_(m), d_(d) {}
    int64_t NowUs() override { return m_.Clock().NowUs(); }
    const std::string& DeviceId() const override { return d_.desc.id; }
    const std::string& SerialNumber() const override { return d_.desc.serial; }
    uint16_t VendorId() const override { return d_.desc.vendorId; }
    uint16_t ProductId() const override { return d_.desc.productId; }
    void Unplug() override { m_.Unplug(d_); }
    void EnterProgramMode() override { m_.EnterFx3ProgramMode(d_); }

private:
    SimMachine& m_;
    SimDevice& d_;
};

class SimKsNode final : public platform::KsControl {
public:
    SimKsNode(std::shared_ptr<SimMachine> m, std::shared_ptr<SimDevice> d, std::shared_ptr<SourceState> s,
              uint32_t node)
        : m_(std::move(m)), d_(std::move(d)), s_(std::move(s)), node_(node) {}

    HResult KsProperty(const ks::PropertyNodeRequest& request, uint8_t* data, uint32_t dataLength,
                       uint32_t& bytesReturned) override {
        bytesReturned = 0;
        const bool isGet = request.flags == (ks::KSPROPERTY_TYPE_GET | ks::KSPROPERTY_TYPE_TOPOLOGY);
        const bool isSet = request.flags == (ks::KSPROPERTY_TYPE_SET | ks::KSPROPERTY_TYPE_TOPOLOGY);
        std::string note;
        // The payload sent, for the trace, before a GET overwrites the buffer.
        HResult hr = ControlStatus(*m_, *d_, *s_);
        if (hr == platform::HR_S_OK && !isGet && !isSet) hr = platform::HR_ERROR_NOT_SUPPORTED;
        if (hr == platform::HR_S_OK && (request.set != ks::kExtensionUnitSet || d_->model == nullptr ||
                                        request.nodeId != d_->desc.xuNode || node_ != d_->desc.xuNode)) {
            // This node carries no such property set.
            hr = platform::HR_ERROR_SET_NOT_FOUND;
        }
        if (hr == platform::HR_S_OK && dataLength > 0 && data == nullptr) hr = platform::HR_E_POINTER;
        if (hr == platform::HR_S_OK && (dataLength > 0xFFFF || request.id > 0xFF)) hr = platform::HR_E_INVALIDARG;
        if (hr == platform::HR_S_OK) {
            hr = m_->CheckFault(*d_, isGet ? "xu.get" : "xu.set", static_cast<int>(request.id));
        }
        if (hr == platform::HR_S_OK) {
            XuTransfer t;
            t.unit = static_cast<uint8_t>(request.nodeId);
            t.selector = static_cast<uint8_t>(request.id);
            t.request = isGet ? ks::kGetCur : ks::kSetCur;
            t.length = static_cast<uint16_t>(dataLength);
            t.data = data;
            DeviceXuHost host(*m_, *d_);
            std::lock_guard<std::mutex> lock(d_->modelMutex);
            hr = d_->model->Transfer(t, host, note);
            if (hr == platform::HR_S_OK && isGet) bytesReturned = dataLength;
        }
        m_->TraceEvent(d_.get(), isGet ? "xu.get" : (isSet ? "xu.set" : "ks.property"), [&](SimTrace::Line& line) {
            line["unit"] = request.nodeId;
            line["selector"] = request.id;
            if (isGet || isSet) line["request"] = isGet ? ks::kGetCur : ks::kSetCur;
            else line["flags"] = request.flags;
            line["length"] = dataLength;
            const bool showPayload = isSet || (isGet && hr == platform::HR_S_OK);
            line["payload"] = showPayload ? SimTrace::PayloadHex(data, dataLength) : std::string();
            line["result"] = hr;
            if (!note.empty()) line["note"] = note;
        });
        return hr;
    }

private:
    std::shared_ptr<SimMachine> m_;
    std::shared_ptr<SimDevice> d_;
    std::shared_ptr<SourceState> s_;
    const uint32_t node_;
};

class SimTopology final : public platform::KsTopologyInfo {
public:
    SimTopology(std::shared_ptr<SimMachine> m, std::shared_ptr<SimDevice> d, std::shared_ptr<SourceState> s)
        : m_(std::move(m)), d_(std::move(d)), s_(std::move(s)) {}

    HResult GetNumNodes(uint32_t& count) override {
        count = d_->desc.topologyNodes;
        return platform::HR_S_OK;
    }

    HResult CreateNodeInstance(uint32_t nodeId, std::shared_ptr<platform::KsControl>& control) override {
        control.reset();
        HResult hr = ControlStatus(*m_, *d_, *s_);
        if (hr != platform::HR_S_OK) return hr;
        hr = m_->CheckFault(*d_, "node");
        if (hr != platform::HR_S_OK) return hr;
        if (nodeId >= d_->desc.topologyNodes) return platform::HR_E_INVALIDARG;
        control = std::make_shared<SimKsNode>(m_, d_, s_, nodeId);
        return platform::HR_S_OK;
    }

private:
    std::shared_ptr<SimMachine> m_;
    std::shared_ptr<SimDevice> d_;
    std::shared_ptr<SourceState> s_;
};

class SimSourceReader final : public platform::SourceReader {
public:
    explicit SimSourceReader(std::shared_ptr<SimReaderCore> core) : core_(std::move(core)) {}
    ~SimSourceReader() override { core_->Stop(); }

    HResult GetNativeMediaType(uint32_t stream, uint32_t index, std::shared_ptr<platform::MediaType>& type) override {
        return core_->GetNativeMediaType(stream, index, type);
    }
    HResult SetCurrentMediaType(uint32_t stream, const platform::MediaType& type) override {
        return core_->SetCurrentMediaType(stream, type);
    }
    HResult GetCurrentMediaType(uint32_t stream, std::shared_ptr<platform::MediaType>& type) override {
        return core_->GetCurrentMediaType(stream, type);
    }
    HResult ReadSample(uint32_t stream, uint32_t controlFlags) override { return core_->ReadSample(stream, controlFlags); }
    HResult Flush(uint32_t stream) override { return core_->Flush(stream); }

private:
    std::shared_ptr<SimReaderCore> core_;
};

class SimMediaSource final : public platform::MediaSource {
public:
    SimMediaSource(std::shared_ptr<SimMachine> m, std::shared_ptr<SimDevice> d, std::shared_ptr<SourceState> s)
        : m_(std::move(m)), d_(std::move(d)), s_(std::move(s)) {}

    HResult CreateSourceReader(std::shared_ptr<platform::SampleCallback> callback,
                               std::shared_ptr<platform::SourceReader>& reader) override {
        reader.reset();
        if (!callback) return platform::HR_E_INVALIDARG;
        HResult hr = VideoStatus(*m_, *d_, *s_);
        if (hr != platform::HR_S_OK) return hr;
        hr = m_->CheckFault(*d_, "createReader");
        if (hr != platform::HR_S_OK) return hr;
        auto core = std::make_shared<SimReaderCore>(m_, d_, s_, std::move(callback));
        {
            std::lock_guard<std::mutex> lock(m_->Mutex());
            auto& readers = d_->readers;
            readers.erase(std::remove_if(readers.begin(), readers.end(),
                                         [](const std::weak_ptr<SimReaderCore>& w) { return w.expired(); }),
                          readers.end());
            readers.push_back(core);
        }
        core->Start();
        reader = std::make_shared<SimSourceReader>(std::move(core));
        return platform::HR_S_OK;
    }

    HResult QueryVideoProcAmp(std::shared_ptr<platform::UvcControlInterface>& controls) override {
        return Query(false, controls);
    }
    HResult QueryCameraControl(std::shared_ptr<platform::UvcControlInterface>& controls) override {
        return Query(true, controls);
    }

    HResult QueryTopologyInfo(std::shared_ptr<platform::KsTopologyInfo>& topology) override {
        topology.reset();
        if (s_->shutdown.load()) return platform::HR_MF_E_SHUTDOWN;
        const HResult hr = m_->CheckFault(*d_, "topology");
        if (hr != platform::HR_S_OK) return hr;
        if (d_->desc.topologyNodes == 0) return platform::HR_E_NOINTERFACE;
        topology = std::make_shared<SimTopology>(m_, d_, s_);
        return platform::HR_S_OK;
    }

private:
    HResult Query(bool cameraControl, std::shared_ptr<platform::UvcControlInterface>& controls) {
        controls.reset();
        if (s_->shutdown.load()) return platform::HR_MF_E_SHUTDOWN;
        bool any = false;
        if (cameraControl) {
            for (const auto& c : d_->desc.cameraControl) any = any || c.offered;
        } else {
            for (const auto& c : d_->desc.procAmp) any = any || c.offered;
        }
        if (!any) return platform::HR_E_NOINTERFACE;
        controls = std::make_shared<SimUvcControls>(m_, d_, s_, cameraControl);
        return platform::HR_S_OK;
    }

    std::shared_ptr<SimMachine> m_;
    std::shared_ptr<SimDevice> d_;
    std::shared_ptr<SourceState> s_;
};

bool IsVideoStream(uint32_t stream) { return stream == 0 || stream == mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM; }

}  // namespace

// ---- activation ----

SimActivation::SimActivation(std::shared_ptr<SimMachine> machine, std::shared_ptr<SimDevice> device,
                             uint64_t generation)
    : machine_(std::move(machine)), device_(std::move(device)), generation_(generation) {}

HResult SimActivation::GetAllocatedString(platform::DeviceString key, std::string& text) {
    const bool name = key == platform::DeviceString::FriendlyName;
    const HResult hr = machine_->CheckFault(*device_, name ? "friendlyName" : "symbolicLink");
    if (hr != platform::HR_S_OK) return hr;
    text = name ? device_->desc.name : device_->symbolicLink;
    return platform::HR_S_OK;
}

HResult SimActivation::ActivateObject(std::shared_ptr<platform::MediaSource>& source) {
    source.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    if (source_) {
        source = source_;
        return platform::HR_S_OK;
    }
    {
        std::lock_guard<std::mutex> machineLock(machine_->Mutex());
        if (!machine_->AliveLocked(*device_, generation_)) {
            return platform::HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
        }
    }
    const HResult hr = machine_->CheckFault(*device_, "activate");
    machine_->TraceEvent(device_.get(), "activate", [&](SimTrace::Line& line) { line["result"] = hr; });
    if (hr != platform::HR_S_OK) return hr;
    state_ = std::make_shared<SourceState>();
    state_->generation = generation_;
    source_ = std::make_shared<SimMediaSource>(machine_, device_, state_);
    source = source_;
    return platform::HR_S_OK;
}

HResult SimActivation::ShutdownObject() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_) {
        state_->shutdown.store(true);
        machine_->TraceEvent(device_.get(), "shutdown");
    }
    state_.reset();
    source_.reset();
    return platform::HR_S_OK;
}

// ---- reader ----

SimReaderCore::SimReaderCore(std::shared_ptr<SimMachine> machine, std::shared_ptr<SimDevice> device,
                             std::shared_ptr<SourceState> source, std::shared_ptr<platform::SampleCallback> callback)
    : machine_(std::move(machine)), device_(std::move(device)), source_(std::move(source)),
      callback_(std::move(callback)) {}

SimReaderCore::~SimReaderCore() {
    if (worker_.joinable()) worker_.detach();
}

void SimReaderCore::Start() {
    auto self = shared_from_this();
    worker_ = std::thread([self] { self->Run(); });
}

void SimReaderCore::DropRequestsLocked(std::unique_lock<std::mutex>&) {
    uint64_t dropped = 0;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->flushNotice) {
            ++it;
            continue;
        }
        if (it->deliverable) {
            ++dropped;
            machine_->Clock().EndWork();
        }
        it = queue_.erase(it);
    }
    if (dropped > 0) {
        std::lock_guard<std::mutex> machineLock(machine_->Mutex());
        device_->framesAccepted -= std::min(dropped, device_->framesAccepted);
    }
}

void SimReaderCore::Stop() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
        DropRequestsLocked(lock);
        // Flush notices not yet given.
        for (size_t i = 0; i < queue_.size(); ++i) machine_->Clock().EndWork();
        queue_.clear();
    }
    cv_.notify_all();
    if (worker_.joinable()) {
        // Released from inside its own callback: the worker ends by itself.
        if (worker_.get_id() == std::this_thread::get_id()) worker_.detach();
        else worker_.join();
    }
}

void SimReaderCore::OnDeviceGone() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone_ = true;
        // Stalled requests now end, with the device's failure.
        for (auto& item : queue_) {
            if (!item.flushNotice && !item.deliverable) {
                item.deliverable = true;
                machine_->Clock().BeginWork();
            }
        }
    }
    cv_.notify_all();
}

HResult SimReaderCore::GetNativeMediaType(uint32_t stream, uint32_t index, std::shared_ptr<platform::MediaType>& type) {
    type.reset();
    if (!IsVideoStream(stream)) return platform::HR_MF_E_INVALIDSTREAMNUMBER;
    HResult hr = VideoStatus(*machine_, *device_, *source_);
    if (hr != platform::HR_S_OK) return hr;
    {
        std::lock_guard<std::mutex> lock(machine_->Mutex());
        if (device_->busy) return device_->desc.busyCode;
        hr = machine_->CheckFaultLocked(*device_, "nativeType", -1);
    }
    if (hr != platform::HR_S_OK) return hr;
    if (index >= device_->nativeTypes.size()) return platform::HR_MF_E_NO_MORE_TYPES;
    type = std::make_shared<platform::MediaType>(*device_->nativeTypes[index]);
    return platform::HR_S_OK;
}

HResult SimReaderCore::SetCurrentMediaType(uint32_t stream, const platform::MediaType& type) {
    if (!IsVideoStream(stream)) return platform::HR_MF_E_INVALIDSTREAMNUMBER;
    HResult hr = VideoStatus(*machine_, *device_, *source_);
    if (hr == platform::HR_S_OK) hr = machine_->CheckFault(*device_, "setType");
    platform::Guid major, subtype;
    uint64_t size = 0, rate = 0;
    const bool hasRate = type.GetUINT64(mf::MF_MT_FRAME_RATE, rate) == platform::HR_S_OK;
    size_t match = device_->nativeTypes.size();
    if (hr == platform::HR_S_OK) {
        if (type.GetGUID(mf::MF_MT_MAJOR_TYPE, major) != platform::HR_S_OK ||
            type.GetGUID(mf::MF_MT_SUBTYPE, subtype) != platform::HR_S_OK ||
            type.GetUINT64(mf::MF_MT_FRAME_SIZE, size) != platform::HR_S_OK) {
            hr = platform::HR_MF_E_INVALIDMEDIATYPE;
        }
    }
    if (hr == platform::HR_S_OK) {
        for (size_t i = 0; i < device_->nativeTypes.size(); ++i) {
            const auto& n = *device_->nativeTypes[i];
            platform::Guid nMajor, nSubtype;
            uint64_t nSize = 0, nRate = 0;
            n.GetGUID(mf::MF_MT_MAJOR_TYPE, nMajor);
            n.GetGUID(mf::MF_MT_SUBTYPE, nSubtype);
            n.GetUINT64(mf::MF_MT_FRAME_SIZE, nSize);
            n.GetUINT64(mf::MF_MT_FRAME_RATE, nRate);
            if (nMajor == major && nSubtype == subtype && nSize == size && (!hasRate || nRate == rate)) {
                match = i;
                break;
            }
        }
        if (match == device_->nativeTypes.size()) hr = platform::HR_MF_E_INVALIDMEDIATYPE;
    }
    if (hr == platform::HR_S_OK) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            currentType_ = match;
            started_ = false;
            nextFrame_ = 0;
        }
        if (device_->model) {
            // Models see the short subtype name: "MFVideoFormat_MJPG" -> "MJPG".
            std::string name = mf::GuidName(subtype) != nullptr ? mf::GuidName(subtype) : "";
            const std::string prefix = "MFVideoFormat_";
            if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
            std::lock_guard<std::mutex> lock(device_->modelMutex);
            device_->model->OutputFormatChanged(platform::PairHigh(size), platform::PairLow(size), name);
        }
    }
    machine_->TraceEvent(device_.get(), "type.set", [&](SimTrace::Line& line) {
        const char* name = mf::GuidName(subtype);
        line["subtype"] = name != nullptr ? name : subtype.ToString();
        line["width"] = platform::PairHigh(size);
        line["height"] = platform::PairLow(size);
        if (hr == platform::HR_S_OK) line["index"] = match;
        line["result"] = hr;
    });
    return hr;
}

HResult SimReaderCore::GetCurrentMediaType(uint32_t stream, std::shared_ptr<platform::MediaType>& type) {
    type.reset();
    if (!IsVideoStream(stream)) return platform::HR_MF_E_INVALIDSTREAMNUMBER;
    const HResult hr = VideoStatus(*machine_, *device_, *source_);
    if (hr != platform::HR_S_OK) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    type = std::make_shared<platform::MediaType>(*device_->nativeTypes[currentType_]);
    return platform::HR_S_OK;
}

HResult SimReaderCore::ReadSample(uint32_t stream, uint32_t) {
    HResult hr = platform::HR_S_OK;
    if (!IsVideoStream(stream) && stream != mf::MF_SOURCE_READER_ANY_STREAM) hr = platform::HR_MF_E_INVALIDSTREAMNUMBER;
    if (hr == platform::HR_S_OK) hr = VideoStatus(*machine_, *device_, *source_);
    bool deliverable = false;
    if (hr == platform::HR_S_OK) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::lock_guard<std::mutex> machineLock(machine_->Mutex());
        if (device_->busy) hr = device_->desc.busyCode;
        if (hr == platform::HR_S_OK) hr = machine_->CheckFaultLocked(*device_, "readSample", -1);
        if (hr == platform::HR_S_OK && stopping_) hr = platform::HR_MF_E_SHUTDOWN;
        if (hr == platform::HR_S_OK) {
            const int64_t stall = device_->desc.stallAfterFrames;
            deliverable = gone_ || stall < 0 || device_->framesAccepted < static_cast<uint64_t>(stall);
            if (deliverable) {
                ++device_->framesAccepted;
                machine_->Clock().BeginWork();
            }
            queue_.push_back(Item{false, stream, nextSeq_++, deliverable});
        }
    }
    if (hr == platform::HR_S_OK) cv_.notify_all();
    machine_->TraceEvent(device_.get(), "sample.request", [&](SimTrace::Line& line) {
        line["stream"] = stream;
        line["result"] = hr;
        if (hr == platform::HR_S_OK && !deliverable) line["stalled"] = true;
    });
    return hr;
}

HResult SimReaderCore::Flush(uint32_t stream) {
    HResult hr = platform::HR_S_OK;
    if (!IsVideoStream(stream) && stream != mf::MF_SOURCE_READER_ALL_STREAMS) hr = platform::HR_MF_E_INVALIDSTREAMNUMBER;
    if (hr == platform::HR_S_OK && source_->shutdown.load()) hr = platform::HR_MF_E_SHUTDOWN;
    if (hr == platform::HR_S_OK) hr = machine_->CheckFault(*device_, "flush");
    size_t dropped = 0;
    if (hr == platform::HR_S_OK) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (const auto& item : queue_) dropped += item.flushNotice ? 0 : 1;
        DropRequestsLocked(lock);
        queue_.push_back(Item{true, stream, nextSeq_++, true});
        machine_->Clock().BeginWork();  // the notice is pending work too
        lock.unlock();
        cv_.notify_all();
    }
    machine_->TraceEvent(device_.get(), "flush", [&](SimTrace::Line& line) {
        line["stream"] = stream;
        line["dropped"] = dropped;
        line["result"] = hr;
    });
    return hr;
}

void SimReaderCore::Run() {
    SimClock& clock = machine_->Clock();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] {
            return stopping_ || (!queue_.empty() && (queue_.front().flushNotice || queue_.front().deliverable));
        });
        if (stopping_) break;
        const Item item = queue_.front();
        if (item.flushNotice) {
            queue_.pop_front();
            lock.unlock();
            callback_->OnFlush(item.stream);
            clock.EndWork();
            lock.lock();
            continue;
        }

        // When the next frame is due: the first sensor frame at or after now.
        const FormatDescription& format = device_->desc.formats[currentType_];
        uint64_t frame = nextFrame_;
        int64_t due = clock.NowUs();
        int64_t timestamp = due * 10;  // 100-ns units
        if (!gone_ && machine_->FrameRateLimit()) {
            const int64_t now = due;
            if (!started_) {
                started_ = true;
                startUs_ = now;
                nextFrame_ = 0;
                frame = 0;
            }
            const double periodUs = 1e6 * format.rateDenominator / format.rateNumerator;
            auto timeOf = [&](uint64_t k) {
                return startUs_ + static_cast<int64_t>(std::llround(static_cast<double>(k) * periodUs));
            };
            const double elapsed = static_cast<double>(now - startUs_);
            uint64_t k = static_cast<uint64_t>(std::max(0.0, std::ceil(elapsed / periodUs - 1e-9)));
            while (timeOf(k) < now) ++k;
            frame = std::max(k, nextFrame_);
            due = timeOf(frame);
            timestamp = startUs_ * 10 + static_cast<int64_t>(std::llround(static_cast<double>(frame) * periodUs * 10));
            if (clock.Simulated()) {
                clock.AdvanceTo(due);
            } else {
                const uint64_t seq = item.seq;
                const bool interrupted = cv_.wait_until(lock, clock.WallTimeOf(due), [&] {
                    return stopping_ || gone_ || queue_.empty() || queue_.front().seq != seq;
                });
                if (interrupted) continue;  // flushed, stopped or unplugged meanwhile
            }
        }
        queue_.pop_front();
        nextFrame_ = frame + 1;
        const bool goneAtStart = gone_;
        lock.unlock();

        // The device's answer.
        HResult status = platform::HR_S_OK;
        uint32_t flags = 0;
        bool unplugNow = false;
        if (source_->shutdown.load()) {
            status = platform::HR_MF_E_SHUTDOWN;
        } else {
            std::lock_guard<std::mutex> machineLock(machine_->Mutex());
            if (goneAtStart || !machine_->AliveLocked(*device_, source_->generation)) {
                status = platform::HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
            } else if (device_->desc.disappearAfterFrames >= 0 &&
                       device_->framesDelivered >= static_cast<uint64_t>(device_->desc.disappearAfterFrames)) {
                status = platform::HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED;
                unplugNow = true;
            } else {
                status = machine_->CheckFaultLocked(*device_, "sample", -1);
                if (status == platform::HR_S_OK) ++device_->framesDelivered;
            }
        }
        if (unplugNow) machine_->Unplug(*device_);

        std::shared_ptr<platform::Sample> sample;
        if (status == platform::HR_S_OK) {
            sample = std::make_shared<platform::Sample>(
                pattern::EncodeFrame(format.format, frame, format.width, format.height), timestamp);
        } else {
            flags |= mf::MF_SOURCE_READERF_ERROR;
        }
        machine_->TraceEvent(device_.get(), "sample.deliver", [&](SimTrace::Line& line) {
            line["stream"] = item.stream;
            line["status"] = status;
            line["flags"] = flags;
            if (sample) {
                line["frame"] = frame;
                line["format"] = PixelFormatName(format.format);
                line["timestamp"] = timestamp;
                line["length"] = sample->GetCurrentLength();
            }
        });
        callback_->OnReadSample(status, 0, flags, timestamp, sample);
        clock.EndWork();
        lock.lock();
    }
}

}  // namespace sv::sim
