#include "platform/backend/MfIds.h"

#include <cstdlib>
#include <cstring>

#include "platform/backend/HResult.h"

namespace sv::platform {

namespace {

struct NamedCode {
    HResult code;
    const char* name;
};

constexpr NamedCode kCodes[] = {
    {HR_S_OK, "S_OK"},
    {HR_S_FALSE, "S_FALSE"},
    {HR_E_NOTIMPL, "E_NOTIMPL"},
    {HR_E_NOINTERFACE, "E_NOINTERFACE"},
    {HR_E_POINTER, "E_POINTER"},
    {HR_E_FAIL, "E_FAIL"},
    {HR_E_UNEXPECTED, "E_UNEXPECTED"},
    {HR_E_PENDING, "E_PENDING"},
    {HR_E_ACCESSDENIED, "E_ACCESSDENIED"},
    {HR_E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {HR_E_INVALIDARG, "E_INVALIDARG"},
    {HR_E_PROP_ID_UNSUPPORTED, "E_PROP_ID_UNSUPPORTED"},
    {HR_E_PROP_SET_UNSUPPORTED, "E_PROP_SET_UNSUPPORTED"},
    {HR_ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND"},
    {HR_ERROR_GEN_FAILURE, "ERROR_GEN_FAILURE"},
    {HR_ERROR_NOT_SUPPORTED, "ERROR_NOT_SUPPORTED"},
    {HR_ERROR_INSUFFICIENT_BUFFER, "ERROR_INSUFFICIENT_BUFFER"},
    {HR_ERROR_NO_MORE_ITEMS, "ERROR_NO_MORE_ITEMS"},
    {HR_ERROR_DEVICE_NOT_CONNECTED, "ERROR_DEVICE_NOT_CONNECTED"},
    {HR_MF_E_INVALIDREQUEST, "MF_E_INVALIDREQUEST"},
    {HR_MF_E_INVALIDSTREAMNUMBER, "MF_E_INVALIDSTREAMNUMBER"},
    {HR_MF_E_INVALIDMEDIATYPE, "MF_E_INVALIDMEDIATYPE"},
    {HR_MF_E_NOTACCEPTING, "MF_E_NOTACCEPTING"},
    {HR_MF_E_NO_MORE_TYPES, "MF_E_NO_MORE_TYPES"},
    {HR_MF_E_INVALIDTYPE, "MF_E_INVALIDTYPE"},
    {HR_MF_E_ATTRIBUTENOTFOUND, "MF_E_ATTRIBUTENOTFOUND"},
    {HR_MF_E_PROPERTY_TYPE_NOT_ALLOWED, "MF_E_PROPERTY_TYPE_NOT_ALLOWED"},
    {HR_MF_E_HW_MFT_FAILED_START_STREAMING, "MF_E_HW_MFT_FAILED_START_STREAMING"},
    {HR_MF_E_SHUTDOWN, "MF_E_SHUTDOWN"},
    {HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, "MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED"},
    {HR_MF_E_VIDEO_RECORDING_DEVICE_PREEMPTED, "MF_E_VIDEO_RECORDING_DEVICE_PREEMPTED"},
};

}  // namespace

const char* HResultName(HResult hr) {
    for (const auto& c : kCodes) {
        if (c.code == hr) return c.name;
    }
    return nullptr;
}

bool ParseHResult(const char* text, HResult& out) {
    if (text == nullptr || *text == '\0') return false;
    for (const auto& c : kCodes) {
        if (std::strcmp(c.name, text) == 0) {
            out = c.code;
            return true;
        }
    }
    char* end = nullptr;
    if (text[0] == '-') {
        const long long v = std::strtoll(text, &end, 10);
        if (*end != '\0' || v < INT32_MIN) return false;
        out = static_cast<HResult>(v);
        return true;
    }
    const unsigned long long v = std::strtoull(text, &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull) return false;
    out = MakeHResult(static_cast<uint32_t>(v));
    return true;
}

namespace mf {

namespace {

struct NamedGuid {
    Guid guid;
    const char* name;
};

constexpr NamedGuid kGuids[] = {
    {MFMediaType_Video, "MFMediaType_Video"},
    {MFMediaType_Audio, "MFMediaType_Audio"},
    {MFVideoFormat_YUY2, "MFVideoFormat_YUY2"},
    {MFVideoFormat_UYVY, "MFVideoFormat_UYVY"},
    {MFVideoFormat_NV12, "MFVideoFormat_NV12"},
    {MFVideoFormat_MJPG, "MFVideoFormat_MJPG"},
    {MFVideoFormat_RGB24, "MFVideoFormat_RGB24"},
    {MFVideoFormat_RGB32, "MFVideoFormat_RGB32"},
    {MFVideoFormat_H264, "MFVideoFormat_H264"},
    {MFAudioFormat_PCM, "MFAudioFormat_PCM"},
    {MF_MT_MAJOR_TYPE, "MF_MT_MAJOR_TYPE"},
    {MF_MT_SUBTYPE, "MF_MT_SUBTYPE"},
    {MF_MT_FRAME_SIZE, "MF_MT_FRAME_SIZE"},
    {MF_MT_FRAME_RATE, "MF_MT_FRAME_RATE"},
    {MF_MT_PIXEL_ASPECT_RATIO, "MF_MT_PIXEL_ASPECT_RATIO"},
    {MF_MT_INTERLACE_MODE, "MF_MT_INTERLACE_MODE"},
    {MF_MT_ALL_SAMPLES_INDEPENDENT, "MF_MT_ALL_SAMPLES_INDEPENDENT"},
    {MF_MT_FIXED_SIZE_SAMPLES, "MF_MT_FIXED_SIZE_SAMPLES"},
    {MF_MT_SAMPLE_SIZE, "MF_MT_SAMPLE_SIZE"},
    {MF_MT_DEFAULT_STRIDE, "MF_MT_DEFAULT_STRIDE"},
    {MF_MT_AVG_BITRATE, "MF_MT_AVG_BITRATE"},
    {MF_MT_FRAME_RATE_RANGE_MIN, "MF_MT_FRAME_RATE_RANGE_MIN"},
    {MF_MT_FRAME_RATE_RANGE_MAX, "MF_MT_FRAME_RATE_RANGE_MAX"},
    {MF_MT_AM_FORMAT_TYPE, "MF_MT_AM_FORMAT_TYPE"},
    {MF_MT_USER_DATA, "MF_MT_USER_DATA"},
    {MF_MT_COMPRESSED, "MF_MT_COMPRESSED"},
    {MF_MT_VIDEO_NOMINAL_RANGE, "MF_MT_VIDEO_NOMINAL_RANGE"},
    {MF_MT_YUV_MATRIX, "MF_MT_YUV_MATRIX"},
    {FORMAT_VideoInfo2, "FORMAT_VideoInfo2"},
};

}  // namespace

const char* GuidName(const Guid& guid) {
    for (const auto& g : kGuids) {
        if (g.guid == guid) return g.name;
    }
    return nullptr;
}

}  // namespace mf

namespace uvc {

namespace {
constexpr const char* kProcAmpNames[kProcAmpPropertyCount] = {
    "brightness", "contrast",     "hue",           "saturation",           "sharpness",
    "gamma",      "colorEnable",  "whiteBalance",  "backlightCompensation", "gain"};
constexpr const char* kCameraControlNames[kCameraControlPropertyCount] = {
    "pan", "tilt", "roll", "zoom", "exposure", "iris", "focus"};
}  // namespace

const char* ProcAmpName(int32_t property) {
    return property >= 0 && property < kProcAmpPropertyCount ? kProcAmpNames[property] : nullptr;
}

const char* CameraControlName(int32_t property) {
    return property >= 0 && property < kCameraControlPropertyCount ? kCameraControlNames[property]
                                                                   : nullptr;
}

}  // namespace uvc

}  // namespace sv::platform
