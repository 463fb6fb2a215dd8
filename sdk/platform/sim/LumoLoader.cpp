#include "platform/sim/LumoLoader.h"

#include <algorithm>

#include <fmt/format.h>

namespace sv::sim::maker {

namespace {

// CRC-32, reflected polynomial 0xEDB88320, start 0xFFFFFFFF, no final
// inversion: the loader's check of packets and memory.
uint32_t Crc(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) != 0 ? 0xEDB88320u : 0u);
    }
    return crc;
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint8_t kDone = 0x00;
constexpr uint8_t kLocked = 0x04;
constexpr uint8_t kWrongPassword = 0x05;
constexpr uint8_t kUnknownCommand = 0x07;
constexpr uint8_t kOutside = 0x08;

}  // namespace

LumoLoader::LumoLoader(std::vector<uint8_t> password)
    : password_(std::move(password)), flash_(kFlashBytes, 0xFF) {}

void LumoLoader::Answer(uint8_t command, const std::vector<uint8_t>& data) {
    answer_ = {0x80, static_cast<uint8_t>(data.size() + 1), 0x00, command};
    answer_.insert(answer_.end(), data.begin(), data.end());
    const uint32_t crc = Crc(answer_.data() + 3, data.size() + 1);
    for (int i = 0; i < 4; ++i) answer_.push_back(static_cast<uint8_t>(crc >> (8 * i)));
}

void LumoLoader::Write(uint16_t reg, const uint8_t* data, size_t count, std::string& note) {
    answer_.clear();
    ackPending_ = true;
    const size_t n = reg & 0xFF;
    if ((reg >> 8) != 0x80 || count < 1 || data[0] != 0x00) {
        ack_ = 0x51;
        note = "loader: packet does not start 80 n 00";
        return;
    }
    if (n == 0) {
        ack_ = 0x53;
        note = "loader: empty packet";
        return;
    }
    if (n > kBufferBytes) {
        ack_ = 0x54;
        note = fmt::format("loader: {} bytes do not fit its buffer", n);
        return;
    }
    if (count != n + 5) {
        ack_ = 0x55;
        note = fmt::format("loader: {} bytes after the register for a packet of {}", count, n);
        return;
    }
    const uint8_t* body = data + 1;  // command and payload
    if (Crc(body, n) != Le32(body + n)) {
        ack_ = 0x52;
        note = "loader: wrong CRC";
        return;
    }
    ack_ = 0x00;
    const uint8_t command = body[0];
    const uint8_t* payload = body + 1;
    const size_t length = n - 1;
    auto inFlash = [&](uint64_t address, uint64_t bytes) { return address + bytes <= kFlashBytes; };
    switch (command) {
        case 0x12:
            note = "loader: sync";
            ackPending_ = true;
            return;
        case 0x21:
            unlocked_ = length == password_.size() && std::equal(password_.begin(), password_.end(), payload);
            note = unlocked_ ? "loader: unlocked" : "loader: wrong password";
            Status(unlocked_ ? kDone : kWrongPassword);
            return;
        case 0x15:
            if (!unlocked_) {
                note = "loader: mass erase refused, locked";
                Status(kLocked);
                return;
            }
            std::fill(flash_.begin(), flash_.end(), 0xFF);
            note = "loader: mass erase";
            Status(kDone);
            return;
        case 0x20: {
            if (!unlocked_ || length < 4) {
                note = "loader: program refused";
                Status(unlocked_ ? kOutside : kLocked);
                return;
            }
            const uint32_t address = Le32(payload);
            const size_t bytes = length - 4;
            if (!inFlash(address, bytes)) {
                note = fmt::format("loader: program 0x{:08x} + {} outside the flash", address, bytes);
                Status(kOutside);
                return;
            }
            for (size_t i = 0; i < bytes; ++i) flash_[address + i] &= payload[4 + i];
            note = fmt::format("loader: program 0x{:08x} + {}", address, bytes);
            Status(kDone);
            return;
        }
        case 0x26: {
            if (!unlocked_ || length != 8) {
                note = "loader: CRC refused";
                Status(unlocked_ ? kOutside : kLocked);
                return;
            }
            const uint32_t address = Le32(payload);
            const uint32_t bytes = Le32(payload + 4);
            if (!inFlash(address, bytes)) {
                note = fmt::format("loader: CRC 0x{:08x} + {} outside the flash", address, bytes);
                Status(kOutside);
                return;
            }
            const uint32_t crc = Crc(flash_.data() + address, bytes) ^ crcError_;
            note = fmt::format("loader: CRC 0x{:08x} + {} = 0x{:08x}", address, bytes, crc);
            Answer(0x32, {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc >> 16),
                          static_cast<uint8_t>(crc >> 24)});
            return;
        }
        case 0x40:
            started_ = true;
            note = "loader: start";
            return;
        default:
            note = fmt::format("loader: unknown command 0x{:02x}", command);
            Status(kUnknownCommand);
            return;
    }
}

void LumoLoader::Read(uint8_t* out, size_t count) {
    std::fill(out, out + count, 0);
    if (ackPending_) {
        // The first read after a packet is its acknowledgement.
        out[0] = ack_;
        ackPending_ = false;
        return;
    }
    std::copy(answer_.begin(), answer_.begin() + static_cast<std::ptrdiff_t>(std::min(count, answer_.size())), out);
    answer_.clear();
}

bool LumoLoader::TakeStart() {
    const bool started = started_;
    started_ = false;
    return started;
}

}  // namespace sv::sim::maker
