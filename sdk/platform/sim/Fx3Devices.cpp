#include "platform/sim/Fx3Devices.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "platform/sim/SimMachine.h"

namespace sv::sim {

using platform::HResult;
using platform::UsbSetupPacket;
using platform::UsbTransferStatus;

namespace {

// Bus status of a stalled request, as the driver reports it.
constexpr uint32_t kUsbdStall = 0xC0000004u;
constexpr uint32_t kNtUnsuccessful = 0xC0000001u;

// Standard requests.
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kDescDevice = 1, kDescConfig = 2, kDescString = 3, kDescBos = 0x0F;

// Vendor requests of the bootloader and the flash programmer.
constexpr uint8_t kRam = 0xA0;
constexpr uint8_t kReset = 0xB1;
constexpr uint8_t kEepromWrite = 0xBA;
constexpr uint8_t kEepromRead = 0xBB;
constexpr uint8_t kSpiWrite = 0xC2;
constexpr uint8_t kSpiErase = 0xC4;

HResult Stall(UsbTransferStatus& status, std::string& note, std::string why) {
    status.usbdStatus = kUsbdStall;
    status.ntStatus = kNtUnsuccessful;
    status.transferred = 0;
    note = std::move(why);
    return platform::HR_ERROR_GEN_FAILURE;
}

HResult Answer(const std::vector<uint8_t>& bytes, const UsbSetupPacket& setup, uint8_t* data,
               UsbTransferStatus& status) {
    const size_t n = std::min<size_t>(bytes.size(), setup.wLength);
    if (n > 0) std::memcpy(data, bytes.data(), n);
    status.transferred = static_cast<uint32_t>(n);
    return platform::HR_S_OK;
}

std::vector<uint8_t> StringDescriptor(const std::string& text) {
    std::vector<uint8_t> d{static_cast<uint8_t>(2 + 2 * text.size()), kDescString};
    for (char c : text) {
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

}  // namespace

const char* Fx3ModeName(SimFx3Board::Mode mode) {
    switch (mode) {
        case SimFx3Board::Mode::Bootloader: return "bootloader";
        case SimFx3Board::Mode::Programmer: return "programmer";
        default: return "absent";
    }
}

SimFx3Board::SimFx3Board(Fx3Description desc)
    : desc_(std::move(desc)),
      itcm_(kFx3ItcmSize, 0),
      sysmem_(kFx3SysmemSize, 0),
      eeprom_(desc_.eepromDevices, std::vector<uint8_t>(desc_.eepromSize, 0xFF)),
      spi_(desc_.spiSize, 0xFF) {
    faults = desc_.faults;
    mode = desc_.mode == "bootloader" ? Mode::Bootloader : desc_.mode == "programmer" ? Mode::Programmer : Mode::Absent;
}

uint16_t SimFx3Board::ProductId() const {
    return mode == Mode::Programmer ? desc_.programmerProductId : desc_.bootloaderProductId;
}

std::string SimFx3Board::FriendlyName() const {
    return mode == Mode::Programmer ? "FX3 Flash Programmer" : "FX3 USB BootLoader Device";
}

uint8_t* SimFx3Board::Ram(uint32_t address, size_t length) {
    const uint64_t end = static_cast<uint64_t>(address) + length;
    if (address >= kFx3ItcmBase && end <= kFx3ItcmBase + static_cast<uint64_t>(kFx3ItcmSize)) {
        return itcm_.data() + (address - kFx3ItcmBase);
    }
    if (address >= kFx3SysmemBase && end <= kFx3SysmemBase + static_cast<uint64_t>(kFx3SysmemSize)) {
        return sysmem_.data() + (address - kFx3SysmemBase);
    }
    return nullptr;
}

bool SimFx3Board::ReadRam(uint32_t address, size_t length, std::vector<uint8_t>& out) const {
    uint8_t* p = const_cast<SimFx3Board*>(this)->Ram(address, length);
    if (p == nullptr) return false;
    out.assign(p, p + length);
    return true;
}

void SimFx3Board::EnterBootloader() {
    std::fill(itcm_.begin(), itcm_.end(), 0);
    std::fill(sysmem_.begin(), sysmem_.end(), 0);
    eraseSector_ = -1;
    mode = Mode::Bootloader;
    ++generation;
}

HResult SimFx3Board::Control(const UsbSetupPacket& setup, uint8_t* data, UsbTransferStatus& status,
                             std::string& note, After& after) {
    status = UsbTransferStatus{};
    after = After::Nothing;
    if (setup.wLength > 0 && data == nullptr) return Stall(status, note, "no data buffer");
    const uint8_t type = (setup.bmRequestType >> 5) & 3;
    if (type == 0) return Descriptor(setup, data, status, note);
    if (type != 2 || (setup.bmRequestType & 0x1F) != 0) return Stall(status, note, "not a device request");
    return mode == Mode::Programmer ? Programmer(setup, data, status, note, after)
                                    : Bootloader(setup, data, status, note, after);
}

HResult SimFx3Board::Descriptor(const UsbSetupPacket& setup, uint8_t* data, UsbTransferStatus& status,
                                std::string& note) {
    if (setup.bmRequestType != 0x80 || setup.bRequest != kGetDescriptor) {
        return Stall(status, note, "standard request not supported");
    }
    const uint8_t kind = static_cast<uint8_t>(setup.wValue >> 8);
    const uint8_t index = static_cast<uint8_t>(setup.wValue);
    const bool ss = SuperSpeedNow();
    const uint16_t vid = desc_.vendorId, pid = ProductId();
    switch (kind) {
        case kDescDevice: {
            note = "device descriptor";
            const uint16_t bcd = ss ? 0x0300 : 0x0200;
            return Answer({18, kDescDevice, static_cast<uint8_t>(bcd), static_cast<uint8_t>(bcd >> 8), 0, 0, 0,
                           static_cast<uint8_t>(ss ? 9 : 64), static_cast<uint8_t>(vid), static_cast<uint8_t>(vid >> 8),
                           static_cast<uint8_t>(pid), static_cast<uint8_t>(pid >> 8), 0x00, 0x01, 1, 2, 0, 1},
                          setup, data, status);
        }
        case kDescConfig: {
            if (index != 0) return Stall(status, note, "one configuration only");
            note = "configuration descriptor";
            std::vector<uint8_t> d{9, kDescConfig, 0, 0, 1, 1, 0, 0x80, 50};
            const bool programmer = mode == Mode::Programmer;
            const uint8_t endpoints = programmer ? 2 : 0;
            d.insert(d.end(), {9, 4, 0, 0, endpoints, 0xFF, 0, 0, 0});
            if (programmer) {
                const uint16_t maxPacket = ss ? 1024 : 512;
                for (uint8_t address : {uint8_t{0x01}, uint8_t{0x81}}) {
                    d.insert(d.end(), {7, 5, address, 2, static_cast<uint8_t>(maxPacket),
                                       static_cast<uint8_t>(maxPacket >> 8), 0});
                    if (ss) d.insert(d.end(), {6, 0x30, 0, 0, 0, 0});
                }
            }
            d[2] = static_cast<uint8_t>(d.size());
            d[3] = static_cast<uint8_t>(d.size() >> 8);
            return Answer(d, setup, data, status);
        }
        case kDescString:
            note = fmt::format("string descriptor {}", index);
            if (index == 0) return Answer({4, kDescString, 0x09, 0x04}, setup, data, status);
            if (index == 1) return Answer(StringDescriptor("Sorvan"), setup, data, status);
            if (index == 2) return Answer(StringDescriptor(FriendlyName()), setup, data, status);
            return Stall(status, note, fmt::format("no string {}", index));
        case kDescBos: {
            if (!ss) return Stall(status, note, "no BOS descriptor below SuperSpeed");
            note = "BOS descriptor";
            std::vector<uint8_t> d{5, kDescBos, 0, 0, 3};
            d.insert(d.end(), {7, 0x10, 2, 0x02, 0, 0, 0});
            d.insert(d.end(), {10, 0x10, 3, 0, 0x0E, 0, 1, 0x0A, 0xFF, 0x07});
            d.insert(d.end(), {20, 0x10, 4, 0});
            for (uint8_t i = 0; i < 16; ++i) d.push_back(static_cast<uint8_t>(0xA0 + i));
            d[2] = static_cast<uint8_t>(d.size());
            return Answer(d, setup, data, status);
        }
        default:
            return Stall(status, note, fmt::format("no descriptor of type {}", kind));
    }
}

HResult SimFx3Board::Bootloader(const UsbSetupPacket& setup, uint8_t* data, UsbTransferStatus& status,
                                std::string& note, After& after) {
    if (setup.bRequest != kRam) return Stall(status, note, fmt::format("bootloader: no request 0x{:02x}", setup.bRequest));
    const uint32_t address = static_cast<uint32_t>(setup.wIndex) << 16 | setup.wValue;
    if (setup.DeviceToHost()) {
        if (!desc_.probe) return Stall(status, note, "bootloader: reads not answered");
        uint8_t* ram = Ram(address, setup.wLength);
        if (ram == nullptr) return Stall(status, note, fmt::format("bootloader: 0x{:08x}+{} is not RAM", address, setup.wLength));
        if (setup.wLength > 0) std::memcpy(data, ram, setup.wLength);
        status.transferred = setup.wLength;
        note = fmt::format("read RAM 0x{:08x}, {} bytes", address, setup.wLength);
        return platform::HR_S_OK;
    }
    if (setup.wLength == 0) {
        if (Ram(address, 1) == nullptr) return Stall(status, note, fmt::format("bootloader: entry 0x{:08x} is not RAM", address));
        note = fmt::format("jump to 0x{:08x}", address);
        after = After::StartFromRam;
        return platform::HR_S_OK;
    }
    uint8_t* ram = Ram(address, setup.wLength);
    if (ram == nullptr) return Stall(status, note, fmt::format("bootloader: 0x{:08x}+{} is not RAM", address, setup.wLength));
    std::memcpy(ram, data, setup.wLength);
    status.transferred = setup.wLength;
    note = fmt::format("write RAM 0x{:08x}, {} bytes", address, setup.wLength);
    return platform::HR_S_OK;
}

HResult SimFx3Board::Programmer(const UsbSetupPacket& setup, uint8_t* data, UsbTransferStatus& status,
                                std::string& note, After& after) {
    const bool in = setup.DeviceToHost();
    switch (setup.bRequest) {
        case kEepromWrite:
        case kEepromRead: {
            if ((setup.bRequest == kEepromRead) != in) return Stall(status, note, "EEPROM: wrong direction");
            if (setup.wValue >= eeprom_.size()) {
                return Stall(status, note, fmt::format("EEPROM {}: no acknowledge", setup.wValue));
            }
            std::vector<uint8_t>& chip = eeprom_[setup.wValue];
            if (static_cast<size_t>(setup.wIndex) + setup.wLength > chip.size()) {
                return Stall(status, note, fmt::format("EEPROM {}: 0x{:04x}+{} beyond its {} bytes", setup.wValue,
                                                       setup.wIndex, setup.wLength, chip.size()));
            }
            if (in) {
                std::memcpy(data, chip.data() + setup.wIndex, setup.wLength);
            } else {
                std::memcpy(chip.data() + setup.wIndex, data, setup.wLength);
            }
            status.transferred = setup.wLength;
            note = fmt::format("EEPROM {} {} 0x{:04x}, {} bytes", setup.wValue, in ? "read" : "write", setup.wIndex,
                               setup.wLength);
            return platform::HR_S_OK;
        }
        case kSpiErase: {
            const size_t sectors = spi_.size() / kFx3SectorSize;
            if (!in) {
                if (setup.wValue != 1 || setup.wLength != 0) return Stall(status, note, "SPI erase: wValue 1, no data");
                if (setup.wIndex >= sectors) return Stall(status, note, fmt::format("SPI erase: no sector {}", setup.wIndex));
                if (eraseSector_ >= 0) return Stall(status, note, "SPI erase: flash busy");
                eraseSector_ = setup.wIndex;
                eraseReadsLeft_ = desc_.eraseBusyReads;
                note = fmt::format("SPI erase sector {} started", setup.wIndex);
                return platform::HR_S_OK;
            }
            if (setup.wValue != 0 || setup.wLength != 1) return Stall(status, note, "SPI status: wValue 0, one byte");
            bool busy = false;
            if (eraseSector_ >= 0) {
                if (eraseReadsLeft_ < 0) {
                    busy = true;
                } else if (eraseReadsLeft_ > 0) {
                    --eraseReadsLeft_;
                    busy = true;
                } else {
                    const size_t at = static_cast<size_t>(eraseSector_) * kFx3SectorSize;
                    std::fill(spi_.begin() + static_cast<std::ptrdiff_t>(at),
                              spi_.begin() + static_cast<std::ptrdiff_t>(at + kFx3SectorSize), 0xFF);
                    note = fmt::format("SPI sector {} erased", eraseSector_);
                    eraseSector_ = -1;
                }
            }
            data[0] = busy ? 1 : 0;
            status.transferred = 1;
            if (busy) note = "SPI busy";
            else if (note.empty()) note = "SPI idle";
            return platform::HR_S_OK;
        }
        case kSpiWrite: {
            const size_t at = static_cast<size_t>(setup.wIndex) * 256;
            if (setup.wValue != 0) return Stall(status, note, "SPI: wValue 0 only");
            if (at + setup.wLength > spi_.size()) {
                return Stall(status, note, fmt::format("SPI: page {}+{} beyond the flash", setup.wIndex, setup.wLength));
            }
            if (eraseSector_ >= 0) return Stall(status, note, "SPI: flash busy");
            if (in) {
                std::memcpy(data, spi_.data() + at, setup.wLength);
            } else {
                // NOR flash: programming only clears bits.
                for (size_t i = 0; i < setup.wLength; ++i) spi_[at + i] &= data[i];
            }
            status.transferred = setup.wLength;
            note = fmt::format("SPI {} page {}, {} bytes", in ? "read" : "program", setup.wIndex, setup.wLength);
            return platform::HR_S_OK;
        }
        case kReset:
            if (!in || setup.wLength < 1) return Stall(status, note, "reset: one byte in");
            std::memset(data, 0, setup.wLength);
            status.transferred = setup.wLength;
            note = "restart";
            after = After::Restart;
            return platform::HR_S_OK;
        default:
            return Stall(status, note, fmt::format("programmer: no request 0x{:02x}", setup.bRequest));
    }
}

bool SimFx3Board::LoadImage(const std::vector<uint8_t>& image, std::string& note) {
    // The boot ROM: "CY", then records (length in words, address) up to the
    // record of length 0. A record outside RAM or past the memory ends the boot.
    if (image.size() < 4 || image[0] != 'C' || image[1] != 'Y') {
        note = "no boot image";
        return false;
    }
    std::fill(itcm_.begin(), itcm_.end(), 0);
    std::fill(sysmem_.begin(), sysmem_.end(), 0);
    size_t p = 4;
    while (p + 8 <= image.size()) {
        const uint64_t bytes = static_cast<uint64_t>(Le32(image, p)) * 4;
        const uint32_t address = Le32(image, p + 4);
        p += 8;
        if (bytes == 0) return true;
        uint8_t* ram = bytes <= image.size() ? Ram(address, static_cast<size_t>(bytes)) : nullptr;
        if (ram == nullptr || p + bytes > image.size()) {
            note = fmt::format("boot image record at 0x{:08x} is not loadable", address);
            return false;
        }
        std::memcpy(ram, image.data() + p, static_cast<size_t>(bytes));
        p += static_cast<size_t>(bytes);
    }
    note = "boot image without an end record";
    return false;
}

std::vector<uint8_t> SimFx3Board::EepromImage() const {
    // The boot ROM reads the devices in the order the size code of byte 2 gives.
    std::vector<uint8_t> image;
    if (eeprom_.empty()) return image;
    const uint8_t code = (eeprom_[0][2] >> 1) & 7;
    if (code < 2) return eeprom_[0];
    const size_t size = code == 7 ? 65536 : static_cast<size_t>(4096) << (code - 2);
    std::vector<size_t> order;
    if (code == 7) order = {0, 4, 1, 5};
    else for (size_t i = 0; i < 8; ++i) order.push_back(i);
    for (size_t device : order) {
        if (device >= eeprom_.size()) break;
        const auto& chip = eeprom_[device];
        image.insert(image.end(), chip.begin(), chip.begin() + static_cast<std::ptrdiff_t>(std::min(size, chip.size())));
    }
    return image;
}

SimFx3Board::Started SimFx3Board::Run(const std::string& from) {
    Started s;
    // The identity block may sit anywhere in either RAM.
    static const uint8_t kTag[4] = {'S', 'V', 'I', 'D'};
    for (const std::vector<uint8_t>* ram : {&itcm_, &sysmem_}) {
        auto it = std::search(ram->begin(), ram->end(), std::begin(kTag), std::end(kTag));
        if (it == ram->end() || ram->end() - it < 9) continue;
        const uint8_t kind = it[4];
        if (kind == 'C') {
            s.cameraFirmware = std::array<uint8_t, 4>{it[5], it[6], it[7], it[8]};
            mode = Mode::Absent;
            s.note = fmt::format("camera firmware {}.{}.{}.{} started from {}", it[5], it[6], it[7], it[8], from);
            return s;
        }
        if (kind == 'P') {
            mode = Mode::Programmer;
            ++generation;
            s.note = "flash programmer started from " + from;
            return s;
        }
    }
    mode = Mode::Absent;
    s.note = "a program without identity started from " + from;
    return s;
}

SimFx3Board::Started SimFx3Board::StartFromRam() { return Run("RAM"); }

SimFx3Board::Started SimFx3Board::Restart() {
    eraseSector_ = -1;
    std::string note;
    const std::string& src = desc_.bootSource;
    if ((src == "auto" || src == "i2c") && LoadImage(EepromImage(), note)) return Run("I2C EEPROM");
    if ((src == "auto" || src == "spi") && LoadImage(spi_, note)) return Run("SPI flash");
    EnterBootloader();
    Started s;
    s.note = "no bootable image: bootloader";
    return s;
}

namespace {

class SimVendorDevice final : public platform::VendorUsbDevice {
public:
    SimVendorDevice(std::shared_ptr<SimMachine> m, std::shared_ptr<SimFx3Board> b, uint64_t generation)
        : m_(std::move(m)), b_(std::move(b)), generation_(generation) {}

    HResult ControlTransfer(const UsbSetupPacket& setup, uint8_t* data, uint32_t,
                            UsbTransferStatus& status) override {
        status = UsbTransferStatus{};
        std::string note;
        HResult hr = platform::HR_S_OK;
        SimFx3Board::After after = SimFx3Board::After::Nothing;
        SimFx3Board::Started started;
        std::vector<uint8_t> sent;
        {
            std::lock_guard<std::mutex> lock(b_->Mutex());
            if (!Alive()) {
                hr = platform::HR_ERROR_DEVICE_NOT_CONNECTED;
            } else if (closed_) {
                hr = platform::HR_E_FAIL;
                note = "closed";
            }
            if (hr == platform::HR_S_OK) hr = m_->CheckFx3Fault(*b_, "usb.control", setup.bRequest);
            if (hr != platform::HR_S_OK && note.empty()) {
                status.usbdStatus = kUsbdStall;
                status.ntStatus = kNtUnsuccessful;
            }
            if (hr == platform::HR_S_OK && m_->Trace().Enabled() && !setup.DeviceToHost() && data != nullptr) {
                sent.assign(data, data + setup.wLength);
            }
            if (hr == platform::HR_S_OK) hr = b_->Control(setup, data, status, note, after);
            if (hr == platform::HR_S_OK && after == SimFx3Board::After::StartFromRam) started = b_->StartFromRam();
            if (hr == platform::HR_S_OK && after == SimFx3Board::After::Restart) started = b_->Restart();
        }
        m_->TraceNamed(b_->Desc().id, "usb.control", [&](SimTrace::Line& line) {
            line["requestType"] = setup.bmRequestType;
            line["request"] = setup.bRequest;
            line["value"] = setup.wValue;
            line["index"] = setup.wIndex;
            line["length"] = setup.wLength;
            line["transferred"] = status.transferred;
            const uint8_t* shown = setup.DeviceToHost() ? (hr == platform::HR_S_OK ? data : nullptr) : sent.data();
            line["payload"] = SimTrace::PayloadHex(shown, setup.DeviceToHost() ? status.transferred : sent.size());
            line["result"] = hr;
            if (!note.empty()) line["note"] = note;
        });
        if (after != SimFx3Board::After::Nothing && hr == platform::HR_S_OK) m_->Fx3Started(*b_, started);
        return hr;
    }

    HResult AbortEndpoint(uint8_t) override {
        std::lock_guard<std::mutex> lock(b_->Mutex());
        return Alive() ? platform::HR_S_OK : platform::HR_ERROR_DEVICE_NOT_CONNECTED;
    }

    HResult GetAlternateSetting(uint8_t& setting) override {
        std::lock_guard<std::mutex> lock(b_->Mutex());
        setting = 0;
        return Alive() ? platform::HR_S_OK : platform::HR_ERROR_DEVICE_NOT_CONNECTED;
    }

    HResult GetDriverInfo(platform::VendorDriverInfo& info) override {
        std::lock_guard<std::mutex> lock(b_->Mutex());
        if (!Alive()) return platform::HR_ERROR_DEVICE_NOT_CONNECTED;
        info = platform::VendorDriverInfo{};
        info.usbAddress = 5;
        info.driverVersion = 0x01000000;
        info.interfaceVersion = 0x00010000;
        info.driverText = "Sorvan simulated vendor driver";
        info.friendlyName = b_->FriendlyName();
        info.highSpeed = !b_->SuperSpeedNow();
        info.superSpeed = b_->SuperSpeedNow();
        return platform::HR_S_OK;
    }

    HResult Close() override {
        HResult hr = platform::HR_S_OK;
        {
            std::lock_guard<std::mutex> lock(b_->Mutex());
            if (closed_) return platform::HR_S_OK;
            closed_ = true;
            hr = m_->CheckFx3Fault(*b_, "usb.close", -1);
        }
        m_->TraceNamed(b_->Desc().id, "usb.close", [&](SimTrace::Line& line) { line["result"] = hr; });
        return hr;
    }

private:
    bool Alive() const { return b_->mode != SimFx3Board::Mode::Absent && b_->generation == generation_; }

    std::shared_ptr<SimMachine> m_;
    std::shared_ptr<SimFx3Board> b_;
    uint64_t generation_;
    bool closed_ = false;
};

}  // namespace

HResult CountSimVendorDevices(const std::shared_ptr<SimMachine>& machine, uint32_t& count) {
    count = 0;
    for (const auto& b : machine->Fx3Boards()) {
        std::lock_guard<std::mutex> lock(b->Mutex());
        if (b->mode != SimFx3Board::Mode::Absent) ++count;
    }
    return platform::HR_S_OK;
}

HResult OpenSimVendorDevice(const std::shared_ptr<SimMachine>& machine, uint32_t index,
                            std::shared_ptr<platform::VendorUsbDevice>& device) {
    device.reset();
    uint32_t position = 0;
    for (const auto& b : machine->Fx3Boards()) {
        HResult hr = platform::HR_S_OK;
        uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> lock(b->Mutex());
            if (b->mode == SimFx3Board::Mode::Absent) continue;
            if (position++ != index) continue;
            hr = machine->CheckFx3Fault(*b, "usb.open", -1);
            generation = b->generation;
        }
        machine->TraceNamed(b->Desc().id, "usb.open", [&](SimTrace::Line& line) {
            line["index"] = index;
            line["result"] = hr;
        });
        if (hr != platform::HR_S_OK) return hr;
        device = std::make_shared<SimVendorDevice>(machine, b, generation);
        return platform::HR_S_OK;
    }
    return platform::HR_ERROR_NO_MORE_ITEMS;
}

}  // namespace sv::sim
