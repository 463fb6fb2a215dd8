// The simulated LUMO loader on its own: packets, acknowledgements, answers,
// the lock, and flash that programming can only clear.

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sim/LumoLoader.h"

using sv::sim::maker::LumoLoader;

namespace {

// A packet built by hand from the loader's framing, CRC included.
std::vector<uint8_t> Packet(uint8_t command, const std::vector<uint8_t>& payload, bool breakCrc = false) {
    std::vector<uint8_t> body = {command};
    body.insert(body.end(), payload.begin(), payload.end());
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : body) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    if (breakCrc) crc ^= 1;
    std::vector<uint8_t> data;
    data.reserve(body.size() + 5);
    data.push_back(0x00);
    for (uint8_t b : body) data.push_back(b);
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return data;  // what follows the two register bytes 0x80, n
}

struct Exchange {
    uint8_t ack = 0xEE;
    std::vector<uint8_t> answer;
};

Exchange Send(LumoLoader& loader, uint8_t command, const std::vector<uint8_t>& payload, size_t answerBytes = 9,
              bool breakCrc = false) {
    const auto data = Packet(command, payload, breakCrc);
    std::string note;
    loader.Write(static_cast<uint16_t>(0x8000 | (payload.size() + 1)), data.data(), data.size(), note);
    Exchange e;
    loader.Read(&e.ack, 1);
    e.answer.assign(answerBytes, 0xEE);
    loader.Read(e.answer.data(), answerBytes);
    return e;
}

std::vector<uint8_t> Le32s(uint32_t a, uint32_t b) {
    std::vector<uint8_t> out;
    for (uint32_t v : {a, b}) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    return out;
}

TEST(SimLumoLoader, LockedUntilThePasswordThenErasesProgramsAndChecks) {
    LumoLoader loader(std::vector<uint8_t>(32, 0xFF));
    // Locked: erase refused with status 4 in a 0x3B message.
    Exchange e = Send(loader, 0x15, {});
    EXPECT_EQ(e.ack, 0x00);
    EXPECT_EQ((std::vector<uint8_t>(e.answer.begin(), e.answer.begin() + 5)),
              (std::vector<uint8_t>{0x80, 0x02, 0x00, 0x3B, 0x04}));
    EXPECT_EQ(Send(loader, 0x21, std::vector<uint8_t>(32, 0x00)).answer[4], 0x05) << "wrong password";
    EXPECT_EQ(Send(loader, 0x21, std::vector<uint8_t>(32, 0xFF)).answer[4], 0x00);
    EXPECT_EQ(Send(loader, 0x15, {}).answer[4], 0x00);

    std::vector<uint8_t> program = {0x10, 0x00, 0x00, 0x00, 0xF0, 0x0F};
    EXPECT_EQ(Send(loader, 0x20, program).answer[4], 0x00);
    EXPECT_EQ(loader.Flash()[0x10], 0xF0);
    // Programming again without an erase can only clear bits.
    program[4] = 0x3C;
    EXPECT_EQ(Send(loader, 0x20, program).answer[4], 0x00);
    EXPECT_EQ(loader.Flash()[0x10], 0x30);

    // CRC of two bytes 0x30 0x0F, answered as 0x32 and four CRC bytes.
    const Exchange crc = Send(loader, 0x26, Le32s(0x10, 2), 12);
    EXPECT_EQ(crc.answer[3], 0x32);
    uint32_t expected = 0xFFFFFFFFu;
    for (uint8_t b : {uint8_t{0x30}, uint8_t{0x0F}}) {
        expected ^= b;
        for (int k = 0; k < 8; ++k) expected = (expected & 1u) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
    }
    EXPECT_EQ(crc.answer[4] | crc.answer[5] << 8 | crc.answer[6] << 16 | static_cast<uint32_t>(crc.answer[7]) << 24,
              expected);
    // Outside the flash: status 8.
    EXPECT_EQ(Send(loader, 0x26, Le32s(LumoLoader::kFlashBytes - 1, 2)).answer[4], 0x08);
}

TEST(SimLumoLoader, BadPacketsAreNotAcknowledged) {
    LumoLoader loader(std::vector<uint8_t>(32, 0xFF));
    EXPECT_EQ(Send(loader, 0x12, {}, 9, true).ack, 0x52) << "wrong CRC";
    const auto good = Packet(0x12, {});
    std::string note;
    loader.Write(0x8002, good.data(), good.size(), note);  // n says 2, the packet holds 1
    uint8_t ack = 0;
    loader.Read(&ack, 1);
    EXPECT_EQ(ack, 0x55);
    loader.Write(0x7001, good.data(), good.size(), note);
    loader.Read(&ack, 1);
    EXPECT_EQ(ack, 0x51);
    // Sync is acknowledged with nothing to answer; start is remembered once.
    EXPECT_EQ(Send(loader, 0x12, {}).ack, 0x00);
    Send(loader, 0x40, {});
    EXPECT_TRUE(loader.TakeStart());
    EXPECT_FALSE(loader.TakeStart());
}

}  // namespace
