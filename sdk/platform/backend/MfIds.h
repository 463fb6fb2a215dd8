#pragma once

// Identifiers of the platform's capture interfaces that cross the seam: media-type
// attribute keys and values, source-reader stream numbers and flags, the UVC
// control property numbers and flags words, and the kernel-streaming constants of
// an extension-unit transfer. All values are the platform's own.

#include <cstdint>

#include "platform/backend/Guid.h"

namespace sv::platform::mf {

// A video subtype built from its four-character code (the platform's rule).
constexpr Guid FourCcSubtype(uint32_t fourcc) {
    return Guid(fourcc, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);
}
constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// Major types.
constexpr Guid MFMediaType_Video = FourCcSubtype(0x73646976);
constexpr Guid MFMediaType_Audio = FourCcSubtype(0x73647561);

// Subtypes.
constexpr Guid MFVideoFormat_YUY2 = FourCcSubtype(FourCc('Y', 'U', 'Y', '2'));
constexpr Guid MFVideoFormat_UYVY = FourCcSubtype(FourCc('U', 'Y', 'V', 'Y'));
constexpr Guid MFVideoFormat_NV12 = FourCcSubtype(FourCc('N', 'V', '1', '2'));
constexpr Guid MFVideoFormat_MJPG = FourCcSubtype(FourCc('M', 'J', 'P', 'G'));
constexpr Guid MFVideoFormat_RGB24 = FourCcSubtype(20);  // D3DFMT_R8G8B8
constexpr Guid MFVideoFormat_RGB32 = FourCcSubtype(22);  // D3DFMT_X8R8G8B8
constexpr Guid MFVideoFormat_H264 = FourCcSubtype(FourCc('H', '2', '6', '4'));
constexpr Guid MFAudioFormat_PCM = FourCcSubtype(1);

// Media-type attribute keys.
constexpr Guid MF_MT_MAJOR_TYPE(0x48eba18e, 0xf8c9, 0x4687, 0xbf, 0x11, 0x0a, 0x74, 0xc9, 0xf9, 0x6a, 0x8f);
constexpr Guid MF_MT_SUBTYPE(0xf7e34c9a, 0x42e8, 0x4714, 0xb7, 0x4b, 0xcb, 0x29, 0xd7, 0x2c, 0x35, 0xe5);
constexpr Guid MF_MT_FRAME_SIZE(0x1652c33d, 0xd6b2, 0x4012, 0xb8, 0x34, 0x72, 0x03, 0x08, 0x49, 0xa3, 0x7d);
constexpr Guid MF_MT_FRAME_RATE(0xc459a2e8, 0x3d2c, 0x4e44, 0xb1, 0x32, 0xfe, 0xe5, 0x15, 0x6c, 0x7b, 0xb0);
constexpr Guid MF_MT_PIXEL_ASPECT_RATIO(0xc6376a1e, 0x8d0a, 0x4027, 0xbe, 0x45, 0x6d, 0x9a, 0x0a, 0xd3, 0x9b, 0xb6);
constexpr Guid MF_MT_INTERLACE_MODE(0xe2724bb8, 0xe676, 0x4806, 0xb4, 0xb2, 0xa8, 0xd6, 0xef, 0xb4, 0x4c, 0xcd);
constexpr Guid MF_MT_ALL_SAMPLES_INDEPENDENT(0xc9173739, 0x5e56, 0x461c, 0xb7, 0x13, 0x46, 0xfb, 0x99, 0x5c, 0xb9, 0x5f);
constexpr Guid MF_MT_FIXED_SIZE_SAMPLES(0xb8ebefaf, 0xb718, 0x4e04, 0xb0, 0xa9, 0x11, 0x67, 0x75, 0xe3, 0x32, 0x1b);
constexpr Guid MF_MT_SAMPLE_SIZE(0xdad3ab78, 0x1990, 0x408b, 0xbc, 0xe2, 0xeb, 0xa6, 0x73, 0xda, 0xcc, 0x10);
constexpr Guid MF_MT_DEFAULT_STRIDE(0x644b4e48, 0x1e02, 0x4516, 0xb0, 0xeb, 0xc0, 0x1c, 0xa9, 0xd4, 0x9a, 0xc6);
constexpr Guid MF_MT_AVG_BITRATE(0x20332624, 0xfb0d, 0x4d9e, 0xbd, 0x0d, 0xcb, 0xf6, 0x78, 0x6c, 0x10, 0x2e);
constexpr Guid MF_MT_FRAME_RATE_RANGE_MIN(0xd2e7558c, 0xdc1f, 0x403f, 0x9a, 0x72, 0xd2, 0x8b, 0xb1, 0xeb, 0x3b, 0x5e);
constexpr Guid MF_MT_FRAME_RATE_RANGE_MAX(0xe3371d41, 0xb4cf, 0x4a05, 0xbd, 0x4e, 0x20, 0xb8, 0x8b, 0xb2, 0xc4, 0xd6);
constexpr Guid MF_MT_AM_FORMAT_TYPE(0x73d1072d, 0x1870, 0x4174, 0xa0, 0x63, 0x29, 0xff, 0x4f, 0xf6, 0xc1, 0x1e);
constexpr Guid MF_MT_USER_DATA(0xb6bc765f, 0x4c3b, 0x40a4, 0xbd, 0x51, 0x25, 0x35, 0xb6, 0x6f, 0xe0, 0x9d);
constexpr Guid MF_MT_COMPRESSED(0x3afd0cee, 0x18f2, 0x4ba5, 0xa1, 0x10, 0x8b, 0xea, 0x50, 0x2e, 0x1f, 0x92);
constexpr Guid MF_MT_VIDEO_NOMINAL_RANGE(0xc21b8ee5, 0xb956, 0x4071, 0x8d, 0xaf, 0x32, 0x5e, 0xdf, 0x5c, 0xab, 0x11);
constexpr Guid MF_MT_YUV_MATRIX(0x3e23d450, 0x2c75, 0x4d25, 0xa0, 0x0e, 0xb9, 0x16, 0x70, 0xd1, 0x23, 0x27);
constexpr Guid FORMAT_VideoInfo2(0xf72a76a0, 0xeb0a, 0x11d0, 0xac, 0xe4, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba);

// The platform's constant name of a GUID known here ("MF_MT_FRAME_SIZE",
// "MFVideoFormat_YUY2"), or nullptr.
const char* GuidName(const Guid& guid);

// MF_MT_INTERLACE_MODE value of progressive frames.
constexpr uint32_t MFVideoInterlace_Progressive = 2;

// Source-reader stream numbers.
constexpr uint32_t MF_SOURCE_READER_FIRST_VIDEO_STREAM = 0xFFFFFFFCu;
constexpr uint32_t MF_SOURCE_READER_FIRST_AUDIO_STREAM = 0xFFFFFFFDu;
constexpr uint32_t MF_SOURCE_READER_ANY_STREAM = 0xFFFFFFFEu;  // ReadSample only
constexpr uint32_t MF_SOURCE_READER_ALL_STREAMS = 0xFFFFFFFEu;  // Flush

// Stream flags of a sample delivery.
constexpr uint32_t MF_SOURCE_READERF_ERROR = 0x1;
constexpr uint32_t MF_SOURCE_READERF_ENDOFSTREAM = 0x2;
constexpr uint32_t MF_SOURCE_READERF_NEWSTREAM = 0x4;
constexpr uint32_t MF_SOURCE_READERF_STREAMTICK = 0x100;

}  // namespace sv::platform::mf

namespace sv::platform::uvc {

// Processing-unit property numbers (the platform's VideoProcAmp numbering).
enum ProcAmpProperty : int32_t {
    ProcAmp_Brightness = 0,
    ProcAmp_Contrast = 1,
    ProcAmp_Hue = 2,
    ProcAmp_Saturation = 3,
    ProcAmp_Sharpness = 4,
    ProcAmp_Gamma = 5,
    ProcAmp_ColorEnable = 6,
    ProcAmp_WhiteBalance = 7,
    ProcAmp_BacklightCompensation = 8,
    ProcAmp_Gain = 9,
};
constexpr int32_t kProcAmpPropertyCount = 10;

// Camera-terminal property numbers (the platform's CameraControl numbering).
enum CameraControlProperty : int32_t {
    CameraControl_Pan = 0,
    CameraControl_Tilt = 1,
    CameraControl_Roll = 2,
    CameraControl_Zoom = 3,
    CameraControl_Exposure = 4,
    CameraControl_Iris = 5,
    CameraControl_Focus = 6,
};
constexpr int32_t kCameraControlPropertyCount = 7;

// Flags word of Get/Set and capability flags of GetRange.
constexpr int32_t kFlagsAuto = 0x1;
constexpr int32_t kFlagsManual = 0x2;

// Names used in world files and traces ("brightness", "exposure"); nullptr
// for a number outside the table.
const char* ProcAmpName(int32_t property);
const char* CameraControlName(int32_t property);

}  // namespace sv::platform::uvc

namespace sv::platform::ks {

// Property set of the maker's extension unit {6FF33D97-7A1F-4C0D-B2D2-59FB178964C5}.
constexpr Guid kExtensionUnitSet(0x6FF33D97, 0x7A1F, 0x4C0D, 0xB2, 0xD2, 0x59, 0xFB, 0x17, 0x89, 0x64, 0xC5);

constexpr uint32_t KSPROPERTY_TYPE_GET = 0x00000001;
constexpr uint32_t KSPROPERTY_TYPE_SET = 0x00000002;
constexpr uint32_t KSPROPERTY_TYPE_TOPOLOGY = 0x10000000;

// UVC class request codes carried by extension-unit transfers.
constexpr uint8_t kSetCur = 0x01;
constexpr uint8_t kGetCur = 0x81;

// The 32-byte node property request sent with every extension-unit transfer.
struct PropertyNodeRequest {
    Guid set;            // property set
    uint32_t id = 0;     // property id: the control selector
    uint32_t flags = 0;  // KSPROPERTY_TYPE_GET or _SET, with _TOPOLOGY
    uint32_t nodeId = 0;
    uint32_t reserved = 0;
};
static_assert(sizeof(PropertyNodeRequest) == 32, "node property request is 32 bytes");

}  // namespace sv::platform::ks
