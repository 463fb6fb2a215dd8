// The legacy camera class's own enumeration, reader, formats and frames. The
// sample callback, the description text with its parse and the decoder rule
// are the platform streamer's.

#include <sorvansdk/SorvanCam.h>

#include <cstdio>
#include <stdexcept>

#include "base/PixelFormat.h"
#include "legacy/SorvanCamInternal.h"
#include "legacy/SzText.h"
#include "platform/CameraStreamer.h"
#include "platform/MediaTypeText.h"
#include "platform/backend/Backend.h"
#include "platform/backend/MfIds.h"

using namespace sv::platform;
using sv::legacy::Guarded;
using sv::legacy::Utf8FromWide;
using sv::legacy::WideFromUtf8;

namespace {

constexpr std::size_t kHardwareIdLength = 17;

SvFormat ToSvFormat(const SzFormat& f) {
    SvFormat out{};
    out.mediatypeIdx = f.mediatypeIdx;
    out.width = f.width;
    out.height = f.height;
    out.framerate = f.framerate;
    out.format = static_cast<SV_IMAGE_FORMAT>(f.format);
    return out;
}

void PrintStepFailed(const char* step, HResult hr) {
    std::printf("info: Function: %s, %s failed, Error code: 0x%.2x \n", "SorvanCam::InitVideoDevice", step,
                static_cast<unsigned>(hr));
    std::fflush(stdout);
}

}  // namespace

long SorvanCam::GetVideoDevices() {
    constexpr const char* kWhere = "SorvanCam::GetVideoDevices";
    delete attributes;
    attributes = nullptr;
    delete[] activations;
    activations = nullptr;
    activationCount = 0;

    attributes = new SzAttributeStore();
    std::vector<std::shared_ptr<DeviceActivation>> found;
    const HResult result = GetBackend()->EnumDeviceSources(found);
    if (Succeeded(result) && !found.empty()) {
        activations = new std::shared_ptr<DeviceActivation>[found.size()];
        for (std::size_t i = 0; i < found.size(); ++i) activations[i] = found[i];
        activationCount = static_cast<uint32_t>(found.size());
    }

    deviceNames.clear();
    hardwareIds.clear();
    devicePaths.clear();
    try {
        for (uint32_t i = 0; i < activationCount; ++i) {
            const int key = static_cast<int>(i);
            std::string name;
            std::string link;
            // A text that cannot be read is stored empty.
            if (!activations[i] || Failed(activations[i]->GetAllocatedString(DeviceString::FriendlyName, name))) {
                name.clear();
            }
            if (!activations[i] || Failed(activations[i]->GetAllocatedString(DeviceString::SymbolicLink, link))) {
                link.clear();
            }
            const auto usb = link.find("usb");
            deviceNames[key] = WideFromUtf8(name);
            if (usb != std::string::npos && usb + 4 <= link.size()) {
                hardwareIds[key] = WideFromUtf8(link.substr(usb + 4, kHardwareIdLength));
                devicePaths[key] = WideFromUtf8(link);
            } else {
                hardwareIds[key] = L"";
                devicePaths[key] = L"";
            }
        }
    } catch (const std::exception& e) {
        SZ_LINE(Error, kWhere, "exception %s", e.what());
    }
    return result;
}

int SorvanCam::GetVideoDeviceList(std::vector<std::wstring>& names) {
    return Guarded("SorvanCam::GetVideoDeviceList", -1, [&] {
        names.clear();
        (void)GetVideoDevices();
        for (std::size_t i = 0; i < deviceNames.size(); ++i) names.push_back(deviceNames[static_cast<int>(i)]);
        return 0;
    });
}

long SorvanCam::InitVideoDevice() {
    if (GetVideoDevices() != 0) return -1;
    auto backend = GetBackend();
    auto event = backend->NewEvent();
    if (!event) return HR_E_FAIL;
    readerCallback.reset();
    sourceReader.reset();  // a failure below leaves no reader of an older opening
    if (!attributes) attributes = new SzAttributeStore();
    try {
        readerCallback = std::make_shared<SourceReaderCB>(event);
    } catch (const std::bad_alloc&) {
        readerCallback.reset();
        return HR_E_OUTOFMEMORY;
    }
    attributes->asyncCallback = readerCallback;

    // An index of an older enumeration that the fresh one no longer reaches.
    if (deviceIndex >= activationCount || !activations[deviceIndex]) return -1;
    // The control's transfers share the device's lock with every other
    // object on it, the current interface's cameras included.
    std::string link;
    if (Failed(activations[deviceIndex]->GetAllocatedString(DeviceString::SymbolicLink, link))) link.clear();
    cameraControl->BindDevice(link);
    std::shared_ptr<MediaSource> source;
    HResult hr = 0;
    try {
        hr = activations[deviceIndex]->ActivateObject(source);
    } catch (...) {
        SZ_LINE0(Error, "SorvanCam::InitVideoDevice", "ActivateObject Error!");
        return -1;
    }
    if (Succeeded(hr) && !source) hr = HR_E_POINTER;
    if (Failed(hr)) {
        PrintStepFailed("Activating video device", hr);
        return hr;
    }
    cameraControl->SetMediaSource(source);

    std::shared_ptr<SourceReader> reader;
    hr = source->CreateSourceReader(attributes->asyncCallback, reader);
    if (Succeeded(hr) && !reader) hr = HR_E_POINTER;
    if (Failed(hr)) {
        PrintStepFailed("Creating video source reader", hr);
        return hr;
    }
    sourceReader = reader;
    return hr;
}

std::wstring SorvanCam::GetMediaTypeDescriptions(const MediaType* type) {
    return WideFromUtf8(sv::platform::GetMediaTypeDescriptions(type));
}

long SorvanCam::EnumerateTypesForStream(uint32_t stream, std::vector<SzFormat>& formats) {
    formats.clear();
    for (uint32_t i = 0;; ++i) {
        if (i == kNameableNativeTypes) {
            const uint32_t rest = CountNativeTypesFrom(*sourceReader, stream, i);
            if (rest > 0) {
                SZ_LINE(Warn, "SorvanCam::EnumerateTypesForStream",
                        "The device offers %u native types; a format index names the first %u, the other %u are "
                        "left out of the format list",
                        static_cast<unsigned>(i + rest), static_cast<unsigned>(i), static_cast<unsigned>(rest));
            }
            return 0;
        }
        std::shared_ptr<MediaType> type;
        const HResult hr = sourceReader->GetNativeMediaType(stream, i, type);
        if (hr == HR_MF_E_NO_MORE_TYPES) return 0;
        if (Failed(hr)) return hr;
        const std::string description = Utf8FromWide(GetMediaTypeDescriptions(type.get()));
        const SvFormat parsed = ParseSzFormatInfo(description);
        SzFormat format{};
        format.mediatypeIdx = static_cast<uint8_t>(i);
        format.width = parsed.width;
        format.height = parsed.height;
        format.framerate = parsed.framerate;
        format.format = parsed.format;
        formats.push_back(format);
        SZ_LINE(Trace, "SorvanCam::EnumerateTypesForStream", "Descrpition: %s", description.c_str());
    }
}

int SorvanCam::GetCaptureFormatList(std::vector<SzFormat>& formats) {
    formats.clear();
    if (!sourceReader) return -1;  // not open
    try {
        (void)EnumerateTypesForStream(0, formats);
        return 0;
    } catch (...) {
        return -1;
    }
}

int SorvanCam::SetCaptureFormat(SzFormat format) {
    constexpr const char* kWhere = "SorvanCam::SetCaptureFormat";
    return Guarded(kWhere, -1, [&] {
        currentFormat = format;
        // A frame kept in the callback (refused for a small buffer, or not
        // taken by a capture without a buffer) is of the format chosen
        // before: it is never handed out after this one.
        if (readerCallback) readerCallback->DropFrame();
        if (!sv::IsCaptureFormat(format.format)) return -1;
        SZ_LINE(Debug, kWhere, "ConfigureDecoder: format: %s", SvPixelFormatName(format.format));
        if (!sourceReader) return -1;
        return ConfigureDecoder(sourceReader.get(), 0) == 0 ? 0 : -1;
    });
}

long SorvanCam::ConfigureDecoder(SourceReader* reader, uint32_t stream) {
    constexpr const char* kWhere = "SorvanCam::ConfigureDecoder";
    if (!reader) return -1;
    SZ_LINE(Trace, kWhere, "GetNativeMediaType MediaType: %d", currentFormat.mediatypeIdx);
    bool sizeMismatch = false;
    const HResult hr = ApplyDecoderFormat(*reader, stream, ToSvFormat(currentFormat), sizeMismatch);
    if (sizeMismatch) {
        SZ_LINE0(Error, kWhere, "SetFrameSize Fail!");
        return -1;
    }
    return hr;
}

int SorvanCam::GetRawImageCapture(uint8_t* buffer, int* size, uint16_t timeoutMs) {
    constexpr const char* kWhere = "SorvanCam::GetRawImageCapture";
    return Guarded(kWhere, -1, [&] {
        if (!sourceReader || !readerCallback) return -1;  // not open
        const int result = ProcessSamples(sourceReader.get(), buffer, size, timeoutMs);
        if (result != 0) return result;
        SZ_LINE(Trace, kWhere, "Raw data size: %d", frameSize);
        if (size) *size = frameSize;
        return 0;
    });
}

// `size` (may be null) carries the buffer's capacity in when positive; a
// larger frame is refused, its size put in `size`, and kept for the next call.
int SorvanCam::ProcessSamples(SourceReader* reader, uint8_t* buffer, int* size, uint16_t timeoutMs) {
    constexpr const char* kWhere = "SorvanCam::ProcessSamples";
    const int64_t capacity = (size && *size > 0) ? *size : -1;
    auto take = [&]() -> int {
        uint32_t length = 0;
        const int r = readerCallback->CopyBuffer(buffer, capacity, length);
        if (r == 0) {
            frameSize = static_cast<int>(length);
            return 0;
        }
        if (r == SV_CAPTURE_FAILED) {
            SZ_LINE(Error, kWhere, "Frame of %u bytes does not fit the buffer of %d bytes; kept for the next call",
                    length, static_cast<int>(capacity));
            if (size) *size = static_cast<int>(length);
        }
        return -1;
    };

    readerCallback->UpdateFormat(ToSvFormat(currentFormat));
    if (!pending) {
        // A frame delivered and not taken (refused for a small buffer) goes
        // out before a new request is made.
        if (buffer && take() == 0) return 0;
        const HResult hr = reader->ReadSample(mf::MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0);
        if (Failed(hr)) {
            std::printf("ReadSample Fail!\n");
            std::fflush(stdout);
            SZ_LINE0(Error, kWhere, "ReadSample Fail!");
            return hr;
        }
    }

    HResult waited = 0;
    try {
        bool endOfStream = false;
        waited = readerCallback->Wait(timeoutMs, endOfStream);
        if (Succeeded(waited) && !endOfStream) {
            pending = false;
            if (buffer == nullptr) return -1;
            return take();
        }
        SZ_LINE(Trace, kWhere, "Wait Sample Image Timeout %d ms", timeoutMs);
        pending = true;
        return readerCallback->GetResultStatus();
    } catch (const std::exception& e) {
        std::printf("pSample Get Buffer... FAIL\n%s\n", e.what());
        std::fflush(stdout);
        SZ_LINE(Error, kWhere, "Get Buffer... FAIL.\n%s", e.what());
        if (Failed(waited)) SZ_LINE(Error, kWhere, "ProcessSamples FAILED, hr = 0x%x", static_cast<unsigned>(waited));
        return waited;
    }
}
