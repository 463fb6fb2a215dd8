#include "platform/linux/LinuxBackend.h"

#include <fcntl.h>

#include <cstring>
#include <mutex>

#include "base/Logger.h"
#include "platform/linux/ExtensionUnit.h"
#include "platform/linux/LinuxReader.h"
#include "platform/linux/StreamBuffers.h"
#include "platform/linux/UsbTree.h"
#include "platform/linux/UvcControls.h"
#include "platform/linux/VideoNodes.h"

namespace sv::platform::v4l2 {
namespace {

class LinuxMediaSource final : public MediaSource {
public:
    LinuxMediaSource(std::shared_ptr<SysCalls> calls, VideoNode node)
        : calls_(std::move(calls)), node_(std::move(node)), devicePath_(node_.devicePath) {}

    HResult CreateSourceReader(std::shared_ptr<SampleCallback> callback,
                               std::shared_ptr<SourceReader>& reader) override {
        reader.reset();
        if (!callback) return HR_E_POINTER;
        std::vector<std::shared_ptr<const MediaType>> types;
        const HResult hr = ReadNativeTypes(*calls_, devicePath_, types);
        if (Failed(hr)) return hr;
        return CreateLinuxReader(calls_, devicePath_, std::move(types), std::move(callback), reader);
    }
    HResult QueryVideoProcAmp(std::shared_ptr<UvcControlInterface>& controls) override {
        return QueryControls(false, controls);
    }
    HResult QueryCameraControl(std::shared_ptr<UvcControlInterface>& controls) override {
        return QueryControls(true, controls);
    }
    HResult QueryTopologyInfo(std::shared_ptr<KsTopologyInfo>& topology) override {
        topology.reset();
        std::shared_ptr<NodeFile> file;
        const HResult hr = ControlFile(file);
        if (Failed(hr)) return hr;
        std::vector<UvcEntity> entities = ParseVideoControlEntities(ReadUsbDescriptors(node_), node_.interfaceNumber);
        if (entities.empty()) SV_LOGD("LinuxMediaSource::QueryTopologyInfo", "{}: no units in the USB descriptors", devicePath_);
        return CreateLinuxTopology(std::move(file), std::move(entities), topology);
    }

private:
    HResult QueryControls(bool cameraTerminal, std::shared_ptr<UvcControlInterface>& controls) {
        controls.reset();
        std::shared_ptr<NodeFile> file;
        const HResult hr = ControlFile(file);
        if (Failed(hr)) return hr;
        return CreateUvcControls(std::move(file), cameraTerminal, controls);
    }

    // The node as the control path uses it, opened once per source (controls
    // work beside a stream on another descriptor).
    HResult ControlFile(std::shared_ptr<NodeFile>& file) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!controlFile_) {
            const int fd = calls_->Open(devicePath_, O_RDWR | O_NONBLOCK);
            if (fd < 0) {
                SV_LOGE("LinuxMediaSource", "{}: open failed ({})", devicePath_, std::strerror(-fd));
                return HResultFromErrno(fd);
            }
            controlFile_ = std::make_shared<NodeFile>(calls_, fd);
        }
        file = controlFile_;
        return HR_S_OK;
    }

    std::shared_ptr<SysCalls> calls_;
    const VideoNode node_;
    const std::string devicePath_;
    std::mutex mutex_;
    std::shared_ptr<NodeFile> controlFile_;
};

class LinuxActivation final : public DeviceActivation {
public:
    LinuxActivation(std::shared_ptr<Backend> backend, std::shared_ptr<SysCalls> calls, VideoNode node)
        : backend_(std::move(backend)), calls_(std::move(calls)), node_(std::move(node)) {}

    HResult GetAllocatedString(DeviceString key, std::string& text) override {
        switch (key) {
        // A USB camera is named by its product string, as the system names
        // it elsewhere; uvcvideo's card name adds the interface's name to
        // it and is cut at 31 characters ("KIVO-AR0234 Camera: KIVO-AR0234").
        case DeviceString::FriendlyName: text = node_.product.empty() ? node_.card : node_.product; return HR_S_OK;
        case DeviceString::SymbolicLink: text = SymbolicLink(node_); return HR_S_OK;
        }
        return HR_MF_E_ATTRIBUTENOTFOUND;
    }
    HResult ActivateObject(std::shared_ptr<MediaSource>& source) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!source_) source_ = std::make_shared<LinuxMediaSource>(calls_, node_);
        source = source_;
        return HR_S_OK;
    }
    HResult ShutdownObject() override {
        std::lock_guard<std::mutex> lock(mutex_);
        source_.reset();
        return HR_S_OK;
    }

private:
    std::shared_ptr<Backend> backend_;  // keeps the back-end alive while a camera holds the device
    std::shared_ptr<SysCalls> calls_;
    VideoNode node_;
    std::mutex mutex_;
    std::shared_ptr<MediaSource> source_;
};

class LinuxBackend final : public NativeBackend, public std::enable_shared_from_this<LinuxBackend> {
public:
    LinuxBackend(std::shared_ptr<SysCalls> calls, std::shared_ptr<Clock> clock)
        : NativeBackend(std::move(clock)), calls_(std::move(calls)) {}

    HResult EnumDeviceSources(std::vector<std::shared_ptr<DeviceActivation>>& devices) override {
        devices.clear();
        std::vector<UnlistedDevice> unlisted;
        for (VideoNode& node : EnumerateVideoNodes(*calls_, &unlisted)) {
            devices.push_back(std::make_shared<LinuxActivation>(shared_from_this(), calls_, std::move(node)));
        }
        std::lock_guard<std::mutex> lock(unlistedMutex_);
        unlisted_ = std::move(unlisted);
        return HR_S_OK;
    }
    std::vector<UnlistedDevice> UnlistedDevices() override {
        std::lock_guard<std::mutex> lock(unlistedMutex_);
        return unlisted_;
    }

    HResult OpenHostController(uint32_t number, std::shared_ptr<UsbHostController>& hc) override {
        return OpenUsbHostController(*calls_, number, hc);
    }
    HResult OpenHub(const std::string& path, std::shared_ptr<UsbHub>& hub) override {
        return OpenUsbHub(*calls_, path, hub);
    }
    HResult GetClassDevs(DeviceSetKind kind, std::shared_ptr<DeviceInfoSet>& set) override {
        std::vector<DeviceInfoSnapshot::Entry> entries;
        // From sysfs alone: the serial lookup asks for these sets twice per
        // camera, and opening a node can wake its device.
        for (const VideoNode& node : ListUsbVideoNodes(*calls_)) {
            entries.push_back({DeviceInstanceId(node), node.usbDevice});
            if (kind == DeviceSetKind::UsbEnumerator) entries.push_back({InterfaceInstanceId(node), node.usbDevice});
        }
        set = std::make_shared<DeviceInfoSnapshot>(std::move(entries));
        return HR_S_OK;
    }
    uint16_t GetSystemDefaultLangId() override { return 0x0409; }

private:
    std::shared_ptr<SysCalls> calls_;
    std::mutex unlistedMutex_;
    std::vector<UnlistedDevice> unlisted_;  // from the last enumeration
};

const bool kRegistered =
    RegisterBackend("native", [] { return CreateLinuxBackend(RealSysCalls()); });

}  // namespace

std::shared_ptr<Backend> CreateLinuxBackend(std::shared_ptr<SysCalls> calls, std::shared_ptr<Clock> clock) {
    return std::make_shared<LinuxBackend>(std::move(calls), std::move(clock));
}

bool LinuxBackendRegistered() { return kRegistered; }

}  // namespace sv::platform::v4l2
