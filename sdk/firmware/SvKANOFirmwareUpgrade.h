#pragma once

// The KANO module of a KIVO camera: which sensor it carries, and its 128 KiB
// bootdata store (device 0x54 below offset 0x10000, 0x55 above), which the
// AP1302 boots from. Owned by its camera and reaching it by reference.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SvSorvanCamera;

class SvKANOFirmwareUpgrade {
public:
    static constexpr uint32_t kStoreBytes = 0x20000;
    static constexpr uint32_t kChunkBytes = 128;

    SvKANOFirmwareUpgrade(SvSorvanCamera& camera, uint8_t storeAddress)
        : camera_(camera), storeAddress_(storeAddress) {}

    // "KANO-" and the sensor's name, and its colour type "C" or "M". 0 or -1;
    // the texts are left alone on failure.
    int CheckProduct(std::string& productName, std::string& colorType);
    // Writes 0xFF over the whole store.
    int CleanSensorFW();
    // Writes the bootdata image at `imagePath` into the store; a version 3
    // image is finished with this camera's sensor ID and fresh checksums.
    int UpgradeSensorFW(const std::string& imagePath, const std::function<void(int)>& progress);

    // Whether the file at `imagePath` is an image UpgradeSensorFW takes: 0, or
    // -1 (logged) for a file it would refuse. No device traffic, so a caller
    // can ask before it erases the store.
    static int CheckImageFile(const std::string& imagePath);
    // The same check on an image already read: its header version (2 or 3),
    // or -1 (logged under `where`).
    static int CheckImage(const char* where, const std::string& imagePath, const std::vector<uint8_t>& image);

private:
    // One store write or read at store offset `offset`.
    int StoreWrite(uint32_t offset, const uint8_t* data, uint8_t length);
    // ISP registers at 0x3D with 2-byte addresses.
    int IspWrite(uint16_t reg, const std::vector<uint8_t>& bytes);
    int IspRead(uint16_t reg, uint8_t* bytes, uint16_t length);
    // Reads `reg` up to 20 times, 100 ms apart, until all its bytes are 0.
    // -1 when a read fails, 1 when it stayed non-zero (bytes: the last read).
    int WaitForZero(uint16_t reg, uint8_t* bytes, uint16_t length);
    // The ISP's sensor-bus read of sensor register `reg` at sensor address
    // `sensor`: 0 with the value, 1 when the bus did not answer (warned), -1
    // when an I2C transfer failed.
    int SensorBusRead(uint8_t sensor, uint16_t reg, uint16_t& value);
    int PrepareSensorInterface();
    // Writes this camera's sensor ID into the header and fresh checksums.
    int SealHeader(const std::string& uid);

    SvSorvanCamera& camera_;
    const uint8_t storeAddress_;
};
