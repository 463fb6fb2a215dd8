// The pieces both sensor-board upgrades share: the loader's CRC and packets,
// and the sensor tables.

#include <gtest/gtest.h>

#include "firmware/SensorBoard.h"
#include "firmware/SvLUMOFirmwareUpgrade.h"

namespace {

TEST(FirmwareTools, LoaderCrcAndPacketLayout) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(sv::firmware::BslCrc(abc, 3), 0xCADBBE3Du);

    // 0x80, n, 0x00, command, payload, CRC of command and payload low first.
    const auto packet = sv::firmware::BslPacket(0x20, {0x01, 0x02});
    ASSERT_EQ(packet.size(), 10u);
    EXPECT_EQ(packet[0], 0x80);
    EXPECT_EQ(packet[1], 3);
    EXPECT_EQ(packet[2], 0x00);
    EXPECT_EQ(packet[3], 0x20);
    const uint32_t crc = sv::firmware::BslCrc(packet.data() + 3, 3);
    EXPECT_EQ(packet[6] | packet[7] << 8 | packet[8] << 16 | static_cast<uint32_t>(packet[9]) << 24, crc);
    // A full program packet: 128 data bytes and the address make n 133.
    EXPECT_EQ(sv::firmware::BslPacket(0x20, std::vector<uint8_t>(132, 0))[1], 133);
}

TEST(FirmwareTools, SensorNamesAndColourTypes) {
    EXPECT_STREQ(sv::firmware::SensorName(0x0A56), "AR0234");
    EXPECT_STREQ(sv::firmware::SensorName(0x0153), "AR1335");
    EXPECT_EQ(sv::firmware::SensorName(0x5805), nullptr);
    EXPECT_STREQ(sv::firmware::ColourType(0x00A2), "M");
    EXPECT_STREQ(sv::firmware::ColourType(0x0492), "C");
    EXPECT_STREQ(sv::firmware::ColourType(0x0000), "C") << "unknown customer ids are colour";
}

}  // namespace
