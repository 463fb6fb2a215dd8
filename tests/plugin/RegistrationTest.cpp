// Registration, dispatch, the handle registry and the reply conventions,
// through encoded calls on the stand-in engine.

#include "PluginTestSupport.h"

using namespace plugintest;
using sorvansdk_host::Describe;

namespace {

const std::vector<std::string> kBareHandleMethods = {
    "openCamera", "closeCamera", "isSorvanCamera", "getDeviceName", "getDeviceInterfaceType", "resetUVC",
    "stopStreaming", "activateProfileStreaming", "activateProfileImageProcessing", "resetOSPProfileConfig",
    "resetTimestamp", "resetFrameCount", "getHeaderVersion", "gotoFX3ProgramMode", "getDevicePath",
    "getDeviceProductType", "getHardwareID", "getUSBDeviceSpeed", "getUSBFirmwareVersion", "getLUMOFirmwareVersion",
    "getSensorUniqueID", "getSensorFirmwareVersion", "getMaxFPS", "getThroughPut", "getOSPProfileConfig",
    "getOSPProfileFlag", "getTimestamp", "getFrameCount", "getFormatList", "checkProduct", "getBootdataHeaderV2",
    "getBootdataHeaderV3", "cleanSensorFW"};

}  // namespace

TEST_F(PluginTest, LibraryMethodsAnswerWithoutACamera) {
    EXPECT_EQ(Call("getSorvanSDKVersion").value, S("25.12.1"));
    EXPECT_EQ(Call("helloSorvanSDK").value, S("Hello SorvanSDK called, version: 25.12.1"));
    const Reply platform = Call("getPlatformVersion");
    ASSERT_TRUE(IsSuccess(platform));
    EXPECT_FALSE(std::get<std::string>(platform.value).empty());
    EXPECT_EQ(AsInt(Call("setLogLevel", I(2))), 0);
    ScratchDir logs;
    EXPECT_EQ(AsInt(Call("setLogFile", S(logs.path()))), 0);
    EXPECT_TRUE(IsError(Call("setLogLevel", S("info")), "INVALID_ARGUMENT", "Log level must be an integer", EncodableValue()));
    EXPECT_TRUE(IsError(Call("setLogFile", I(3)), "INVALID_ARGUMENT", "Folder path must be a string", EncodableValue()));
}

TEST_F(PluginTest, DiscoveryListsTheSimulatedCamerasInTheLibrarysOrder) {
    const Reply reply = Call("discoverCameraDevices");
    ASSERT_TRUE(IsSuccess(reply));
    const auto& names = std::get<EncodableList>(reply.value);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[kWebcam], S("USB2.0 HD UVC WebCam"));
    EXPECT_NE(std::get<std::string>(names[kKivo]).find("KIVO"), std::string::npos);
    EXPECT_NE(std::get<std::string>(names[kLira]).find("LIRA"), std::string::npos);
}

TEST_F(PluginTest, HandlesCountUpAndAreNeverGivenOutTwice) {
    const int first = NewHandle(kWebcam);
    EXPECT_GE(first, 1);
    const int second = NewHandle(kWebcam);
    EXPECT_EQ(second, first + 1) << "the same device index still gets a new camera object";
    EXPECT_EQ(AsInt(Call("releaseCameraHandle", I(first))), 0);
    EXPECT_EQ(AsInt(Call("releaseCameraHandle", I(first))), -1) << "a second release is not an error";
    EXPECT_EQ(NewHandle(kKivo), second + 1) << "a released number is not reused";
    // Releasing does not close: the other handle's camera still answers.
    EXPECT_TRUE(IsSuccess(Call("getDeviceName", I(second))));
}

TEST_F(PluginTest, EveryHandleMethodAnswersInvalidHandleAfterRelease) {
    const int handle = NewHandle(kKivo);
    ASSERT_EQ(AsInt(Call("releaseCameraHandle", I(handle))), 0);
    const EncodableValue none;
    for (const auto& method : kBareHandleMethods) {
        SCOPED_TRACE(method);
        EXPECT_TRUE(IsError(Call(method, I(handle)), "INVALID_HANDLE", "Camera handle not found", none));
    }
    const std::vector<std::pair<std::string, EncodableValue>> listCalls = {
        {"setUVCImageProcessing", L({I(handle), I(0), I(1), I(0)})},
        {"getUVCImageProcessing", L({I(handle), I(0)})},
        {"getUVCImageProcessingRange", L({I(handle), I(0)})},
        {"setISPImageProcessing", L({I(handle), I(0), I(1)})},
        {"setISPImageProcessingDefault", L({I(handle)})},
        {"getISPImageProcessing", L({I(handle), I(0)})},
        {"getISPImageProcessingRange", L({I(handle), I(0)})},
        {"getCurrentGain", L({I(handle)})},
        {"getCurrentExposure", L({I(handle)})},
        {"setFormat", L({I(handle), I(0)})},
        {"startStreaming", L({I(handle), I(0), I(0), I(0)})},
        {"setMaxFPS", L({I(handle), I(30)})},
        {"setThroughPut", L({I(handle), I(100)})},
        {"loadProfileConfig", L({I(handle), S("{}")})},
        {"setOSPProfileFlag", L({I(handle), I(1)})},
        {"upgradeSensorFW", L({I(handle), S("/nonexistent.img")})},
        {"genericI2CRead", M({{"handleId", I(handle)}, {"slvAddr", I(0x54)}, {"regLen", I(2)}, {"regAddr", I(0)}, {"dataLen", I(4)}})},
        {"genericI2CWrite", M({{"handleId", I(handle)}, {"slvAddr", I(0x54)}, {"regLen", I(2)}, {"regAddr", I(0)},
                               {"dataLen", I(1)}, {"data", L({I(1)})}})},
        {"sensorRegisterRead", M({{"handleId", I(handle)}, {"sid", I(0)}, {"addr", I(0)}})},
        {"sensorRegisterWrite", M({{"handleId", I(handle)}, {"sid", I(0)}, {"addr", I(0)}, {"data", I(0)}})},
        {"ap1302I2CRead", M({{"handleId", I(handle)}, {"regAddr", I(0)}})},
        {"ap1302I2CWrite", M({{"handleId", I(handle)}, {"regAddr", I(0)}, {"data", I(0)}})},
    };
    for (const auto& [method, arguments] : listCalls) {
        SCOPED_TRACE(method);
        EXPECT_TRUE(IsError(Call(method, arguments), "INVALID_HANDLE", "Camera handle not found", none));
    }
    EXPECT_TRUE(host_->Messages().empty()) << "no upgrade started";
}

TEST_F(PluginTest, UnknownNamesAndOtherCasingAreNotImplemented) {
    EXPECT_EQ(Call("OpenCamera", I(1)).kind, Reply::Kind::kNotImplemented);
    EXPECT_EQ(Call("getplatformversion").kind, Reply::Kind::kNotImplemented);
    EXPECT_EQ(Call("noSuchMethod").kind, Reply::Kind::kNotImplemented);
    EXPECT_EQ(Call("getPlatformVersio").kind, Reply::Kind::kNotImplemented) << "a prefix is not a match";
    // Bytes that are no method call at all.
    EXPECT_EQ(host_->StartRaw({3, 1, 0, 0, 0})->Wait().kind, Reply::Kind::kNotImplemented);
}

TEST_F(PluginTest, ArgumentErrorsFollowTheCodeOfTheirMethod) {
    const EncodableValue none;
    // The nine methods with INVALID_ARGUMENT.
    EXPECT_TRUE(IsError(Call("openCamera", S("1")), "INVALID_ARGUMENT", "Handle ID must be an integer", none));
    EXPECT_TRUE(IsError(Call("closeCamera"), "INVALID_ARGUMENT", "Handle ID must be an integer", none));
    EXPECT_TRUE(IsError(Call("getDeviceName", L({I(1)})), "INVALID_ARGUMENT", "Handle ID must be an integer", none));
    EXPECT_TRUE(IsError(Call("initializeCameraDevice", EncodableValue(1.0)), "INVALID_ARGUMENT",
                        "Device index must be an integer", none));
    EXPECT_TRUE(IsError(Call("releaseCameraHandle", S("x")), "INVALID_ARGUMENT", "Handle ID must be an integer", none));
    // The others carry the argument message as the detail of their failure.
    EXPECT_TRUE(IsError(Call("getFormatList", S("1")), "SORVANSDK_ERROR", "Failed to get format list",
                        S("Handle ID must be an integer")));
    EXPECT_TRUE(IsError(Call("getCurrentGain", L({I(1), I(2)})), "SORVANSDK_ERROR", "Failed to get current gain",
                        S("Arguments must be a list of 1 element: [handleId]")));
    EXPECT_TRUE(IsError(Call("getCurrentGain", I(1)), "SORVANSDK_ERROR", "Failed to get current gain",
                        S("Arguments must be a list of 1 element: [handleId]")));
    EXPECT_TRUE(IsError(Call("getUVCImageProcessing", L({I(1), S("brightness")})), "SORVANSDK_ERROR",
                        "Failed to get UVC image processing", S("bad variant access")));
    EXPECT_TRUE(IsError(Call("ap1302I2CRead", M({{"regAddr", I(0)}})), "SORVANSDK_ERROR",
                        "Failed to perform AP1302 I2C read", S("invalid map<K, T> key")));
    EXPECT_TRUE(IsError(Call("ap1302I2CRead", L({I(1)})), "SORVANSDK_ERROR", "Failed to perform AP1302 I2C read",
                        S("Arguments must be a map")));
}

TEST_F(PluginTest, ASixtyFourBitIntegerIsNotAnInt) {
    const int handle = NewHandle(kWebcam);
    const EncodableValue wide(static_cast<int64_t>(handle));
    const EncodableValue none;
    EXPECT_TRUE(IsError(Call("openCamera", wide), "INVALID_ARGUMENT", "Handle ID must be an integer", none));
    EXPECT_TRUE(IsError(Call("getDevicePath", wide), "SORVANSDK_ERROR", "Failed to get device path",
                        S("Handle ID must be an integer")));
    EXPECT_TRUE(IsError(Call("getCurrentGain", L({wide})), "SORVANSDK_ERROR", "Failed to get current gain",
                        S("bad variant access")));
    EXPECT_TRUE(IsError(Call("ap1302I2CRead", M({{"handleId", wide}, {"regAddr", I(0)}})), "SORVANSDK_ERROR",
                        "Failed to perform AP1302 I2C read", S("bad variant access")));
    EXPECT_TRUE(IsError(Call("initializeCameraDevice", EncodableValue(int64_t{1} << 32)), "INVALID_ARGUMENT",
                        "Device index must be an integer", none));
    // The same handle as a 32-bit int works.
    EXPECT_TRUE(IsSuccess(Call("getDevicePath", I(handle))));
}

TEST_F(PluginTest, AnIndexTheLibraryRefusesRegistersNothing) {
    const int before = NewHandle(kWebcam);
    EXPECT_TRUE(IsError(Call("initializeCameraDevice", I(99)), "SORVANSDK_ERROR", "Failed to create camera device",
                        EncodableValue()));
    EXPECT_TRUE(IsError(Call("initializeCameraDevice", I(-1)), "SORVANSDK_ERROR", "Failed to create camera device",
                        EncodableValue()));
    EXPECT_EQ(NewHandle(kWebcam), before + 1) << "the refused calls took no number";
}

TEST_F(PluginTest, TheRegistryOutlivesThePluginObjectAndServesTheNextEngine) {
    const int handle = NewHandle(kKivo);
    host_.reset();
    host_ = std::make_unique<sorvansdk_host::PluginHost>(SORVANSDK_PLUGIN_PATH);
    const Reply name = Call("getDeviceName", I(handle));
    ASSERT_TRUE(IsSuccess(name));
    EXPECT_NE(std::get<std::string>(name.value).find("KIVO"), std::string::npos);
}

TEST_F(PluginTest, AfterThePluginObjectIsGoneTheChannelHasNoHandler) {
    host_->DestroyPlugin();
    EXPECT_EQ(host_->Invoke("getSorvanSDKVersion").kind, Reply::Kind::kNotImplemented);
}
