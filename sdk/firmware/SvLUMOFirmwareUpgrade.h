#pragma once

// The LUMO module of a LIRA camera: which sensor it carries, and its
// microcontroller's bootstrap loader (BSL), which erases, programs, checks and
// starts the module's firmware. Owned by its camera and reaching it by
// reference; all traffic goes to I2C device 0x48.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/BslPacket.h"

class SvLIRACamera;


class SvLUMOFirmwareUpgrade {
public:
    static constexpr std::size_t kBinInfoBytes = 20;
    static constexpr std::size_t kMaxPayload = 128;

    SvLUMOFirmwareUpgrade(SvLIRACamera& camera, uint8_t deviceAddress) : camera_(camera), device_(deviceAddress) {}

    // "LUMO-" and the sensor's name, and its colour type.
    int CheckProduct(std::string& productName, std::string& colorType);
    // Brings the module into loader mode, unlocks it and erases it.
    int CleanSensorFW();
    // Programs and verifies the control and bootdata sections of the image at
    // `imagePath`, then leaves loader mode. Does not erase first.
    int UpgradeSensorFW(const std::string& imagePath, const std::function<void(int)>& progress);

    int BslState() const { return bslState_; }

private:
    int CheckDriver();
    // Sends a packet; 0 and the acknowledgement byte in `ack`, -1 when the
    // transfer failed.
    int Send(uint8_t command, const std::vector<uint8_t>& payload, uint8_t& ack);
    // Reads `count` answer bytes after the acknowledgement; -1 when the
    // transfer failed.
    int ReadAnswer(uint8_t command, std::size_t payloadLength, uint8_t* answer, std::size_t count);
    // Sends a command answered by a status message and checks it.
    bool Command(uint8_t command, const std::vector<uint8_t>& payload);
    bool WriteSection(uint32_t address, uint32_t length, const std::vector<uint8_t>& image, std::size_t offset,
                      int progressBase, int progressRange, const std::function<void(int)>& progress);
    // 1 match, 0 mismatch, -1 transfer failure.
    int Verify(uint32_t address, uint32_t length, const std::vector<uint8_t>& image, std::size_t offset, bool log);
    int ReadMcuWord(uint16_t reg, uint8_t (&bytes)[2]);

    SvLIRACamera& camera_;
    const uint8_t device_;
    int bslState_ = 1;
};
