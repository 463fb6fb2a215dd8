// The synchronous methods of the channel: argument checks, handle look-up,
// the library call and the reply.

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <versionhelpers.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <sys/utsname.h>
#endif

#include <sorvansdk/SorvanSDK.h>

#include "CameraHandleManager.h"
#include "EncodableConversions.h"
#include "PluginArguments.h"
#include "SorvanSDKPlugin.h"

namespace sorvansdk {

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr const char* kPluginSdkVersion = "25.12.1";
constexpr const char* kHandleMessage = "Handle ID must be an integer";

EncodableValue Int(int value) { return EncodableValue(static_cast<int32_t>(value)); }
EncodableValue Text(const std::string& text) { return EncodableValue(text); }

// Which code argument errors of a bare-handle method get.
enum class ArgumentErrors { kInvalidArgument, kMethodFailure };

// Runs a handler body with the common catches.
void Guarded(MethodResultPtr& result, const char* failure, ArgumentErrors argumentErrors,
             const std::function<void()>& body) {
    try {
        body();
    } catch (const std::invalid_argument& e) {
        if (argumentErrors == ArgumentErrors::kInvalidArgument) result->Error("INVALID_ARGUMENT", e.what());
        else result->Error("SORVANSDK_ERROR", failure, Text(e.what()));
    } catch (const std::exception& e) {
        result->Error("SORVANSDK_ERROR", failure, Text(e.what()));
    }
}

// The registered camera, or empty after answering INVALID_HANDLE.
SvCameraPtr LookUp(int handle, MethodResultPtr& result) {
    SvCameraPtr camera = CameraHandleManager::getInstance().getCamera(handle);
    if (!camera) result->Error("INVALID_HANDLE", "Camera handle not found");
    return camera;
}

// The query rule for calls whose output is already in hand.
void AnswerQuery(MethodResultPtr& result, const char* failure, int status,
                 const std::function<EncodableValue()>& value) {
    if (status != 0) result->Error("SORVANSDK_ERROR", failure, Int(status));
    else result->Success(value());
}

int BareHandle(const MethodCall& call) { return ArgumentAs<int32_t>(call.arguments(), kHandleMessage); }

// A bare-handle method that answers the library's int, whatever its value.
void Action(const MethodCall& call, MethodResultPtr& result, const char* failure, ArgumentErrors errors,
            const std::function<int(SvCameraPtr)>& function) {
    Guarded(result, failure, errors, [&] {
        SvCameraPtr camera = LookUp(BareHandle(call), result);
        if (!camera) return;
        result->Success(Int(function(camera)));
    });
}

// A bare-handle query: an error with the result as detail unless it is 0.
template <typename Out>
void Query(const MethodCall& call, MethodResultPtr& result, const char* failure, ArgumentErrors errors,
           const std::function<int(SvCameraPtr, Out&)>& function,
           const std::function<EncodableValue(const Out&)>& convert) {
    Guarded(result, failure, errors, [&] {
        SvCameraPtr camera = LookUp(BareHandle(call), result);
        if (!camera) return;
        Out out{};
        const int status = function(camera, out);
        AnswerQuery(result, failure, status, [&] { return convert(out); });
    });
}

EncodableValue StringValue(const std::string& text) { return Text(text); }

EncodableValue ControlMap(int value, int flag) {
    return EncodableValue(EncodableMap{{EncodableValue("value"), Int(value)}, {EncodableValue("flag"), Int(flag)}});
}

EncodableValue RangeMap(int minimum, int maximum, int step, int defaultValue) {
    return EncodableValue(EncodableMap{{EncodableValue("min"), Int(minimum)},
                                       {EncodableValue("max"), Int(maximum)},
                                       {EncodableValue("step"), Int(step)},
                                       {EncodableValue("default"), Int(defaultValue)}});
}

// A query whose argument is a one-element list holding the handle.
template <typename Out>
void SingleListQuery(const MethodCall& call, MethodResultPtr& result, const char* failure,
                     const std::function<int(SvCameraPtr, Out&)>& function,
                     const std::function<EncodableValue(const Out&)>& convert) {
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 1, "Arguments must be a list of 1 element: [handleId]");
        SvCameraPtr camera = LookUp(ValueAs<int32_t>(list[0]), result);
        if (!camera) return;
        Out out{};
        const int status = function(camera, out);
        AnswerQuery(result, failure, status, [&] { return convert(out); });
    });
}

// A bootdata header read from an image file into an empty holder; a holder
// left empty is a failure too.
template <typename Header>
void HeaderFromFile(const MethodCall& call, MethodResultPtr& result, const char* failure,
                    int (*read)(const std::string&, std::unique_ptr<Header>&),
                    flutter::EncodableMap (*toMap)(const Header&)) {
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const std::string path = ArgumentAs<std::string>(call.arguments(), "imgPath must be a string");
        std::unique_ptr<Header> header;
        const int status = read(path, header);
        if (status != 0 || !header) result->Error("SORVANSDK_ERROR", failure, Int(status));
        else result->Success(EncodableValue(toMap(*header)));
    });
}

// A camera's bootdata header, read into a zero-filled one.
template <typename Header>
void HeaderFromCamera(const MethodCall& call, MethodResultPtr& result, const char* failure,
                      int (*read)(SvCameraPtr, std::unique_ptr<Header>&), flutter::EncodableMap (*toMap)(const Header&),
                      const std::function<void(int)>& report = nullptr) {
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        SvCameraPtr camera = LookUp(BareHandle(call), result);
        if (!camera) return;
        auto header = std::make_unique<Header>();
        const int status = read(camera, header);
        if (report) report(status);
        if (status != 0 || !header) result->Error("SORVANSDK_ERROR", failure, Int(status));
        else result->Success(EncodableValue(toMap(*header)));
    });
}


std::string PlatformVersion() {
#if defined(_WIN32)
    std::string text = "Windows ";
    if (IsWindows10OrGreater()) text += "10+";
    else if (IsWindows8OrGreater()) text += "8";
    else if (IsWindows7OrGreater()) text += "7";
    return text;
#elif defined(__unix__) || defined(__APPLE__)
    utsname name{};
    if (uname(&name) != 0) return "Unknown ";
    return std::string(name.sysname) + " " + name.release;
#else
    return "Unknown ";
#endif
}

}  // namespace

// ---- Library-level methods ------------------------------------------------

void SorvanSDKPluginImpl::handleGetPlatformVersion(const MethodCall&, MethodResultPtr result) {
    result->Success(Text(PlatformVersion()));
}

void SorvanSDKPluginImpl::handleHelloSorvanSDK(const MethodCall&, MethodResultPtr result) {
    Guarded(result, "Failed to call HelloSorvanSDK", ArgumentErrors::kMethodFailure, [&] {
        HelloSorvanSDK();
        result->Success(Text(std::string("Hello SorvanSDK called, version: ") + kPluginSdkVersion));
    });
}

void SorvanSDKPluginImpl::handleGetSorvanSDKVersion(const MethodCall&, MethodResultPtr result) {
    Guarded(result, "Failed to get SorvanSDK version", ArgumentErrors::kMethodFailure,
            [&] { result->Success(Text(kPluginSdkVersion)); });
}

void SorvanSDKPluginImpl::handleSetLogLevel(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to set log level", ArgumentErrors::kInvalidArgument, [&] {
        const int level = extractArgument<int>(call.arguments(), "Log level must be an integer");
        SvSetLogLevel(static_cast<SV_LOG_LEVEL>(level));
        result->Success(Int(0));
    });
}

void SorvanSDKPluginImpl::handleSetLogFile(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to set log file", ArgumentErrors::kInvalidArgument, [&] {
        const std::string folder = extractArgument<std::string>(call.arguments(), "Folder path must be a string");
        result->Success(Int(SvSetLogFile(folder)));
    });
}

void SorvanSDKPluginImpl::handleDiscoverCameraDevices(const MethodCall&, MethodResultPtr result) {
    try {
        std::vector<std::string> names;
        const int status = SvDiscoverCameraDevices(names);
        if (status < 0) {
            result->Error("DISCOVERY_ERROR", "Failed to discover camera devices", Int(status));
            return;
        }
        EncodableList list;
        for (const auto& name : names) list.emplace_back(name);
        result->Success(EncodableValue(std::move(list)));
    } catch (const std::exception& e) {
        std::cout << "Exception: " << e.what() << std::endl;
        result->Error("DISCOVERY_EXCEPTION", "Exception in discovery handler", Text(e.what()));
    }
}

void SorvanSDKPluginImpl::handleInitializeCameraDevice(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to initialize camera device", ArgumentErrors::kInvalidArgument, [&] {
        const int index = extractArgument<int>(call.arguments(), "Device index must be an integer");
        SvCameraPtr camera = SvInitialCameraDevice(index);
        if (!camera) {
            result->Error("SORVANSDK_ERROR", "Failed to create camera device");
            return;
        }
        result->Success(Int(CameraHandleManager::getInstance().addCamera(std::move(camera))));
    });
}

void SorvanSDKPluginImpl::handleReleaseCameraHandle(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to release camera handle", ArgumentErrors::kInvalidArgument, [&] {
        const int handle = extractArgument<int>(call.arguments(), kHandleMessage);
        result->Success(Int(CameraHandleManager::getInstance().removeCamera(handle) ? 0 : -1));
    });
}

void SorvanSDKPluginImpl::handleGetBootdataHeaderV2FromFile(const MethodCall& call, MethodResultPtr result) {
    HeaderFromFile<SvHeaderV2>(call, result, "Failed to get BootdataHeaderV2 from file", SvGetBootdataHeaderV2FromFile,
                               SvHeaderV2ToEncodableMap);
}

void SorvanSDKPluginImpl::handleGetBootdataHeaderV3FromFile(const MethodCall& call, MethodResultPtr result) {
    HeaderFromFile<SvHeaderV3>(call, result, "Failed to get BootdataHeaderV3 from file", SvGetBootdataHeaderV3FromFile,
                               SvHeaderV3ToEncodableMap);
}

// ---- Bare-handle actions --------------------------------------------------

void SorvanSDKPluginImpl::handleOpenCamera(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to open camera", ArgumentErrors::kInvalidArgument, SvOpen);
}
void SorvanSDKPluginImpl::handleCloseCamera(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to close camera", ArgumentErrors::kInvalidArgument, SvClose);
}
void SorvanSDKPluginImpl::handleIsSorvanCamera(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to check if camera is SorvanCamera", ArgumentErrors::kInvalidArgument,
           SvIsSorvanCamera);
}
void SorvanSDKPluginImpl::handleResetUVC(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to reset UVC", ArgumentErrors::kMethodFailure, SvResetUVC);
}
void SorvanSDKPluginImpl::handleStopStreaming(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to stop streaming", ArgumentErrors::kMethodFailure, SvStopStreaming);
}
void SorvanSDKPluginImpl::handleActivateProfileStreaming(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to activate profile streaming", ArgumentErrors::kMethodFailure,
           SvActivateProfileStreaming);
}
void SorvanSDKPluginImpl::handleActivateProfileImageProcessing(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to activate profile image processing", ArgumentErrors::kMethodFailure,
           SvActivateProfileImageProcessing);
}
void SorvanSDKPluginImpl::handleResetOSPProfileConfig(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to reset OSP profile config", ArgumentErrors::kMethodFailure,
           SvResetOSPProfileConfig);
}
void SorvanSDKPluginImpl::handleResetTimestamp(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to reset timestamp", ArgumentErrors::kMethodFailure, SvResetTimestamp);
}
void SorvanSDKPluginImpl::handleResetFrameCount(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to reset frame count", ArgumentErrors::kMethodFailure, SvResetFrameCount);
}
void SorvanSDKPluginImpl::handleGetHeaderVersion(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to get header version", ArgumentErrors::kMethodFailure, SvGetHeaderVersion);
}
void SorvanSDKPluginImpl::handleGotoFX3ProgramMode(const MethodCall& call, MethodResultPtr result) {
    Action(call, result, "Failed to goto FX3 program mode", ArgumentErrors::kMethodFailure, SvGotoFX3ProgramMode);
}

// ---- Bare-handle queries --------------------------------------------------

void SorvanSDKPluginImpl::handleGetDeviceName(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get device name", ArgumentErrors::kInvalidArgument, SvGetDeviceName,
                       StringValue);
}
void SorvanSDKPluginImpl::handleGetDeviceInterfaceType(const MethodCall& call, MethodResultPtr result) {
    Query<SV_CAMERA_INTERFACE_TYPE>(call, result, "Failed to get device interface type",
                                    ArgumentErrors::kInvalidArgument, SvGetDeviceInterfaceType,
                                    [](const SV_CAMERA_INTERFACE_TYPE& type) {
                                        return Text(InterfaceTypeName(static_cast<int>(type)));
                                    });
}
void SorvanSDKPluginImpl::handleGetDevicePath(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get device path", ArgumentErrors::kMethodFailure, SvGetDevicePath,
                       StringValue);
}
void SorvanSDKPluginImpl::handleGetDeviceProductType(const MethodCall& call, MethodResultPtr result) {
    Query<SV_CAMERA_PRODUCT_TYPE>(call, result, "Failed to get device product type", ArgumentErrors::kMethodFailure,
                                  SvGetDeviceProductType,
                                  [](const SV_CAMERA_PRODUCT_TYPE& type) { return Int(static_cast<int>(type)); });
}
void SorvanSDKPluginImpl::handleGetHardwareID(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get hardware ID", ArgumentErrors::kMethodFailure, SvGetHardwareID,
                       StringValue);
}
void SorvanSDKPluginImpl::handleGetUSBDeviceSpeed(const MethodCall& call, MethodResultPtr result) {
    Query<SV_USB_DEVICE_SPEED>(call, result, "Failed to get USB device speed", ArgumentErrors::kMethodFailure,
                               SvGetUSBDeviceSpeed,
                               [](const SV_USB_DEVICE_SPEED& speed) { return Int(static_cast<int>(speed)); });
}
void SorvanSDKPluginImpl::handleGetUSBFirmwareVersion(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get USB firmware version", ArgumentErrors::kMethodFailure,
                       SvGetUSBFirmwareVersion, StringValue);
}
void SorvanSDKPluginImpl::handleGetLUMOFirmwareVersion(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get LUMO firmware version", ArgumentErrors::kMethodFailure,
                       SvGetLUMOFirmwareVersion, StringValue);
}
void SorvanSDKPluginImpl::handleGetSensorUniqueID(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get sensor unique ID", ArgumentErrors::kMethodFailure,
                       SvGetSensorUniqueID, StringValue);
}
void SorvanSDKPluginImpl::handleGetSensorFirmwareVersion(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get sensor firmware version", ArgumentErrors::kMethodFailure,
                       SvGetSensorFirmwareVersion, StringValue);
}
void SorvanSDKPluginImpl::handleGetMaxFPS(const MethodCall& call, MethodResultPtr result) {
    Query<uint8_t>(call, result, "Failed to get max FPS", ArgumentErrors::kMethodFailure, SvGetMaxFPS,
                   [](const uint8_t& fps) { return Int(fps); });
}
void SorvanSDKPluginImpl::handleGetThroughPut(const MethodCall& call, MethodResultPtr result) {
    Query<uint16_t>(call, result, "Failed to get throughput", ArgumentErrors::kMethodFailure, SvGetThroughPut,
                    [](const uint16_t& value) { return Int(value); });
}
void SorvanSDKPluginImpl::handleGetOSPProfileConfig(const MethodCall& call, MethodResultPtr result) {
    Query<std::string>(call, result, "Failed to get OSP profile config", ArgumentErrors::kMethodFailure,
                       SvGetOSPProfileConfig, StringValue);
}
void SorvanSDKPluginImpl::handleGetOSPProfileFlag(const MethodCall& call, MethodResultPtr result) {
    Query<SV_OSP_PROFILE_FLAG>(call, result, "Failed to get OSP profile flag", ArgumentErrors::kMethodFailure,
                               SvGetOSPProfileFlag,
                               [](const SV_OSP_PROFILE_FLAG& flag) { return Int(static_cast<int>(flag)); });
}
void SorvanSDKPluginImpl::handleGetTimestamp(const MethodCall& call, MethodResultPtr result) {
    Query<float>(call, result, "Failed to get timestamp", ArgumentErrors::kMethodFailure, SvGetTimestamp,
                 [](const float& seconds) { return EncodableValue(static_cast<double>(seconds)); });
}
void SorvanSDKPluginImpl::handleGetFrameCount(const MethodCall& call, MethodResultPtr result) {
    Query<uint8_t>(call, result, "Failed to get frame count", ArgumentErrors::kMethodFailure, SvGetFrameCount,
                   [](const uint8_t& count) { return Int(count); });
}
void SorvanSDKPluginImpl::handleGetFormatList(const MethodCall& call, MethodResultPtr result) {
    Query<std::vector<SvFormat>>(call, result, "Failed to get format list", ArgumentErrors::kMethodFailure,
                                 SvGetFormatList, [](const std::vector<SvFormat>& formats) {
                                     return EncodableValue(FormatListToEncodable(formats));
                                 });
}

void SorvanSDKPluginImpl::handleCheckProduct(const MethodCall& call, MethodResultPtr result) {
    using Product = std::pair<std::string, std::string>;
    Query<Product>(
        call, result, "Failed to check product", ArgumentErrors::kMethodFailure,
        [](SvCameraPtr camera, Product& out) { return SvCheckProduct(camera, out.first, out.second); },
        [](const Product& out) {
            return EncodableValue(EncodableMap{{EncodableValue("product_name"), Text(out.first)},
                                               {EncodableValue("color_type"), Text(out.second)}});
        });
}

void SorvanSDKPluginImpl::handleGetBootdataHeaderV2(const MethodCall& call, MethodResultPtr result) {
    HeaderFromCamera<SvHeaderV2>(call, result, "Failed to get BootdataHeaderV2", SvGetBootdataHeaderV2,
                                 SvHeaderV2ToEncodableMap);
}

void SorvanSDKPluginImpl::handleGetBootdataHeaderV3(const MethodCall& call, MethodResultPtr result) {
    HeaderFromCamera<SvHeaderV3>(call, result, "Failed to get BootdataHeaderV3", SvGetBootdataHeaderV3,
                                 SvHeaderV3ToEncodableMap, [](int status) {
                                     std::cout << "sdk plugin: SvGetBootdataHeaderV3 ret: " << status << std::endl;
                                 });
}

// ---- List arguments -------------------------------------------------------

void SorvanSDKPluginImpl::handleSetUVCImageProcessing(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to set UVC image processing";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 4,
                                        "Arguments must be a list of 4 elements: [handleId, propId, value, flag]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto property = static_cast<SV_UVC_IMAGE_PROPERTIES>(ValueAs<int32_t>(list[1]));
        const int value = ValueAs<int32_t>(list[2]);
        const int flag = ValueAs<int32_t>(list[3]);
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvSetUVCImageProcessing(camera, property, value, flag)));
    });
}

void SorvanSDKPluginImpl::handleGetUVCImageProcessing(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to get UVC image processing";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, propId]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto property = static_cast<SV_UVC_IMAGE_PROPERTIES>(ValueAs<int32_t>(list[1]));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        long value = 0;
        int flag = 0;
        const int status = SvGetUVCImageProcessing(camera, property, value, flag);
        AnswerQuery(result, failure, status, [&] { return ControlMap(static_cast<int>(value), flag); });
    });
}

void SorvanSDKPluginImpl::handleGetUVCImageProcessingRange(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to get UVC image processing range";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, propId]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto property = static_cast<SV_UVC_IMAGE_PROPERTIES>(ValueAs<int32_t>(list[1]));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        long minimum = 0, maximum = 0, step = 0, defaultValue = 0;
        const int status = SvGetUVCImageProcessingRange(camera, property, minimum, maximum, step, defaultValue);
        // An empty range is a failure too (detail: the result, then 0).
        if (status == 0 && minimum == maximum) {
            result->Error("SORVANSDK_ERROR", failure, Int(status));
            return;
        }
        AnswerQuery(result, failure, status, [&] {
            return RangeMap(static_cast<int>(minimum), static_cast<int>(maximum), static_cast<int>(step),
                            static_cast<int>(defaultValue));
        });
    });
}

void SorvanSDKPluginImpl::handleSetISPImageProcessing(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to set ISP image processing";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list =
            ListArgument(call.arguments(), 3, "Arguments must be a list of 3 elements: [handleId, propId, value]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto property = static_cast<SV_ISP_IMAGE_PROPERTIES>(ValueAs<int32_t>(list[1]));
        const int value = ValueAs<int32_t>(list[2]);
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvSetISPImageProcessing(camera, property, value)));
    });
}

void SorvanSDKPluginImpl::handleSetISPImageProcessingDefault(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to set ISP image processing default";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 1, "Arguments must be a list of 1 element: [handleId]");
        SvCameraPtr camera = LookUp(ValueAs<int32_t>(list[0]), result);
        if (!camera) return;
        result->Success(Int(SvSetISPImageProcessingDefault(camera)));
    });
}

void SorvanSDKPluginImpl::handleGetISPImageProcessing(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to get ISP image processing";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, propId]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto property = static_cast<SV_ISP_IMAGE_PROPERTIES>(ValueAs<int32_t>(list[1]));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        int value = 0, flag = 0;
        const int status = SvGetISPImageProcessing(camera, property, value, flag);
        AnswerQuery(result, failure, status, [&] { return ControlMap(value, flag); });
    });
}

void SorvanSDKPluginImpl::handleGetISPImageProcessingRange(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to get ISP image processing range";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, propId]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto property = static_cast<SV_ISP_IMAGE_PROPERTIES>(ValueAs<int32_t>(list[1]));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        int minimum = 0, maximum = 0, step = 0, defaultValue = 0;
        const int status = SvGetISPImageProcessingRange(camera, property, minimum, maximum, step, defaultValue);
        AnswerQuery(result, failure, status, [&] { return RangeMap(minimum, maximum, step, defaultValue); });
    });
}

void SorvanSDKPluginImpl::handleGetCurrentGain(const MethodCall& call, MethodResultPtr result) {
    SingleListQuery<uint8_t>(call, result, "Failed to get current gain", SvGetCurrentGain,
                             [](const uint8_t& gain) { return Int(gain); });
}

void SorvanSDKPluginImpl::handleGetCurrentExposure(const MethodCall& call, MethodResultPtr result) {
    // The unsigned value travels as the int of the same bits.
    SingleListQuery<uint32_t>(call, result, "Failed to get current exposure", SvGetCurrentExposure,
                              [](const uint32_t& exposure) { return EncodableValue(static_cast<int32_t>(exposure)); });
}

void SorvanSDKPluginImpl::handleSetFormat(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to set format";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list =
            ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, formatMap]");
        const int handle = ValueAs<int32_t>(list[0]);
        const int index = ValueAs<int32_t>(list[1]);
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        std::vector<SvFormat> formats;
        const int listed = SvGetFormatList(camera, formats);
        if (listed != 0) {
            result->Error("SORVANSDK_ERROR", "Failed to get format list", Int(listed));
            return;
        }
        // The library list has no entry there: refuse instead of reading past it.
        if (index < 0 || static_cast<std::size_t>(index) >= formats.size())
            throw std::invalid_argument("Format index out of range");
        result->Success(Int(SvSetFormat(camera, formats[static_cast<std::size_t>(index)])));
    });
}

void SorvanSDKPluginImpl::handleStartStreaming(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to start streaming";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 4,
                                        "Arguments must be a list of 4 elements: [handleId, format, width, height]");
        const int handle = ValueAs<int32_t>(list[0]);
        // Checked though unused: streaming takes the format set before.
        ValueAs<int32_t>(list[1]);
        ValueAs<int32_t>(list[2]);
        ValueAs<int32_t>(list[3]);
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        const int status = SvStartStreaming(camera);
        if (status != 0) {
            result->Error("SORVANSDK_ERROR", failure, Int(status));
            return;
        }
        result->Success(Int(0));
    });
}

void SorvanSDKPluginImpl::handleSetMaxFPS(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to set max FPS";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, fps]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto fps = static_cast<uint8_t>(ValueAs<int32_t>(list[1]));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvSetMaxFPS(camera, fps)));
    });
}

void SorvanSDKPluginImpl::handleSetThroughPut(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to set throughput";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list =
            ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, throughput]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto throughput = static_cast<uint16_t>(ValueAs<int32_t>(list[1]));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvSetThroughPut(camera, throughput)));
    });
}

void SorvanSDKPluginImpl::handleLoadProfileConfig(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to load profile config";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list =
            ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, profile]");
        const int handle = ValueAs<int32_t>(list[0]);
        const std::string profile = ValueAs<std::string>(list[1]);
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvLoadProfileConfig(camera, profile)));
    });
}

void SorvanSDKPluginImpl::handleSetOSPProfileFlag(const MethodCall& call, MethodResultPtr result) {
    const char* failure = "Failed to set OSP profile flag";
    Guarded(result, failure, ArgumentErrors::kMethodFailure, [&] {
        const auto& list = ListArgument(call.arguments(), 2, "Arguments must be a list of 2 elements: [handleId, flag]");
        const int handle = ValueAs<int32_t>(list[0]);
        const auto flag = static_cast<SV_OSP_PROFILE_FLAG>(ValueAs<int32_t>(list[1]));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvSetOSPProfileFlag(camera, flag)));
    });
}

// ---- Map arguments --------------------------------------------------------

void SorvanSDKPluginImpl::handleGenericI2CRead(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to perform generic I2C read", ArgumentErrors::kMethodFailure, [&] {
        const auto& map = MapArgument(call.arguments());
        const int handle = MapInt(map, "handleId");
        const auto slave = static_cast<uint8_t>(MapInt(map, "slvAddr"));
        const auto regLen = static_cast<uint8_t>(MapInt(map, "regLen"));
        const auto regAddr = static_cast<uint16_t>(MapInt(map, "regAddr"));
        const auto dataLen = static_cast<uint16_t>(MapInt(map, "dataLen"));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        std::vector<uint8_t> buffer(dataLen, 0);
        const int status = SvGenericI2CRead(camera, slave, regLen, regAddr, dataLen, buffer.data());
        if (status != 0) {
            result->Error("I2C_ERROR", "I2C read failed", Int(status));
            return;
        }
        EncodableList bytes;
        for (uint8_t byte : buffer) bytes.push_back(Int(byte));
        result->Success(EncodableValue(std::move(bytes)));
    });
}

void SorvanSDKPluginImpl::handleGenericI2CWrite(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to perform generic I2C write", ArgumentErrors::kMethodFailure, [&] {
        const auto& map = MapArgument(call.arguments());
        const int handle = MapInt(map, "handleId");
        const auto slave = static_cast<uint8_t>(MapInt(map, "slvAddr"));
        const auto regLen = static_cast<uint8_t>(MapInt(map, "regLen"));
        const auto regAddr = static_cast<uint16_t>(MapInt(map, "regAddr"));
        const auto dataLen = static_cast<uint16_t>(MapInt(map, "dataLen"));
        const auto* data = std::get_if<EncodableList>(&MapValue(map, "data"));
        if (data == nullptr) throw std::invalid_argument("Data must be a list");
        std::vector<uint8_t> bytes;
        bytes.reserve(data->size());
        for (const auto& element : *data) bytes.push_back(static_cast<uint8_t>(ValueAs<int32_t>(element)));
        // Only the list's bytes exist: a longer dataLen would send what lies past them.
        if (dataLen > bytes.size()) throw std::invalid_argument("dataLen exceeds the number of data bytes");
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvGenericI2CWrite(camera, slave, regLen, regAddr, dataLen, bytes.data())));
    });
}

void SorvanSDKPluginImpl::handleSensorRegisterRead(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to perform sensor register read", ArgumentErrors::kMethodFailure, [&] {
        const auto& map = MapArgument(call.arguments());
        const int handle = MapInt(map, "handleId");
        const auto sid = static_cast<uint16_t>(MapInt(map, "sid"));
        const auto addr = static_cast<uint16_t>(MapInt(map, "addr"));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        uint16_t value = 0;
        const int status = SvAP1302SensorRegisterRead(camera, sid, addr, value);
        if (status != 0) {
            result->Error("I2C_ERROR", "Sensor register read failed", Int(status));
            return;
        }
        result->Success(Int(value));
    });
}

void SorvanSDKPluginImpl::handleSensorRegisterWrite(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to perform sensor register write", ArgumentErrors::kMethodFailure, [&] {
        const auto& map = MapArgument(call.arguments());
        const int handle = MapInt(map, "handleId");
        const auto sid = static_cast<uint16_t>(MapInt(map, "sid"));
        const auto addr = static_cast<uint16_t>(MapInt(map, "addr"));
        const auto data = static_cast<uint16_t>(MapInt(map, "data"));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvAP1302SensorRegisterWrite(camera, sid, addr, data)));
    });
}

void SorvanSDKPluginImpl::handleAP1302I2CRead(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to perform AP1302 I2C read", ArgumentErrors::kMethodFailure, [&] {
        const auto& map = MapArgument(call.arguments());
        const int handle = MapInt(map, "handleId");
        const auto reg = static_cast<uint16_t>(MapInt(map, "regAddr"));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        uint16_t value = 0;
        const int status = SvAP1302I2CRead(camera, reg, value);
        if (status != 0) {
            result->Error("I2C_ERROR", "AP1302 I2C read failed", Int(status));
            return;
        }
        result->Success(Int(value));
    });
}

void SorvanSDKPluginImpl::handleAP1302I2CWrite(const MethodCall& call, MethodResultPtr result) {
    Guarded(result, "Failed to perform AP1302 I2C write", ArgumentErrors::kMethodFailure, [&] {
        const auto& map = MapArgument(call.arguments());
        const int handle = MapInt(map, "handleId");
        const auto reg = static_cast<uint16_t>(MapInt(map, "regAddr"));
        const auto data = static_cast<uint16_t>(MapInt(map, "data"));
        SvCameraPtr camera = LookUp(handle, result);
        if (!camera) return;
        result->Success(Int(SvAP1302I2CWrite(camera, reg, data)));
    });
}

}  // namespace sorvansdk
