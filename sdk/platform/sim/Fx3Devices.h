#pragma once

// The USB bridge of a maker camera in its service personalities, as the
// bridge maker's vendor driver serves it: the bootloader in the bridge's ROM
// (RAM writes, reads and the jump, request 0xA0) and the flash programmer, a
// RAM image that reaches the board's I2C EEPROMs (0xBA write, 0xBB read) and
// its SPI flash (0xC4 sector erase and status, 0xC2 page program and read) and
// restarts the bridge on 0xB1. docs/simulator.md describes what each answers.
//
// A program the bridge starts (from RAM, or from the EEPROM or SPI flash after
// a restart) is known by its identity block anywhere in its loaded data:
// "SVID", a kind byte ('C' camera firmware, 'P' flash programmer) and, for
// camera firmware, the four bytes of its USB firmware version. Camera
// firmware brings the camera back on the bus reporting that version; the
// flash programmer comes up under the programmer's product id; anything else
// runs without showing itself on the bus.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend/VendorUsb.h"
#include "platform/sim/SimWorld.h"

namespace sv::sim {

class SimMachine;

// Bridge memory the bootloader writes: instruction RAM at 0 (16 KiB) and
// system RAM at 0x40000000 (512 KiB).
constexpr uint32_t kFx3ItcmBase = 0x00000000;
constexpr uint32_t kFx3ItcmSize = 0x4000;
constexpr uint32_t kFx3SysmemBase = 0x40000000;
constexpr uint32_t kFx3SysmemSize = 0x80000;
constexpr uint32_t kFx3SectorSize = 0x10000;

class SimFx3Board {
public:
    enum class Mode { Absent, Bootloader, Programmer };

    explicit SimFx3Board(Fx3Description desc);

    const Fx3Description& Desc() const { return desc_; }
    std::mutex& Mutex() { return mutex_; }

    // Guarded by Mutex().
    Mode mode = Mode::Absent;
    uint64_t generation = 1;  // each arrival on the bus is a new device
    std::map<std::string, uint32_t> occurrences;
    std::vector<FaultRule> faults;

    // What a transfer leaves the bridge to do once it has been answered.
    enum class After { Nothing, StartFromRam, Restart };

    // The device side of one control transfer (Mutex() held): fills `data`
    // and `status` and answers HR_S_OK, or stalls (HR_ERROR_GEN_FAILURE, a
    // stall status) with the reason in `note`.
    platform::HResult Control(const platform::UsbSetupPacket& setup, uint8_t* data,
                              platform::UsbTransferStatus& status, std::string& note, After& after);

    // What started after a jump or a restart (Mutex() held); the board's mode
    // follows. A camera firmware version is returned for the machine to bring
    // the camera back.
    struct Started {
        std::optional<std::array<uint8_t, 4>> cameraFirmware;
        std::string note;
    };
    Started StartFromRam();
    Started Restart();
    // The bootloader appears after the camera's program-mode request (Mutex() held).
    void EnterBootloader();

    uint16_t ProductId() const;
    std::string FriendlyName() const;
    bool SuperSpeedNow() const { return mode == Mode::Programmer && desc_.superSpeed; }

    // Memory contents for tests and tools (Mutex() held).
    bool ReadRam(uint32_t address, size_t length, std::vector<uint8_t>& out) const;
    const std::vector<std::vector<uint8_t>>& Eeproms() const { return eeprom_; }
    const std::vector<uint8_t>& SpiFlash() const { return spi_; }

private:
    uint8_t* Ram(uint32_t address, size_t length);
    platform::HResult Descriptor(const platform::UsbSetupPacket& setup, uint8_t* data,
                                 platform::UsbTransferStatus& status, std::string& note);
    platform::HResult Bootloader(const platform::UsbSetupPacket& setup, uint8_t* data,
                                 platform::UsbTransferStatus& status, std::string& note, After& after);
    platform::HResult Programmer(const platform::UsbSetupPacket& setup, uint8_t* data,
                                 platform::UsbTransferStatus& status, std::string& note, After& after);
    // The boot ROM loading a boot image from a serial memory into RAM; false
    // when the memory holds none.
    bool LoadImage(const std::vector<uint8_t>& image, std::string& note);
    std::vector<uint8_t> EepromImage() const;
    Started Run(const std::string& from);

    const Fx3Description desc_;
    std::mutex mutex_;
    std::vector<uint8_t> itcm_;
    std::vector<uint8_t> sysmem_;
    std::vector<std::vector<uint8_t>> eeprom_;
    std::vector<uint8_t> spi_;
    int64_t eraseSector_ = -1;  // sector being erased, -1: idle
    int64_t eraseReadsLeft_ = 0;
};

// The vendor driver's device list of a machine and one opened device.
platform::HResult CountSimVendorDevices(const std::shared_ptr<SimMachine>& machine, uint32_t& count);
platform::HResult OpenSimVendorDevice(const std::shared_ptr<SimMachine>& machine, uint32_t index,
                                      std::shared_ptr<platform::VendorUsbDevice>& device);

const char* Fx3ModeName(SimFx3Board::Mode mode);

}  // namespace sv::sim
