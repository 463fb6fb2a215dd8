#include "platform/windows/WinCapture.h"

#include "platform/windows/WinCommon.h"

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <ksproxy.h>
#include <strmif.h>

#include <atomic>
#include <exception>
#include <mutex>

#include "base/Logger.h"

namespace sv::platform::win {
namespace {

// {28F54685-06FD-11D2-B27A-00A0C9223196}
constexpr GUID kIID_IKsControl = {0x28F54685, 0x06FD, 0x11D2, {0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

// COM on the calling thread (multithreaded apartment), once per thread. A
// thread its host already put into another apartment keeps it.
void EnsureCom() {
    thread_local bool initialised = false;
    if (initialised) return;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    initialised = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
}

// The capture platform is started once and left running for the process: its
// objects may be held by cameras until the very end.
HResult EnsurePlatform() {
    EnsureCom();
    static const HRESULT started = MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET);
    return started;
}

}  // namespace

// ---- media types ------------------------------------------------------------

HResult ToSeamType(IMFAttributes* source, MediaType& type) {
    UINT32 count = 0;
    HRESULT hr = source->GetCount(&count);
    if (FAILED(hr)) return hr;
    for (UINT32 i = 0; i < count; ++i) {
        GUID key;
        PROPVARIANT value;
        PropVariantInit(&value);
        hr = source->GetItemByIndex(i, &key, &value);
        if (FAILED(hr)) return hr;
        AttributeValue item;
        bool known = true;
        switch (value.vt) {
        case VT_UI4: item = AttributeValue::UInt32(value.ulVal); break;
        case VT_UI8: item = AttributeValue::UInt64(value.uhVal.QuadPart); break;
        case VT_R8: item = AttributeValue::Double(value.dblVal); break;
        case VT_CLSID: item = AttributeValue::FromGuid(FromGUID(*value.puuid)); break;
        case VT_LPWSTR: item = AttributeValue::String(Utf8(value.pwszVal)); break;
        case VT_VECTOR | VT_UI1:
            item = AttributeValue::Blob(std::vector<uint8_t>(value.caub.pElems, value.caub.pElems + value.caub.cElems));
            break;
        case VT_UNKNOWN:
            // An interface pointer has no meaning beyond this process's COM
            // objects; the seam keeps only that there is one.
            item = AttributeValue::Unknown(nullptr);
            break;
        default: known = false; break;
        }
        PropVariantClear(&value);
        if (known) type.SetItem(FromGUID(key), std::move(item));
    }
    return S_OK;
}

HResult FromSeamType(const MediaType& type, ComPtr<IMFMediaType>& out) {
    HRESULT hr = MFCreateMediaType(out.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    for (const MediaType::Item& item : type.Items()) {
        const GUID key = ToGUID(item.key);
        const AttributeValue& v = item.value;
        switch (v.Type()) {
        case AttributeType::UInt32: hr = out->SetUINT32(key, v.AsUInt32()); break;
        case AttributeType::UInt64: hr = out->SetUINT64(key, v.AsUInt64()); break;
        case AttributeType::Double: hr = out->SetDouble(key, v.AsDouble()); break;
        case AttributeType::Guid: {
            const GUID g = ToGUID(v.AsGuid());
            hr = out->SetGUID(key, g);
            break;
        }
        case AttributeType::String: hr = out->SetString(key, Utf16(v.AsString()).c_str()); break;
        case AttributeType::Blob:
            hr = out->SetBlob(key, v.AsBlob().data(), static_cast<UINT32>(v.AsBlob().size()));
            break;
        case AttributeType::Unknown: hr = S_OK; break;  // nothing to carry back
        }
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// ---- samples and the reader's callback ----------------------------------------

// The seam's sample is a view of the platform's locked buffer: the frame is
// copied once, by the streamer into the caller's buffer, and letting go of the
// sample unlocks the buffer and gives it back to the platform.
std::shared_ptr<Sample> ToSeamSample(IMFSample* sample, int64_t timestamp) {
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = sample->ConvertToContiguousBuffer(buffer.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return std::make_shared<Sample>(std::vector<uint8_t>{}, timestamp, hr);
    BYTE* data = nullptr;
    DWORD length = 0;
    hr = buffer->Lock(&data, nullptr, &length);
    if (FAILED(hr)) return std::make_shared<Sample>(std::vector<uint8_t>{}, timestamp, hr);
    LONGLONG time = timestamp;
    sample->GetSampleTime(&time);
    std::shared_ptr<void> lease(buffer.Detach(), [](void* locked) {
        auto* lockedBuffer = static_cast<IMFMediaBuffer*>(locked);
        lockedBuffer->Unlock();
        lockedBuffer->Release();
    });
    return std::make_shared<Sample>(data, static_cast<uint32_t>(length), std::move(lease), time);
}

namespace {

class ReaderCallback final : public IMFSourceReaderCallback {
public:
    explicit ReaderCallback(std::shared_ptr<SampleCallback> target) : target_(std::move(target)) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(IMFSourceReaderCallback)) {
            *object = static_cast<IMFSourceReaderCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // No exception may leave a platform callback: the platform's worker
    // thread would end the process.
    STDMETHODIMP OnReadSample(HRESULT status, DWORD stream, DWORD flags, LONGLONG timestamp,
                              IMFSample* sample) override {
        try {
            std::shared_ptr<Sample> seamSample;
            if (SUCCEEDED(status) && sample) seamSample = ToSeamSample(sample, timestamp);
            target_->OnReadSample(status, stream, flags, timestamp, seamSample);
        } catch (const std::exception& e) {
            SV_LOGE("ReaderCallback::OnReadSample", "Sample delivery failed: {}", e.what());
        } catch (...) {
            SV_LOGE("ReaderCallback::OnReadSample", "Sample delivery failed");
        }
        return S_OK;
    }
    STDMETHODIMP OnFlush(DWORD stream) override {
        try {
            target_->OnFlush(stream);
        } catch (...) {
            SV_LOGE("ReaderCallback::OnFlush", "Flush delivery failed");
        }
        return S_OK;
    }
    STDMETHODIMP OnEvent(DWORD, IMFMediaEvent*) override { return S_OK; }

private:
    ~ReaderCallback() = default;
    std::atomic<ULONG> references_{1};
    std::shared_ptr<SampleCallback> target_;
};

}  // namespace

ComPtr<IMFSourceReaderCallback> MakeReaderCallback(std::shared_ptr<SampleCallback> target) {
    ComPtr<IMFSourceReaderCallback> callback;
    callback.Attach(new ReaderCallback(std::move(target)));
    return callback;
}

namespace {

class WinSourceReader final : public SourceReader {
public:
    explicit WinSourceReader(ComPtr<IMFSourceReader> reader) : reader_(std::move(reader)) {}

    HResult GetNativeMediaType(uint32_t stream, uint32_t index, std::shared_ptr<MediaType>& type) override {
        EnsureCom();
        type.reset();
        ComPtr<IMFMediaType> native;
        const HRESULT hr = reader_->GetNativeMediaType(stream, index, native.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        auto converted = std::make_shared<MediaType>();
        const HResult result = ToSeamType(native.Get(), *converted);
        if (Succeeded(result)) type = std::move(converted);
        return result;
    }
    HResult SetCurrentMediaType(uint32_t stream, const MediaType& type) override {
        EnsureCom();
        ComPtr<IMFMediaType> native;
        const HResult hr = FromSeamType(type, native);
        if (Failed(hr)) return hr;
        return reader_->SetCurrentMediaType(stream, nullptr, native.Get());
    }
    HResult GetCurrentMediaType(uint32_t stream, std::shared_ptr<MediaType>& type) override {
        EnsureCom();
        type.reset();
        ComPtr<IMFMediaType> current;
        const HRESULT hr = reader_->GetCurrentMediaType(stream, current.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        auto converted = std::make_shared<MediaType>();
        const HResult result = ToSeamType(current.Get(), *converted);
        if (Succeeded(result)) type = std::move(converted);
        return result;
    }
    HResult ReadSample(uint32_t stream, uint32_t controlFlags) override {
        EnsureCom();
        // Asynchronous mode: every out pointer stays null, the answer comes to the callback.
        return reader_->ReadSample(stream, controlFlags, nullptr, nullptr, nullptr, nullptr);
    }
    HResult Flush(uint32_t stream) override {
        EnsureCom();
        return reader_->Flush(stream);
    }

private:
    ComPtr<IMFSourceReader> reader_;
};

// ---- controls -----------------------------------------------------------------

// VideoProcAmp and CameraControl have the same shape but no common base.
template <typename Interface>
class WinUvcControls final : public UvcControlInterface {
public:
    explicit WinUvcControls(ComPtr<Interface> controls) : controls_(std::move(controls)) {}

    HResult Get(int32_t property, int32_t& value, int32_t& flags) override {
        EnsureCom();
        long v = 0;
        long f = 0;
        const HRESULT hr = controls_->Get(property, &v, &f);
        if (SUCCEEDED(hr)) {
            value = static_cast<int32_t>(v);
            flags = static_cast<int32_t>(f);
        }
        return hr;
    }
    HResult Set(int32_t property, int32_t value, int32_t flags) override {
        EnsureCom();
        return controls_->Set(property, value, flags);
    }
    HResult GetRange(int32_t property, int32_t& minimum, int32_t& maximum, int32_t& step,
                     int32_t& defaultValue, int32_t& capsFlags) override {
        EnsureCom();
        long mn = 0, mx = 0, st = 0, df = 0, caps = 0;
        const HRESULT hr = controls_->GetRange(property, &mn, &mx, &st, &df, &caps);
        if (SUCCEEDED(hr)) {
            minimum = static_cast<int32_t>(mn);
            maximum = static_cast<int32_t>(mx);
            step = static_cast<int32_t>(st);
            defaultValue = static_cast<int32_t>(df);
            capsFlags = static_cast<int32_t>(caps);
        }
        return hr;
    }

private:
    ComPtr<Interface> controls_;
};

class WinKsControl final : public KsControl {
public:
    explicit WinKsControl(ComPtr<IKsControl> control) : control_(std::move(control)) {}

    HResult KsProperty(const ks::PropertyNodeRequest& request, uint8_t* data, uint32_t dataLength,
                       uint32_t& bytesReturned) override {
        EnsureCom();
        KSP_NODE node{};
        node.Property.Set = ToGUID(request.set);
        node.Property.Id = request.id;
        node.Property.Flags = request.flags;
        node.NodeId = request.nodeId;
        node.Reserved = request.reserved;
        ULONG returned = 0;
        const HRESULT hr = control_->KsProperty(reinterpret_cast<PKSPROPERTY>(&node), sizeof(node), data,
                                                dataLength, &returned);
        bytesReturned = static_cast<uint32_t>(returned);
        return hr;
    }

private:
    ComPtr<IKsControl> control_;
};

class WinTopology final : public KsTopologyInfo {
public:
    explicit WinTopology(ComPtr<IKsTopologyInfo> topology) : topology_(std::move(topology)) {}

    HResult GetNumNodes(uint32_t& count) override {
        EnsureCom();
        DWORD nodes = 0;
        const HRESULT hr = topology_->get_NumNodes(&nodes);
        count = static_cast<uint32_t>(nodes);
        return hr;
    }
    HResult CreateNodeInstance(uint32_t nodeId, std::shared_ptr<KsControl>& control) override {
        EnsureCom();
        control.reset();
        ComPtr<IKsControl> node;
        const HRESULT hr = topology_->CreateNodeInstance(nodeId, kIID_IKsControl,
                                                         reinterpret_cast<void**>(node.ReleaseAndGetAddressOf()));
        if (SUCCEEDED(hr)) control = std::make_shared<WinKsControl>(std::move(node));
        return hr;
    }

private:
    ComPtr<IKsTopologyInfo> topology_;
};

// ---- media source and activation ---------------------------------------------

class WinMediaSource final : public MediaSource {
public:
    explicit WinMediaSource(ComPtr<IMFMediaSource> source) : source_(std::move(source)) {}

    HResult CreateSourceReader(std::shared_ptr<SampleCallback> callback,
                               std::shared_ptr<SourceReader>& reader) override {
        EnsureCom();
        reader.reset();
        if (!callback) return E_POINTER;
        ComPtr<IMFAttributes> attributes;
        HRESULT hr = MFCreateAttributes(attributes.ReleaseAndGetAddressOf(), 1);
        if (FAILED(hr)) return hr;
        ComPtr<IMFSourceReaderCallback> platformCallback = MakeReaderCallback(std::move(callback));
        hr = attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, platformCallback.Get());
        if (FAILED(hr)) return hr;
        ComPtr<IMFSourceReader> platformReader;
        hr = MFCreateSourceReaderFromMediaSource(source_.Get(), attributes.Get(), platformReader.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        reader = std::make_shared<WinSourceReader>(std::move(platformReader));
        return S_OK;
    }
    HResult QueryVideoProcAmp(std::shared_ptr<UvcControlInterface>& controls) override {
        return Query<IAMVideoProcAmp>(IID_IAMVideoProcAmp, controls);
    }
    HResult QueryCameraControl(std::shared_ptr<UvcControlInterface>& controls) override {
        return Query<IAMCameraControl>(IID_IAMCameraControl, controls);
    }
    HResult QueryTopologyInfo(std::shared_ptr<KsTopologyInfo>& topology) override {
        EnsureCom();
        topology.reset();
        ComPtr<IKsTopologyInfo> info;
        const HRESULT hr = source_->QueryInterface(kIID_IKsTopologyInfo, reinterpret_cast<void**>(info.ReleaseAndGetAddressOf()));
        if (SUCCEEDED(hr)) topology = std::make_shared<WinTopology>(std::move(info));
        return hr;
    }

    void Shutdown() { source_->Shutdown(); }

private:
    template <typename Interface>
    HResult Query(REFIID iid, std::shared_ptr<UvcControlInterface>& controls) {
        EnsureCom();
        controls.reset();
        ComPtr<Interface> platformControls;
        const HRESULT hr = source_->QueryInterface(iid, reinterpret_cast<void**>(platformControls.ReleaseAndGetAddressOf()));
        if (SUCCEEDED(hr)) controls = std::make_shared<WinUvcControls<Interface>>(std::move(platformControls));
        return hr;
    }

    ComPtr<IMFMediaSource> source_;
};

class WinActivation final : public DeviceActivation {
public:
    explicit WinActivation(ComPtr<IMFActivate> activate) : activate_(std::move(activate)) {}

    HResult GetAllocatedString(DeviceString key, std::string& text) override {
        EnsureCom();
        const GUID& attribute = key == DeviceString::FriendlyName
                                    ? MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME
                                    : MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK;
        WCHAR* value = nullptr;
        UINT32 length = 0;
        const HRESULT hr = activate_->GetAllocatedString(attribute, &value, &length);
        if (FAILED(hr)) return hr;
        text = Utf8(value, static_cast<int>(length));
        CoTaskMemFree(value);
        return S_OK;
    }
    HResult ActivateObject(std::shared_ptr<MediaSource>& source) override {
        EnsureCom();
        std::lock_guard<std::mutex> lock(mutex_);
        if (!source_) {
            ComPtr<IMFMediaSource> platformSource;
            const HRESULT hr = activate_->ActivateObject(__uuidof(IMFMediaSource), reinterpret_cast<void**>(platformSource.ReleaseAndGetAddressOf()));
            if (FAILED(hr)) return hr;
            source_ = std::make_shared<WinMediaSource>(std::move(platformSource));
        }
        source = source_;
        return S_OK;
    }
    HResult ShutdownObject() override {
        EnsureCom();
        std::lock_guard<std::mutex> lock(mutex_);
        source_.reset();
        return activate_->ShutdownObject();
    }

private:
    ComPtr<IMFActivate> activate_;
    std::mutex mutex_;
    std::shared_ptr<WinMediaSource> source_;
};

}  // namespace

HResult EnumerateCaptureDevices(std::vector<std::shared_ptr<DeviceActivation>>& devices) {
    devices.clear();
    HRESULT hr = EnsurePlatform();
    if (FAILED(hr)) return hr;
    ComPtr<IMFAttributes> attributes;
    hr = MFCreateAttributes(attributes.ReleaseAndGetAddressOf(), 1);
    if (FAILED(hr)) return hr;
    hr = attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
    if (FAILED(hr)) return hr;
    IMFActivate** found = nullptr;
    UINT32 count = 0;
    hr = MFEnumDeviceSources(attributes.Get(), &found, &count);
    if (FAILED(hr)) return hr;
    for (UINT32 i = 0; i < count; ++i) {
        ComPtr<IMFActivate> activate;
        activate.Attach(found[i]);  // takes over the reference the array holds
        devices.push_back(std::make_shared<WinActivation>(std::move(activate)));
    }
    CoTaskMemFree(found);
    return S_OK;
}

}  // namespace sv::platform::win
