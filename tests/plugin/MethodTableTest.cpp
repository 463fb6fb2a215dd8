// The methods of the channel against the simulated cameras: replies for
// good arguments and the specified failures for bad ones.

#include <cstring>
#include <fstream>

#include "EncodableConversions.h"
#include "PluginTestSupport.h"

using namespace plugintest;
using sorvansdk_host::Describe;

namespace {

int MapInt(const Reply& reply, const char* key) {
    return std::get<int32_t>(std::get<EncodableMap>(reply.value).at(EncodableValue(key)));
}

}  // namespace

TEST_F(PluginTest, DeviceRecordQueriesOfEachFamily) {
    const int webcam = NewHandle(kWebcam);
    const int kivo = NewHandle(kKivo);
    const int lira = NewHandle(kLira);
    EXPECT_EQ(Call("getDeviceName", I(webcam)).value, S("USB2.0 HD UVC WebCam"));
    EXPECT_EQ(Call("getDeviceInterfaceType", I(kivo)).value, S("USB"));
    EXPECT_EQ(AsInt(Call("getDeviceProductType", I(webcam))), 1);
    EXPECT_EQ(AsInt(Call("getDeviceProductType", I(lira))), 2);
    EXPECT_EQ(AsInt(Call("getDeviceProductType", I(kivo))), 3);
    EXPECT_EQ(AsInt(Call("getUSBDeviceSpeed", I(webcam))), 2);
    EXPECT_EQ(AsInt(Call("getUSBDeviceSpeed", I(kivo))), 3);
    EXPECT_EQ(AsInt(Call("isSorvanCamera", I(webcam))), -1);
    EXPECT_EQ(AsInt(Call("isSorvanCamera", I(kivo))), 0);
    for (const char* method : {"getDevicePath", "getHardwareID"}) {
        const Reply reply = Call(method, I(kivo));
        ASSERT_TRUE(IsSuccess(reply)) << method;
        EXPECT_FALSE(std::get<std::string>(reply.value).empty()) << method;
    }
}

TEST_F(PluginTest, FormatListAndSetFormatByIndex) {
    const int handle = OpenHandle(kWebcam);
    const Reply formats = Call("getFormatList", I(handle));
    ASSERT_TRUE(IsSuccess(formats));
    const auto& list = std::get<EncodableList>(formats.value);
    ASSERT_EQ(list.size(), 8u);
    const auto& third = std::get<EncodableMap>(list[2]);
    EXPECT_EQ(third.at(S("index")), I(2));
    EXPECT_EQ(third.at(S("mediatypeIdx")), I(2));
    EXPECT_EQ(third.at(S("width")), I(640));
    EXPECT_EQ(third.at(S("height")), I(480));
    EXPECT_EQ(third.at(S("framerate")), I(30));
    EXPECT_EQ(third.at(S("format")), I(1)) << "YUY2";
    EXPECT_EQ(third.size(), 6u);

    EXPECT_EQ(AsInt(Call("setFormat", L({I(handle), I(0)}))), 0);
    EXPECT_TRUE(IsError(Call("setFormat", L({I(handle), M({{"index", I(0)}})})), "SORVANSDK_ERROR",
                        "Failed to set format", S("bad variant access")));
    for (int outside : {8, -1, 1 << 20}) {
        SCOPED_TRACE(outside);
        EXPECT_TRUE(IsError(Call("setFormat", L({I(handle), I(outside)})), "SORVANSDK_ERROR", "Failed to set format",
                            S("Format index out of range")));
    }
    EXPECT_TRUE(IsError(Call("setFormat", L({I(handle)})), "SORVANSDK_ERROR", "Failed to set format",
                        S("Arguments must be a list of 2 elements: [handleId, formatMap]")));
}

TEST_F(PluginTest, StartStreamingChecksItsUnusedElementsAndStreamsTheFormatSetBefore) {
    const int handle = OpenHandle(kWebcam);
    ASSERT_EQ(AsInt(Call("setFormat", L({I(handle), I(2)}))), 0);
    EXPECT_TRUE(IsError(Call("startStreaming", L({I(handle), S("YUY2"), I(640), I(480)})), "SORVANSDK_ERROR",
                        "Failed to start streaming", S("bad variant access")));
    EXPECT_EQ(AsInt(Call("startStreaming", L({I(handle), I(0), I(0), I(0)}))), 0);
    EXPECT_EQ(AsInt(Call("stopStreaming", I(handle))), 0);
    EXPECT_EQ(AsInt(Call("closeCamera", I(handle))), 0);
    // A camera never opened: the library's failure inside the message.
    const int closed = NewHandle(kWebcam);
    const Reply refused = Call("startStreaming", L({I(closed), I(0), I(0), I(0)}));
    ASSERT_EQ(refused.kind, Reply::Kind::kError);
    EXPECT_EQ(refused.message, "Failed to start streaming");
    EXPECT_LT(std::get<int32_t>(refused.details), 0);
}

TEST_F(PluginTest, UvcControlsReadBackWhatWasSet) {
    const int handle = OpenHandle(kWebcam);
    const Reply range = Call("getUVCImageProcessingRange", L({I(handle), I(0)}));
    ASSERT_TRUE(IsSuccess(range));
    const int minimum = MapInt(range, "min"), maximum = MapInt(range, "max");
    EXPECT_LT(minimum, maximum);
    const int wanted = minimum + (maximum - minimum) / 2;
    EXPECT_EQ(AsInt(Call("setUVCImageProcessing", L({I(handle), I(0), I(wanted), I(0)}))), 0);
    const Reply value = Call("getUVCImageProcessing", L({I(handle), I(0)}));
    ASSERT_TRUE(IsSuccess(value));
    EXPECT_EQ(MapInt(value, "value"), wanted);
    EXPECT_EQ(std::get<EncodableMap>(value.value).size(), 2u);
    // Out of range: the library's result arrives inside a success.
    EXPECT_LT(AsInt(Call("setUVCImageProcessing", L({I(handle), I(0), I(maximum + 1000), I(0)}))), 0);
    // An unknown control: the library's result as the detail.
    const Reply unknown = Call("getUVCImageProcessing", L({I(handle), I(99)}));
    ASSERT_EQ(unknown.kind, Reply::Kind::kError);
    EXPECT_EQ(unknown.code, "SORVANSDK_ERROR");
    EXPECT_EQ(unknown.message, "Failed to get UVC image processing");
    EXPECT_LT(std::get<int32_t>(unknown.details), 0);
}

TEST_F(PluginTest, IspControlsOfAMakerCameraAndTheirRefusalOnAWebcam) {
    const int kivo = OpenHandle(kKivo);
    const Reply range = Call("getISPImageProcessingRange", L({I(kivo), I(0)}));
    ASSERT_TRUE(IsSuccess(range));
    const int wanted = MapInt(range, "min");
    EXPECT_EQ(AsInt(Call("setISPImageProcessing", L({I(kivo), I(0), I(wanted)}))), 0);
    const Reply value = Call("getISPImageProcessing", L({I(kivo), I(0)}));
    ASSERT_TRUE(IsSuccess(value));
    EXPECT_EQ(MapInt(value, "value"), wanted);
    EXPECT_EQ(AsInt(Call("setISPImageProcessingDefault", L({I(kivo)}))), 0);
    const Reply gain = Call("getCurrentGain", L({I(kivo)}));
    ASSERT_TRUE(IsSuccess(gain));
    EXPECT_GE(AsInt(gain), 0);
    EXPECT_LE(AsInt(gain), 255);
    EXPECT_TRUE(IsSuccess(Call("getCurrentExposure", L({I(kivo)}))));

    const int webcam = OpenHandle(kWebcam);
    EXPECT_TRUE(IsError(Call("getISPImageProcessing", L({I(webcam), I(0)})), "SORVANSDK_ERROR",
                        "Failed to get ISP image processing", I(-1)));
    EXPECT_EQ(AsInt(Call("setISPImageProcessing", L({I(webcam), I(0), I(1)}))), -1) << "actions answer the result";
    EXPECT_EQ(AsInt(Call("resetUVC", I(webcam))), -1);
    EXPECT_TRUE(IsError(Call("getUSBFirmwareVersion", I(webcam)), "SORVANSDK_ERROR",
                        "Failed to get USB firmware version", I(-1)));
}

TEST_F(PluginTest, MakerQueriesAnswerTheirValues) {
    const int kivo = OpenHandle(kKivo);
    for (const char* method : {"getUSBFirmwareVersion", "getSensorUniqueID", "getSensorFirmwareVersion"}) {
        const Reply reply = Call(method, I(kivo));
        ASSERT_TRUE(IsSuccess(reply)) << method;
        EXPECT_FALSE(std::get<std::string>(reply.value).empty()) << method;
    }
    EXPECT_EQ(Call("getUSBFirmwareVersion", I(kivo)).value, S("24.07.03.01"));
    EXPECT_EQ(AsInt(Call("getHeaderVersion", I(kivo))), 2);
    const Reply v2 = Call("getBootdataHeaderV2", I(kivo));
    ASSERT_TRUE(IsSuccess(v2)) << Describe(v2);
    EXPECT_EQ(std::get<EncodableMap>(v2.value).at(S("productName")), S("KIVO-AR0234"));
    EXPECT_EQ(std::get<EncodableMap>(v2.value).at(S("contentLen")), I(64));
    const Reply product = Call("checkProduct", I(kivo));
    ASSERT_TRUE(IsSuccess(product)) << Describe(product);
    EXPECT_TRUE(std::holds_alternative<std::string>(std::get<EncodableMap>(product.value).at(S("product_name"))));
    EXPECT_TRUE(std::holds_alternative<std::string>(std::get<EncodableMap>(product.value).at(S("color_type"))));
    EXPECT_TRUE(std::holds_alternative<double>(Call("getTimestamp", I(kivo)).value));
    EXPECT_EQ(AsInt(Call("resetTimestamp", I(kivo))), 0);
    const int count = AsInt(Call("getFrameCount", I(kivo)));
    EXPECT_GE(count, 0);
    EXPECT_LE(count, 255);
    EXPECT_EQ(AsInt(Call("resetFrameCount", I(kivo))), 0);

    const int lira = OpenHandle(kLira);
    EXPECT_EQ(AsInt(Call("getHeaderVersion", I(lira))), 3);
    ::testing::internal::CaptureStdout();
    const Reply v3 = Call("getBootdataHeaderV3", I(lira));
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("sdk plugin: SvGetBootdataHeaderV3 ret: 0\n"), std::string::npos) << printed;
    ASSERT_TRUE(IsSuccess(v3)) << Describe(v3);
    const auto& map = std::get<EncodableMap>(v3.value);
    EXPECT_EQ(map.size(), 20u);
    EXPECT_EQ(map.at(S("productName")), S("LIRA-OX05B"));
    EXPECT_EQ(map.at(S("znFwVersion")), L({I(1), I(5)}));
    EXPECT_EQ(map.at(S("vendorFwVersion")), I(300));
    EXPECT_EQ(std::get<std::string>(map.at(S("sensorFuseId"))).size(), 32u);
    const Reply lumo = Call("getLUMOFirmwareVersion", I(lira));
    ASSERT_TRUE(IsSuccess(lumo)) << Describe(lumo);
    EXPECT_FALSE(std::get<std::string>(lumo.value).empty());
}

TEST_F(PluginTest, RateAndThroughputAreCutToTheLibrarysWidths) {
    const int kivo = OpenHandle(kKivo);
    EXPECT_EQ(AsInt(Call("setMaxFPS", L({I(kivo), I(300)}))), 0);
    EXPECT_EQ(AsInt(Call("getMaxFPS", I(kivo))), 44) << "300 cut to 8 bits";
    EXPECT_EQ(AsInt(Call("setThroughPut", L({I(kivo), I(65536 + 1000)}))), 0);
    EXPECT_EQ(AsInt(Call("getThroughPut", I(kivo))), 1000) << "cut to 16 bits";
}

TEST_F(PluginTest, ProfileMethodsPassTheLibrarysResults) {
    // Neither maker camera of the built-in world keeps an on-camera profile
    // (a version 2 header; LUMO firmware before 24.07.01): the library's
    // refusals arrive as the replies say.
    const int kivo = OpenHandle(kKivo);
    const int lira = OpenHandle(kLira);
    for (int handle : {kivo, lira}) {
        EXPECT_TRUE(IsError(Call("getOSPProfileConfig", I(handle)), "SORVANSDK_ERROR", "Failed to get OSP profile config",
                            I(-1)));
        EXPECT_TRUE(IsError(Call("getOSPProfileFlag", I(handle)), "SORVANSDK_ERROR", "Failed to get OSP profile flag",
                            I(-1)));
        EXPECT_EQ(AsInt(Call("setOSPProfileFlag", L({I(handle), I(1)}))), -1) << "an action answers the result";
    }
    EXPECT_LT(AsInt(Call("loadProfileConfig", L({I(kivo), S("not a profile")}))), 0);
    EXPECT_TRUE(IsError(Call("loadProfileConfig", L({I(kivo), I(1)})), "SORVANSDK_ERROR", "Failed to load profile config",
                        S("bad variant access")));
    EXPECT_LT(AsInt(Call("activateProfileStreaming", I(kivo))), 0) << "no profile loaded";
    EXPECT_LT(AsInt(Call("activateProfileImageProcessing", I(kivo))), 0);
}

TEST_F(PluginTest, RegisterMethodsTakeMapsAndCheckTheirLists) {
    const int kivo = OpenHandle(kKivo);
    const Reply read = Call("genericI2CRead", M({{"handleId", I(kivo)}, {"slvAddr", I(0x54)}, {"regLen", I(2)},
                                                  {"regAddr", I(0)}, {"dataLen", I(4)}}));
    ASSERT_TRUE(IsSuccess(read)) << Describe(read);
    const auto& bytes = std::get<EncodableList>(read.value);
    ASSERT_EQ(bytes.size(), 4u);
    for (const auto& b : bytes) {
        EXPECT_GE(std::get<int32_t>(b), 0);
        EXPECT_LE(std::get<int32_t>(b), 255);
    }
    EXPECT_TRUE(IsError(Call("genericI2CRead", M({{"handleId", I(kivo)}, {"slvAddr", I(0x54)}, {"regAddr", I(0)},
                                                   {"dataLen", I(4)}})),
                        "SORVANSDK_ERROR", "Failed to perform generic I2C read", S("invalid map<K, T> key")));

    const auto write = [&](const EncodableValue& data, int dataLen) {
        return Call("genericI2CWrite", M({{"handleId", I(kivo)}, {"slvAddr", I(0x54)}, {"regLen", I(2)},
                                          {"regAddr", I(0x100)}, {"dataLen", I(dataLen)}, {"data", data}}));
    };
    EXPECT_EQ(AsInt(write(L({I(0x11), I(0x22)}), 2)), 0);
    const Reply back = Call("genericI2CRead", M({{"handleId", I(kivo)}, {"slvAddr", I(0x54)}, {"regLen", I(2)},
                                                  {"regAddr", I(0x100)}, {"dataLen", I(2)}}));
    EXPECT_EQ(back.value, L({I(0x11), I(0x22)})) << Describe(back);
    EXPECT_TRUE(IsError(write(S("1122"), 2), "SORVANSDK_ERROR", "Failed to perform generic I2C write",
                        S("Data must be a list")));
    EXPECT_TRUE(IsError(write(L({I(1), I(2)}), 200), "SORVANSDK_ERROR", "Failed to perform generic I2C write",
                        S("dataLen exceeds the number of data bytes")))
        << "no byte past the list is sent";
    EXPECT_TRUE(IsError(write(L({I(1), S("2")}), 2), "SORVANSDK_ERROR", "Failed to perform generic I2C write",
                        S("bad variant access")));

    EXPECT_EQ(AsInt(Call("ap1302I2CWrite", M({{"handleId", I(kivo)}, {"regAddr", I(0x1000)}, {"data", I(0x1234)}}))), 0);
    const Reply isp = Call("ap1302I2CRead", M({{"handleId", I(kivo)}, {"regAddr", I(0x1000)}}));
    ASSERT_TRUE(IsSuccess(isp)) << Describe(isp);
    EXPECT_GE(AsInt(isp), 0);
    EXPECT_LE(AsInt(isp), 0xFFFF);
    const Reply sensor = Call("sensorRegisterRead", M({{"handleId", I(kivo)}, {"sid", I(0)}, {"addr", I(0)}}));
    EXPECT_TRUE(IsSuccess(sensor) || sensor.code == "I2C_ERROR") << Describe(sensor);
    EXPECT_TRUE(IsSuccess(Call("sensorRegisterWrite", M({{"handleId", I(kivo)}, {"sid", I(0)}, {"addr", I(0)}, {"data", I(0)}}))));

    const int webcam = OpenHandle(kWebcam);
    EXPECT_TRUE(IsError(Call("ap1302I2CRead", M({{"handleId", I(webcam)}, {"regAddr", I(0)}})), "I2C_ERROR",
                        "AP1302 I2C read failed", I(-1)));
    EXPECT_TRUE(IsError(Call("sensorRegisterRead", M({{"handleId", I(webcam)}, {"sid", I(0)}, {"addr", I(0)}})),
                        "I2C_ERROR", "Sensor register read failed", I(-1)));
    EXPECT_TRUE(IsError(Call("genericI2CRead", M({{"handleId", I(webcam)}, {"slvAddr", I(0x54)}, {"regLen", I(2)},
                                                   {"regAddr", I(0)}, {"dataLen", I(4)}})),
                        "I2C_ERROR", "I2C read failed", I(-1)));
}

TEST_F(PluginTest, HeadersFromFiles) {
    ScratchDir dir;
    ASSERT_TRUE(MakeImages("make-sensor-images", dir.path()));
    const Reply v3 = Call("getBootdataHeaderV3FromFile", S(dir.File("kano-bootdata.img")));
    ASSERT_TRUE(IsSuccess(v3)) << Describe(v3);
    const auto& map = std::get<EncodableMap>(v3.value);
    EXPECT_EQ(map.at(S("productName")), S("KIVO-AR0234"));
    EXPECT_EQ(map.at(S("znFwVersion")), L({I(2), I(1)}));
    EXPECT_EQ(map.at(S("vendorFwVersion")), I(400));
    EXPECT_EQ(map.at(S("customNumber")), I(9));
    const Reply missing = Call("getBootdataHeaderV2FromFile", S(dir.File("none.img")));
    ASSERT_EQ(missing.kind, Reply::Kind::kError);
    EXPECT_EQ(missing.message, "Failed to get BootdataHeaderV2 from file");
    EXPECT_LT(std::get<int32_t>(missing.details), 0);
    EXPECT_TRUE(IsError(Call("getBootdataHeaderV3FromFile", I(1)), "SORVANSDK_ERROR",
                        "Failed to get BootdataHeaderV3 from file", S("imgPath must be a string")));
}

TEST(HeaderMapTest, TextsStopAtTheirFirstZeroAndBytesBecomeLowerCaseHex) {
    SvHeaderV3 header{};
    header.headerVersion = 3;
    header.sensorFuseId[0] = 0x01;
    header.sensorFuseId[1] = 0xAB;
    std::memcpy(header.productName, "KIVO\0junk", 9);
    header.contentLen = 0xFFFFFFFFu;
    header.znFwVersion[0] = 2;
    header.znFwVersion[1] = 7;
    const auto map = sorvansdk::SvHeaderV3ToEncodableMap(header);
    EXPECT_EQ(map.at(S("sensorFuseId")), S("01ab" + std::string(28, '0')));
    EXPECT_EQ(map.at(S("lensId")), S(std::string(32, '0')));
    EXPECT_EQ(map.at(S("productName")), S("KIVO"));
    EXPECT_EQ(map.at(S("contentLen")), I(-1));
    EXPECT_EQ(map.at(S("znFwVersion")), L({I(2), I(7)}));

    SvHeaderV2 v2{};
    std::memset(v2.productName, 'A', sizeof v2.productName);
    v2.contentChecksum = 0x80000000u;
    const auto map2 = sorvansdk::SvHeaderV2ToEncodableMap(v2);
    EXPECT_EQ(map2.at(S("productName")), S(std::string(64, 'A'))) << "a full field has no terminator";
    EXPECT_EQ(map2.at(S("headInfo")), S(""));
    EXPECT_EQ(map2.at(S("contentChecksum")), I(std::numeric_limits<int32_t>::min()));
    EXPECT_EQ(map2.size(), 10u);
    EXPECT_STREQ(sorvansdk::InterfaceTypeName(2), "ETHERNET");
    EXPECT_STREQ(sorvansdk::InterfaceTypeName(7), "UNKNOWN");
}
