#pragma once

// The LUMO microcontroller's bootstrap loader, as the host reaches it over I2C
// at 0x48 while the module is in loader mode. A packet arrives as one write to
// the register (0x80, n) carrying 0x00, the command, its payload and a CRC of
// command and payload; the loader then answers two reads of that register:
// first one acknowledgement byte, then its answer.
//
// Acknowledgements: 0x00 taken; 0x51 the packet does not start 0x80 n 0x00;
// 0x52 wrong CRC; 0x53 n is 0; 0x54 n does not fit the loader's buffer (134);
// 0x55 a packet whose length does not match n.
// Answers: a status message 0x80 0x02 0x00 0x3B status, or a CRC answer
// 0x80 0x05 0x00 0x32 crc0..crc3, each followed by the CRC of its bytes from
// the fourth on (four bytes, low first). Statuses: 0x00 done, 0x04 locked,
// 0x05 wrong password, 0x07 unknown command, 0x08 address or length outside
// the flash.
//
// The flash (kFlashBytes) reads 0xFF erased; programming can only clear bits,
// so a byte written twice without an erase holds the AND of both.

#include <cstdint>
#include <string>
#include <vector>

namespace sv::sim::maker {

class LumoLoader {
public:
    static constexpr uint32_t kFlashBytes = 0x40000;
    static constexpr size_t kBufferBytes = 134;  // command and payload

    explicit LumoLoader(std::vector<uint8_t> password);

    // A write to register `reg` (the packet's first two bytes). `note` tells
    // the trace what happened.
    void Write(uint16_t reg, const uint8_t* data, size_t count, std::string& note);
    // A read of the packet's register: the acknowledgement, then the answer.
    void Read(uint8_t* out, size_t count);
    // The start command was taken since the last call.
    bool TakeStart();

    const std::vector<uint8_t>& Flash() const { return flash_; }
    std::vector<uint8_t>& Flash() { return flash_; }
    bool Unlocked() const { return unlocked_; }
    // Leaving loader mode locks it again.
    void Lock() { unlocked_ = false; }
    // A loader whose checker reports these bits wrong: every CRC answer is
    // the flash's CRC with them flipped (0: a sound loader).
    void SetCrcError(uint32_t bits) { crcError_ = bits; }

private:
    void Answer(uint8_t command, const std::vector<uint8_t>& data);
    void Status(uint8_t status) { Answer(0x3B, {status}); }

    std::vector<uint8_t> password_;
    std::vector<uint8_t> flash_;
    bool unlocked_ = false;
    uint32_t crcError_ = 0;
    bool started_ = false;
    bool ackPending_ = false;
    uint8_t ack_ = 0;
    std::vector<uint8_t> answer_;
};

}  // namespace sv::sim::maker
