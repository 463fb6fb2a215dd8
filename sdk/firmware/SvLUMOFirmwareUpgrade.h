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
    // `imagePath`, then leaves loader mode. Does not erase first, and refuses
    // a module that is not in loader mode.
    int UpgradeSensorFW(const std::string& imagePath, const std::function<void(int)>& progress);

    // The information block at the start of an image.
    struct Layout {
        uint8_t version[4] = {};
        uint32_t controlAddr = 0;
        uint32_t controlLen = 0;
        uint32_t bootdataAddr = 0;
        uint32_t bootdataLen = 0;
    };
    // Whether the file at `imagePath` is an image UpgradeSensorFW takes: 0, or
    // -1 (logged) for a file it would refuse. No device traffic, so a caller
    // can ask before it erases the module.
    static int CheckImageFile(const std::string& imagePath);
    // The same check on an image already read; fills `layout`. 0 or -1
    // (logged under `where`).
    static int CheckImage(const char* where, const std::string& imagePath, const std::vector<uint8_t>& image,
                          Layout& layout);

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
    // Whether register 0xBB shows the loader (0x51); false when the read fails.
    bool InLoaderMode();

    SvLIRACamera& camera_;
    const uint8_t device_;
    int bslState_ = 1;
};
