#include <gtest/gtest.h>

#include <cstring>

#include "firmware/Fx3BootImage.h"
#include "firmware/Fx3Images.h"

using sv::firmware::CheckFx3Image;
using sv::firmware::FX3DownloadResult;
using sv::firmware::FX3DownloadResultName;
using sv::firmware::Fx3BootImage;
using sv::firmware::ParseFx3BootImage;
using svtest::Fx3Image;
using svtest::Pattern;

namespace {

FX3DownloadResult Parse(const std::vector<uint8_t>& bytes) {
    Fx3BootImage image;
    return ParseFx3BootImage(bytes.data(), bytes.size(), image);
}

void SetLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TEST(Fx3BootImage, RecordsEntryAndSizeCode) {
    const auto bytes = Fx3Image({{0x40000000, Pattern(12)}, {0x00001000, Pattern(8)}}, 0x40000004, 5);
    Fx3BootImage image;
    ASSERT_EQ(ParseFx3BootImage(bytes.data(), bytes.size(), image), FX3DownloadResult::Success);
    ASSERT_EQ(image.records.size(), 2u);
    EXPECT_EQ(image.records[0].address, 0x40000000u);
    EXPECT_EQ(image.records[0].offset, 12u);
    EXPECT_EQ(image.records[0].length, 12u);
    EXPECT_EQ(image.records[1].address, 0x1000u);
    EXPECT_EQ(image.records[1].offset, 32u);
    EXPECT_EQ(image.entry, 0x40000004u);
    EXPECT_EQ(image.end, bytes.size());
    EXPECT_EQ(image.eepromSizeCode, 5);
}

TEST(Fx3BootImage, BytesAfterTheEndRecordAreNotRead) {
    auto bytes = Fx3Image({{0x40000000, Pattern(8)}}, 0x40000000);
    const size_t end = bytes.size();
    bytes.push_back(0xEE);
    Fx3BootImage image;
    ASSERT_EQ(ParseFx3BootImage(bytes.data(), bytes.size(), image), FX3DownloadResult::Success);
    EXPECT_EQ(image.end, end);
}

TEST(Fx3BootImage, BadImagesHaveTheirResult) {
    EXPECT_EQ(Parse({}), FX3DownloadResult::IncorrectImageLength);
    EXPECT_EQ(Parse({'C'}), FX3DownloadResult::IncorrectImageLength);
    EXPECT_EQ(Parse({'C', 'Y', 0, 0}), FX3DownloadResult::IncorrectImageLength) << "no record head";
    auto noSig = Fx3Image({{0x40000000, Pattern(8)}}, 0x40000000);
    noSig[1] = 'X';
    EXPECT_EQ(Parse(noSig), FX3DownloadResult::InvalidFwSignature);

    auto truncated = Fx3Image({{0x40000000, Pattern(64)}}, 0x40000000);
    truncated.resize(70);  // the record fits the file size but runs past its end
    EXPECT_EQ(Parse(truncated), FX3DownloadResult::IncorrectImageLength);

    auto noEnd = Fx3Image({{0x40000000, Pattern(8)}}, 0x40000000);
    noEnd.resize(noEnd.size() - 8);
    EXPECT_EQ(Parse(noEnd), FX3DownloadResult::IncorrectImageLength);

    // 0x40000000 words are 4 GiB: wrapped to 32 bits the length would read 0,
    // the end record.
    auto wrapping = Fx3Image({{0x40000000, Pattern(8)}}, 0x40000000);
    SetLe32(wrapping, 4, 0x40000000u);
    EXPECT_EQ(Parse(wrapping), FX3DownloadResult::CorruptFirmwareImageFile);

    auto longer = Fx3Image({{0x40000000, Pattern(8)}}, 0x40000000);
    SetLe32(longer, 4, 1000);
    EXPECT_EQ(Parse(longer), FX3DownloadResult::CorruptFirmwareImageFile);

    auto pastAddressSpace = Fx3Image({{0xFFFFFFFCu, Pattern(8)}}, 0x40000000);
    EXPECT_EQ(Parse(pastAddressSpace), FX3DownloadResult::CorruptFirmwareImageFile);
}

TEST(Fx3BootImage, TargetChecks) {
    const auto ok = Fx3Image({{0x40000000, Pattern(8)}}, 0x40000000, 2);
    EXPECT_EQ(CheckFx3Image(1, ok.data(), ok.size()), FX3DownloadResult::Success);
    EXPECT_EQ(CheckFx3Image(2, ok.data(), ok.size()), FX3DownloadResult::Success);
    EXPECT_EQ(CheckFx3Image(3, ok.data(), ok.size()), FX3DownloadResult::Success);
    EXPECT_EQ(CheckFx3Image(0, ok.data(), ok.size()), FX3DownloadResult::InvalidMediaType);
    EXPECT_EQ(CheckFx3Image(4, ok.data(), ok.size()), FX3DownloadResult::InvalidMediaType);

    for (uint8_t code : {uint8_t{0}, uint8_t{1}}) {
        const auto unknown = Fx3Image({{0x40000000, Pattern(8)}}, 0x40000000, code);
        EXPECT_EQ(CheckFx3Image(2, unknown.data(), unknown.size()), FX3DownloadResult::I2cEepromUnknownSize);
        EXPECT_EQ(CheckFx3Image(1, unknown.data(), unknown.size()), FX3DownloadResult::Success) << "RAM ignores it";
    }
    // Code 2: eight devices of 4 KiB.
    const auto fits = svtest::Fx3ImageOfSize(8 * 4096, 2);
    EXPECT_EQ(CheckFx3Image(2, fits.data(), fits.size()), FX3DownloadResult::Success);
    const auto over = svtest::Fx3ImageOfSize(8 * 4096 + 4, 2);
    EXPECT_EQ(CheckFx3Image(2, over.data(), over.size()), FX3DownloadResult::IncorrectImageLength);
    // Code 7: devices 0, 4, 1, 5 of 64 KiB.
    EXPECT_EQ(sv::firmware::Fx3EepromCapacity(7), 4u * 65536);
    EXPECT_EQ(sv::firmware::Fx3EepromCapacity(6), 8u * 65536);
}

TEST(Fx3BootImage, ResultNames) {
    const char* names[] = {"SUCCESS", "FAILED", "INVALID_MEDIA_TYPE", "INVALID_FWSIGNATURE", "DEVICE_CREATE_FAILED",
                           "INCORRECT_IMAGE_LENGTH", "INVALID_FILE", "SPI_FLASH_ERASE_FAILED",
                           "CORRUPT_FIRMWARE_IMAGE_FILE", "I2C_EEPROM_UNKNOWN_SIZE"};
    for (int i = 0; i < 10; ++i) EXPECT_STREQ(FX3DownloadResultName(i), names[i]);
    EXPECT_STREQ(FX3DownloadResultName(10), "UNKNOWN");
    EXPECT_STREQ(FX3DownloadResultName(-1), "UNKNOWN");
}
