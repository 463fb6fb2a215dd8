#pragma once

// Result codes of the platform seam: signed 32-bit values with the platform's
// own numbers, so that codes the library logs or maps (0xC00D36B9 and friends)
// keep the values a native back-end reports. Names carry an HR_ prefix because
// the platform headers define the plain names as macros.

#include <cstdint>

namespace sv::platform {

using HResult = int32_t;

constexpr HResult MakeHResult(uint32_t bits) { return static_cast<HResult>(bits); }

// The platform's HRESULT_FROM_WIN32 rule.
constexpr HResult HResultFromWin32(uint32_t error) {
    return error == 0 ? 0 : MakeHResult((error & 0xFFFFu) | 0x80070000u);
}

constexpr bool Succeeded(HResult hr) { return hr >= 0; }
constexpr bool Failed(HResult hr) { return hr < 0; }

// Win32 error numbers used by the back-ends.
constexpr uint32_t WIN32_ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t WIN32_ERROR_ACCESS_DENIED = 5;
constexpr uint32_t WIN32_ERROR_GEN_FAILURE = 31;
constexpr uint32_t WIN32_ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t WIN32_ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t WIN32_ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t WIN32_ERROR_NO_MORE_ITEMS = 259;
constexpr uint32_t WIN32_ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr uint32_t WIN32_ERROR_NOT_FOUND = 1168;
constexpr uint32_t WIN32_ERROR_SET_NOT_FOUND = 1170;

constexpr HResult HR_S_OK = 0;
constexpr HResult HR_S_FALSE = 1;
constexpr HResult HR_E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HResult HR_E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HResult HR_E_POINTER = MakeHResult(0x80004003u);
constexpr HResult HR_E_FAIL = MakeHResult(0x80004005u);
constexpr HResult HR_E_UNEXPECTED = MakeHResult(0x8000FFFFu);
constexpr HResult HR_E_PENDING = MakeHResult(0x8000000Au);
constexpr HResult HR_E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HResult HR_E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HResult HR_E_INVALIDARG = MakeHResult(0x80070057u);
// Property-set interfaces: id not offered (ERROR_NOT_FOUND) and set not offered
// (ERROR_SET_NOT_FOUND).
constexpr HResult HR_E_PROP_ID_UNSUPPORTED = MakeHResult(0x80070490u);
constexpr HResult HR_E_PROP_SET_UNSUPPORTED = MakeHResult(0x80070492u);

constexpr HResult HR_ERROR_FILE_NOT_FOUND = HResultFromWin32(WIN32_ERROR_FILE_NOT_FOUND);
constexpr HResult HR_ERROR_GEN_FAILURE = HResultFromWin32(WIN32_ERROR_GEN_FAILURE);
constexpr HResult HR_ERROR_NOT_SUPPORTED = HResultFromWin32(WIN32_ERROR_NOT_SUPPORTED);
constexpr HResult HR_ERROR_INSUFFICIENT_BUFFER = HResultFromWin32(WIN32_ERROR_INSUFFICIENT_BUFFER);
constexpr HResult HR_ERROR_NO_MORE_ITEMS = HResultFromWin32(WIN32_ERROR_NO_MORE_ITEMS);
constexpr HResult HR_ERROR_DEVICE_NOT_CONNECTED = HResultFromWin32(WIN32_ERROR_DEVICE_NOT_CONNECTED);
constexpr HResult HR_ERROR_NOT_FOUND = HResultFromWin32(WIN32_ERROR_NOT_FOUND);
constexpr HResult HR_ERROR_SET_NOT_FOUND = HResultFromWin32(WIN32_ERROR_SET_NOT_FOUND);

// Media Foundation.
constexpr HResult HR_MF_E_INVALIDREQUEST = MakeHResult(0xC00D36B2u);
constexpr HResult HR_MF_E_INVALIDSTREAMNUMBER = MakeHResult(0xC00D36B3u);
constexpr HResult HR_MF_E_INVALIDMEDIATYPE = MakeHResult(0xC00D36B4u);
constexpr HResult HR_MF_E_NOTACCEPTING = MakeHResult(0xC00D36B5u);
constexpr HResult HR_MF_E_NO_MORE_TYPES = MakeHResult(0xC00D36B9u);
constexpr HResult HR_MF_E_INVALIDTYPE = MakeHResult(0xC00D36BDu);
constexpr HResult HR_MF_E_ATTRIBUTENOTFOUND = MakeHResult(0xC00D36E6u);
constexpr HResult HR_MF_E_PROPERTY_TYPE_NOT_ALLOWED = MakeHResult(0xC00D36E7u);
constexpr HResult HR_MF_E_HW_MFT_FAILED_START_STREAMING = MakeHResult(0xC00D3704u);
constexpr HResult HR_MF_E_SHUTDOWN = MakeHResult(0xC00D3E85u);
constexpr HResult HR_MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED = MakeHResult(0xC00D3EA2u);
constexpr HResult HR_MF_E_VIDEO_RECORDING_DEVICE_PREEMPTED = MakeHResult(0xC00D3EA3u);

// The symbolic name of a code known to the seam ("MF_E_NO_MORE_TYPES"), or
// nullptr. Used by world files and traces.
const char* HResultName(HResult hr);

// Parses a name known to HResultName, or a number ("0x80004005", "-2147467259",
// "0"). Returns false when the text is neither.
bool ParseHResult(const char* text, HResult& out);

}  // namespace sv::platform
