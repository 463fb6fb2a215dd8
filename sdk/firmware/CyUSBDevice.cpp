#include "firmware/CyUSBDevice.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/Logger.h"
#include "firmware/Fx3BootImage.h"
#include "platform/backend/Backend.h"

namespace sv::firmware {

using platform::HResult;

namespace {

constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kDescDevice = 1, kDescConfig = 2, kDescString = 3, kDescInterface = 4, kDescEndpoint = 5;
constexpr uint8_t kDescBos = 0x0F, kDescCapability = 0x10, kDescSsCompanion = 0x30;
constexpr uint32_t kDescriptorTimeoutMs = 5000;

constexpr uint8_t kReqRam = 0xA0;
constexpr uint8_t kReqEepromWrite = 0xBA;
constexpr uint8_t kReqEepromRead = 0xBB;
constexpr uint8_t kReqSpiWrite = 0xC2;
constexpr uint8_t kReqSpiErase = 0xC4;

constexpr size_t kChunk = 2048;
constexpr size_t kSpiSector = 65536;
constexpr size_t kSpiPage = 256;
// A sector erase takes well under a second on the flashes in use; the status
// is read once a millisecond for at most five seconds.
constexpr int kSpiErasePolls = 5000;
constexpr uint32_t kSpiPollMs = 1;

void Report(const ProgressFn& progress, int value) {
    if (progress) progress(value);
}

int Scaled(size_t done, size_t total, float scale) {
    return static_cast<int>(static_cast<float>(done) / static_cast<float>(total) * scale);
}

// The driver's time-out is in whole seconds; a positive time-out below one
// second becomes one second, 0 means none.
uint32_t DriverTimeoutMs(uint32_t timeoutMs) {
    const uint32_t seconds = timeoutMs == 0 ? 0 : (timeoutMs < 1000 ? 1 : timeoutMs / 1000);
    return seconds * 1000;
}

std::string Utf16Text(const std::vector<uint8_t>& d) {
    // Descriptor texts are UTF-16LE; characters outside ASCII become '?'.
    std::string text;
    for (size_t i = 2; i + 1 < d.size(); i += 2) {
        const uint16_t c = static_cast<uint16_t>(d[i] | d[i + 1] << 8);
        text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return text;
}

}  // namespace

// ---- Endpoints -----------------------------------------------------------

CCyUSBEndPoint::CCyUSBEndPoint(std::shared_ptr<platform::VendorUsbDevice> device, const uint8_t* d)
    : device_(std::move(device)) {
    if (d == nullptr) return;
    DscLen = d[0];
    DscType = d[1];
    Address = d[2];
    Attributes = d[3];
    const uint16_t wMax = static_cast<uint16_t>(d[4] | d[5] << 8);
    MaxPktSize = (1u + ((wMax >> 11) & 3u)) * (wMax & 0x7FFu);
    Interval = d[6];
    bIn = (Address & 0x80) != 0;
}

bool CCyUSBEndPoint::Transfer(uint8_t*, int& length) {
    // The seam carries control transfers only.
    length = 0;
    BytesXfered = 0;
    LastError = platform::HR_ERROR_NOT_SUPPORTED;
    return false;
}

CCyControlEndPoint::CCyControlEndPoint(std::shared_ptr<platform::VendorUsbDevice> device, uint32_t maxPacket)
    : CCyUSBEndPoint(std::move(device), nullptr) {
    MaxPktSize = maxPacket;
}

bool CCyControlEndPoint::Transfer(uint8_t* buffer, int& length) {
    UsbdStatus = NtStatus = BytesXfered = 0;
    LastError = 0;
    if (!device_ || length < 0 || length > 0xFFFF || (length > 0 && buffer == nullptr)) {
        length = 0;
        LastError = platform::HR_E_INVALIDARG;
        return false;
    }
    platform::UsbSetupPacket setup;
    setup.bmRequestType = static_cast<uint8_t>((Direction & 1) << 7 | (ReqType & 3) << 5 | (Target & 0x1F));
    setup.bRequest = ReqCode;
    setup.wValue = Value;
    setup.wIndex = Index;
    setup.wLength = static_cast<uint16_t>(length);
    platform::UsbTransferStatus status;
    HResult hr = device_->ControlTransfer(setup, buffer, DriverTimeoutMs(TimeOut), status);
    if (hr == platform::HR_ERROR_SEM_TIMEOUT) {
        // Still pending after the time-out: end it; it does not count.
        device_->AbortEndpoint(0);
    }
    UsbdStatus = status.usbdStatus;
    NtStatus = status.ntStatus;
    BytesXfered = std::min<uint32_t>(status.transferred, static_cast<uint32_t>(length));
    length = static_cast<int>(BytesXfered);
    LastError = hr;
    return hr == platform::HR_S_OK && UsbdStatus == 0 && NtStatus == 0;
}

// ---- Device --------------------------------------------------------------

CCyUSBDevice::CCyUSBDevice() { Open(0); }

CCyUSBDevice::~CCyUSBDevice() {
    try {
        CloseDevice();
    } catch (const std::exception& e) {
        SV_LOGE("CCyUSBDevice::~CCyUSBDevice", "{}", e.what());
    }
}

int CCyUSBDevice::DeviceCount() {
    uint32_t count = 0;
    if (platform::GetBackend()->CountVendorUsbDevices(count) != platform::HR_S_OK) return 0;
    return static_cast<int>(std::min<uint32_t>(count, 255));
}

bool CCyUSBDevice::CreateHandle(uint8_t index) {
    const int count = DeviceCount();
    if (count == 0) {
        SV_LOGE("CCyUSBDevice::CreateHandle", "No devices found");
        return false;
    }
    if (index >= count) return false;
    std::shared_ptr<platform::VendorUsbDevice> device;
    const HResult hr = platform::GetBackend()->OpenVendorUsbDevice(index, device);
    if (hr == platform::HR_ERROR_NO_MORE_ITEMS || (hr == platform::HR_S_OK && !device)) {
        // Gone between the count and the open.
        SV_LOGE("CCyUSBDevice::CreateHandle", "Failed to create handle");
        device_.reset();
        index_ = 0;
        return false;
    }
    if (hr != platform::HR_S_OK) {
        LastError = hr;
        SV_LOGE("CCyUSBDevice::CreateHandle", "Failed to create file, error: {}", hr);
        return false;
    }
    device_ = std::move(device);
    return true;
}

bool CCyUSBDevice::Open(uint8_t index) {
    if (device_) CloseDevice();
    if (!CreateHandle(index)) {
        SV_LOGE("CCyUSBDevice::Open", "Failed to open device");
        device_.reset();
        index_ = 0;
        return false;
    }
    index_ = index;
    return ReadDescriptors();
}

void CCyUSBDevice::Forget() {
    BcdUSB = BcdDevice = VendorID = ProductID = LanguageID = 0;
    DevClass = DevSubClass = DevProtocol = MaxPacket = 0;
    iManufacturer = iProduct = iSerialNumber = NumConfigurations = 0;
    Ep0PacketSize = 0;
    Manufacturer.clear();
    Product.clear();
    SerialNumber.clear();
    FriendlyName.clear();
    DeviceName.clear();
    DriverVersion = USBDIVersion = 0;
    USBAddress = 0;
    bHighSpeed = bSuperSpeed = false;
    BosDescriptor.clear();
    Usb20Extension.clear();
    SuperSpeedCapability.clear();
    ContainerId.clear();
    BulkInEndPt = BulkOutEndPt = IsocInEndPt = IsocOutEndPt = InterruptInEndPt = InterruptOutEndPt = nullptr;
    Configs.clear();
    ControlEndPt.reset();
    AltIntfc = 0;
}

void CCyUSBDevice::CloseDevice() {
    if (!device_) return;
    const HResult hr = device_->Close();
    device_.reset();
    Forget();
    if (hr != platform::HR_S_OK) {
        LastError = hr;
        throw std::runtime_error("Failed to close handle to driver.");
    }
}

bool CCyUSBDevice::ReadDescriptor(uint8_t type, uint8_t index, uint16_t language, uint16_t length,
                                  std::vector<uint8_t>& out) {
    out.assign(length, 0);
    platform::UsbSetupPacket setup;
    setup.bmRequestType = 0x80;
    setup.bRequest = kGetDescriptor;
    setup.wValue = static_cast<uint16_t>(type << 8 | index);
    setup.wIndex = language;
    setup.wLength = length;
    platform::UsbTransferStatus status;
    const HResult hr = device_->ControlTransfer(setup, out.data(), kDescriptorTimeoutMs, status);
    if (hr == platform::HR_ERROR_SEM_TIMEOUT) device_->AbortEndpoint(0);
    // Only the whole descriptor counts.
    return hr == platform::HR_S_OK && status.usbdStatus == 0 && status.ntStatus == 0 && status.transferred == length;
}

// A descriptor whose total length sits in its head: the head first, then the whole.
bool CCyUSBDevice::ReadVariable(uint8_t type, uint8_t index, uint16_t language, size_t headLength, size_t lengthAt,
                                bool wordLength, std::vector<uint8_t>& out) {
    std::vector<uint8_t> head;
    if (!ReadDescriptor(type, index, language, static_cast<uint16_t>(headLength), head)) return false;
    const size_t total = wordLength ? static_cast<size_t>(head[lengthAt] | head[lengthAt + 1] << 8) : head[lengthAt];
    if (total < headLength || head[1] != type) return false;  // a zero or short length ends here
    return ReadDescriptor(type, index, language, static_cast<uint16_t>(total), out) && out[1] == type;
}

bool CCyUSBDevice::ReadString(uint8_t index, std::string& text) {
    text.clear();
    if (index == 0) return true;
    std::vector<uint8_t> d;
    if (!ReadVariable(kDescString, index, LanguageID, 2, 0, false, d)) return false;
    if (d.size() > 2) text = Utf16Text(d);
    return true;
}

bool CCyUSBDevice::ReadDescriptors() {
    std::vector<uint8_t> d;
    if (!ReadDescriptor(kDescDevice, 0, 0, 18, d) || d[1] != kDescDevice) {
        SV_LOGE("CCyUSBDevice::Open", "Failed to read the device descriptor");
        return false;
    }
    BcdUSB = static_cast<uint16_t>(d[2] | d[3] << 8);
    DevClass = d[4];
    DevSubClass = d[5];
    DevProtocol = d[6];
    MaxPacket = d[7];
    VendorID = static_cast<uint16_t>(d[8] | d[9] << 8);
    ProductID = static_cast<uint16_t>(d[10] | d[11] << 8);
    BcdDevice = static_cast<uint16_t>(d[12] | d[13] << 8);
    iManufacturer = d[14];
    iProduct = d[15];
    iSerialNumber = d[16];
    NumConfigurations = d[17];
    // USB 3 devices give the exponent; it is capped so that no value shifts
    // past the packet sizes USB has.
    Ep0PacketSize = (BcdUSB >> 8) >= 3 ? (1u << std::min<uint8_t>(MaxPacket, 15)) : MaxPacket;
    if (Ep0PacketSize == 0) {
        SV_LOGE("CCyUSBDevice::Open", "Endpoint 0 packet size of 0 in the device descriptor");
        return false;
    }

    LanguageID = 0;
    std::vector<uint8_t> langs;
    if (ReadVariable(kDescString, 0, 0, 2, 0, false, langs)) {
        for (size_t i = 2; i + 1 < langs.size(); i += 2) {
            const uint16_t id = static_cast<uint16_t>(langs[i] | langs[i + 1] << 8);
            if (i == 2) LanguageID = id;
            if (id == 0x0409) LanguageID = id;
        }
    }
    ReadString(iManufacturer, Manufacturer);
    ReadString(iProduct, Product);
    ReadString(iSerialNumber, SerialNumber);

    if ((BcdUSB >> 8) == 3 && ReadVariable(kDescBos, 0, 0, 5, 2, true, BosDescriptor)) {
        for (size_t p = 5; p + 3 <= BosDescriptor.size();) {
            const uint8_t len = BosDescriptor[p];
            if (len < 3 || p + len > BosDescriptor.size()) break;
            if (BosDescriptor[p + 1] == kDescCapability) {
                std::vector<uint8_t> cap(BosDescriptor.begin() + static_cast<std::ptrdiff_t>(p),
                                         BosDescriptor.begin() + static_cast<std::ptrdiff_t>(p + len));
                switch (BosDescriptor[p + 2]) {
                    case 2: Usb20Extension = std::move(cap); break;
                    case 3: SuperSpeedCapability = std::move(cap); break;
                    case 4: ContainerId = std::move(cap); break;
                    default: break;
                }
            }
            p += len;
        }
    }

    platform::VendorDriverInfo info;
    if (device_->GetDriverInfo(info) == platform::HR_S_OK) {
        USBAddress = info.usbAddress;
        DeviceName = info.driverText;
        FriendlyName = info.friendlyName;
        DriverVersion = info.driverVersion;
        USBDIVersion = info.interfaceVersion;
        bHighSpeed = info.highSpeed;
        bSuperSpeed = info.superSpeed;
    }

    Configs.clear();
    for (uint8_t c = 0; c < NumConfigurations; ++c) {
        CCyUSBConfig config;
        if (!ReadVariable(kDescConfig, c, 0, 9, 2, true, config.raw)) break;
        if (!ParseConfig(config)) {
            SV_LOGE("CCyUSBDevice::Open", "Malformed configuration descriptor {}", c);
            return false;
        }
        Configs.push_back(std::move(config));
    }
    ControlEndPt = std::make_unique<CCyControlEndPoint>(device_, Ep0PacketSize);
    if (Configs.empty() || Configs[0].Interfaces.empty()) return false;

    uint8_t alt = 0;
    if (device_->GetAlternateSetting(alt) == platform::HR_S_OK) AltIntfc = alt;
    for (auto& intf : Configs[0].Interfaces) {
        if (intf.bAlternateSetting != AltIntfc) continue;
        for (auto& ep : intf.EndPoints) {
            CCyUSBEndPoint*& slot = [&]() -> CCyUSBEndPoint*& {
                switch (ep->Attributes & 3) {
                    case 1: return ep->bIn ? IsocInEndPt : IsocOutEndPt;
                    case 3: return ep->bIn ? InterruptInEndPt : InterruptOutEndPt;
                    default: return ep->bIn ? BulkInEndPt : BulkOutEndPt;
                }
            }();
            if ((ep->Attributes & 3) != 0 && slot == nullptr) slot = ep.get();
        }
        break;
    }
    return true;
}

bool CCyUSBDevice::ParseConfig(CCyUSBConfig& config) {
    const std::vector<uint8_t>& raw = config.raw;
    const bool usb2 = (BcdUSB >> 8) == 2;
    CCyUSBEndPoint* last = nullptr;
    size_t p = raw.size() >= 9 ? raw[0] : raw.size();
    if (p < 9) return false;
    while (p < raw.size()) {
        const uint8_t len = raw[p];
        // A zero or overlong length cannot be walked past.
        if (len < 2 || p + len > raw.size()) return false;
        const uint8_t type = raw[p + 1];
        if (type == kDescInterface && len >= 9) {
            if (config.Interfaces.size() >= 255) return false;
            CCyUSBInterface intf;
            intf.bInterfaceNumber = raw[p + 2];
            intf.bAlternateSetting = raw[p + 3];
            intf.bInterfaceClass = raw[p + 5];
            intf.bInterfaceSubClass = raw[p + 6];
            intf.bInterfaceProtocol = raw[p + 7];
            config.Interfaces.push_back(std::move(intf));
            last = nullptr;
        } else if (type == kDescEndpoint && len >= 7 && !config.Interfaces.empty()) {
            std::unique_ptr<CCyUSBEndPoint> ep;
            switch (raw[p + 3] & 3) {
                case 0: ep = std::make_unique<CCyControlEndPoint>(device_, 0); break;
                case 1: ep = std::make_unique<CCyIsocEndPoint>(device_, &raw[p]); break;
                case 2: ep = std::make_unique<CCyBulkEndPoint>(device_, &raw[p]); break;
                default: ep = std::make_unique<CCyInterruptEndPoint>(device_, &raw[p]); break;
            }
            if ((raw[p + 3] & 3) == 0) {
                CCyUSBEndPoint tmp(nullptr, &raw[p]);
                ep->DscLen = tmp.DscLen;
                ep->DscType = tmp.DscType;
                ep->Address = tmp.Address;
                ep->Attributes = tmp.Attributes;
                ep->Interval = tmp.Interval;
                ep->MaxPktSize = tmp.MaxPktSize;
                ep->bIn = tmp.bIn;
            }
            last = ep.get();
            config.Interfaces.back().EndPoints.push_back(std::move(ep));
        } else if (type == kDescSsCompanion && len >= 6 && last != nullptr && !usb2) {
            last->ssMaxBurst = raw[p + 2];
            last->ssAttributes = raw[p + 3];
            last->ssBytesPerInterval = static_cast<uint16_t>(raw[p + 4] | raw[p + 5] << 8);
            last->MaxPktSize *= last->ssMaxBurst + 1u;
            if ((last->Attributes & 3) == 1) last->MaxPktSize *= (last->ssAttributes & 3u) + 1u;
            last = nullptr;
        }
        p += len;
    }
    return true;
}

bool CCyUSBDevice::VendorRequest(uint8_t request, uint8_t direction, uint16_t value, uint16_t index, uint8_t* buffer,
                                 size_t length) {
    if (!ControlEndPt) return false;
    CCyControlEndPoint& ep = *ControlEndPt;
    ep.Target = 0;
    ep.ReqType = 2;
    ep.ReqCode = request;
    ep.Direction = direction;
    ep.Value = value;
    ep.Index = index;
    if (length == 0) {
        int none = 0;
        return ep.Transfer(nullptr, none);
    }
    if (buffer == nullptr) return false;
    std::vector<uint8_t> piece;
    size_t done = 0;
    while (done < length) {
        const size_t n = std::min<size_t>(length - done, 65535);
        piece.assign(n, 0);
        if (direction == 0) std::memcpy(piece.data(), buffer + done, n);
        int moved = static_cast<int>(n);
        if (!ep.Transfer(piece.data(), moved)) return false;
        // A request that moves nothing would never finish the loop.
        if (moved <= 0) return false;
        if (direction != 0) std::memcpy(buffer + done, piece.data(), static_cast<size_t>(moved));
        done += static_cast<size_t>(moved);
    }
    return true;
}

bool CCyUSBDevice::ProbeBootloader() {
    uint8_t byte = 0;
    return VendorRequest(kReqRam, 1, 0, 0, &byte, 1);
}

FX3DownloadResult CCyUSBDevice::DownloadImage(const std::string& path, int target, ProgressFn progress) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return FX3DownloadResult::InvalidFile;
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || image.empty()) return FX3DownloadResult::InvalidFile;
    return DownloadImage(image, target, std::move(progress));
}

FX3DownloadResult CCyUSBDevice::DownloadImage(const std::vector<uint8_t>& image, int target, ProgressFn progress) {
    if (image.empty()) return FX3DownloadResult::InvalidFile;
    switch (target) {
        case 1: return DownloadToRAM(image.data(), image.size(), progress);
        case 2: return ProgramI2CEEPROM(image.data(), image.size(), progress);
        case 3: return ProgramSPIFlash(image.data(), image.size(), progress);
        default: return FX3DownloadResult::InvalidMediaType;
    }
}

FX3DownloadResult CCyUSBDevice::DownloadToRAM(const uint8_t* image, size_t length, const ProgressFn& progress) {
    // The whole image is checked before the first request.
    const FX3DownloadResult checked = CheckFx3Image(1, image, length);
    if (checked != FX3DownloadResult::Success) return checked;
    Fx3BootImage parsed;
    ParseFx3BootImage(image, length, parsed);
    std::vector<uint8_t> back;
    for (const Fx3BootRecord& record : parsed.records) {
        uint32_t address = record.address;
        size_t p = record.offset;
        size_t left = record.length;
        while (left > 0) {
            const size_t c = std::min(left, kChunk);
            const uint8_t* data = image + p;
            const uint16_t value = static_cast<uint16_t>(address & 0xFFFF);
            const uint16_t index = static_cast<uint16_t>(address >> 16);
            // Written and read back three times; the third pass decides.
            for (int pass = 0; pass < 3; ++pass) {
                bool ok = VendorRequest(kReqRam, 0, value, index, const_cast<uint8_t*>(data), c);
                if (ok) {
                    back.assign(c, 0);
                    ok = VendorRequest(kReqRam, 1, value, index, back.data(), c);
                    ok = ok && std::memcmp(back.data(), data, c) == 0;
                }
                if (pass == 2 && !ok) return FX3DownloadResult::Failed;
            }
            p += c;
            address += static_cast<uint32_t>(c);
            left -= c;
            Report(progress, Scaled(p, length, 99.0f));
        }
    }
    // Start the program. A bootloader that does not take the jump has not
    // started anything, so that is a failure too.
    if (!VendorRequest(kReqRam, 0, static_cast<uint16_t>(parsed.entry & 0xFFFF),
                       static_cast<uint16_t>(parsed.entry >> 16), nullptr, 0)) {
        return FX3DownloadResult::Failed;
    }
    Report(progress, 100);
    return FX3DownloadResult::Success;
}

FX3DownloadResult CCyUSBDevice::ProgramI2CEEPROM(const uint8_t* image, size_t length, const ProgressFn& progress) {
    const FX3DownloadResult checked = CheckFx3Image(2, image, length);
    if (checked != FX3DownloadResult::Success) return checked;
    if (!ControlEndPt) return FX3DownloadResult::Failed;
    const uint8_t code = static_cast<uint8_t>((image[2] >> 1) & 7);
    const uint32_t deviceSize = Fx3EepromDeviceSize(code);
    const bool large = code == 7;
    CCyControlEndPoint& ep = *ControlEndPt;
    ep.Target = 0;
    ep.ReqType = 2;
    ep.Value = 0;
    ep.Index = 0;
    Report(progress, 0);

    std::vector<uint8_t> chunk;
    std::vector<uint8_t> back;
    // One chunk written at the current device and address, then read back and
    // compared.
    auto writeAndVerify = [&](const std::vector<uint8_t>& data) {
        ep.ReqCode = kReqEepromWrite;
        ep.Direction = 0;
        chunk = data;
        int n = static_cast<int>(chunk.size());
        if (!ep.Transfer(chunk.data(), n) || static_cast<size_t>(n) != data.size()) return false;
        ep.ReqCode = kReqEepromRead;
        ep.Direction = 1;
        back.assign(data.size(), 0);
        int m = static_cast<int>(back.size());
        if (!ep.Transfer(back.data(), m) || static_cast<size_t>(m) != data.size()) return false;
        return back == data;
    };

    size_t sent = 0;
    while (length - sent >= kChunk) {
        const std::vector<uint8_t> data(image + sent, image + sent + kChunk);
        if (!writeAndVerify(data)) return FX3DownloadResult::Failed;
        sent += kChunk;
        ep.Index = static_cast<uint16_t>(ep.Index + kChunk);
        if (sent % deviceSize == 0) {
            if (!large) {
                ep.Value = ep.Value >= 7 ? 0 : static_cast<uint16_t>(ep.Value + 1);
            } else if (sent < 0x20000) {
                ep.Value = 4;
            } else {
                ep.Value = ep.Value == 4 ? 1 : 5;
            }
            ep.Index = 0;
        }
        Report(progress, Scaled(sent, length, 99.0f));
    }
    if (sent < length) {
        // The tail, padded with zeros to whole endpoint-0 packets.
        const size_t rest = length - sent;
        const size_t packet = std::max<size_t>(ep.MaxPktSize, 1);
        std::vector<uint8_t> data((rest + packet - 1) / packet * packet, 0);
        std::memcpy(data.data(), image + sent, rest);
        if (!writeAndVerify(data)) return FX3DownloadResult::Failed;
    }
    Report(progress, 100);
    return FX3DownloadResult::Success;
}

bool CCyUSBDevice::EraseSPISector(uint16_t sector) {
    if (!VendorRequest(kReqSpiErase, 0, 1, sector, nullptr, 0)) return false;
    for (int poll = 0; poll < kSpiErasePolls; ++poll) {
        uint8_t status = 0xFF;
        if (!VendorRequest(kReqSpiErase, 1, 0, sector, &status, 1)) return false;
        if (status == 0) return true;
        platform::GetBackend()->Sleep(kSpiPollMs);
    }
    SV_LOGE("CCyUSBDevice::EraseSPISector", "Sector {} still busy after {} status reads", sector, kSpiErasePolls);
    return false;
}

FX3DownloadResult CCyUSBDevice::ProgramSPIFlash(const uint8_t* image, size_t length, const ProgressFn& progress) {
    const FX3DownloadResult checked = CheckFx3Image(3, image, length);
    if (checked != FX3DownloadResult::Success) return checked;
    const size_t sectors = (length + kSpiSector - 1) / kSpiSector;
    const size_t written = (length + kSpiPage - 1) / kSpiPage * kSpiPage;
    for (size_t i = 0; i < sectors; ++i) {
        if (!EraseSPISector(static_cast<uint16_t>(i))) return FX3DownloadResult::SpiFlashEraseFailed;
        Report(progress, Scaled(i, sectors, 30.0f));
    }
    std::vector<uint8_t> chunk;
    for (size_t offset = 0; offset < written; offset += kChunk) {
        const size_t n = std::min(kChunk, written - offset);
        // Past the image the page keeps the erased value.
        chunk.assign(n, 0xFF);
        if (offset < length) std::memcpy(chunk.data(), image + offset, std::min(n, length - offset));
        if (!VendorRequest(kReqSpiWrite, 0, 0, static_cast<uint16_t>(offset / kSpiPage), chunk.data(), n)) {
            return FX3DownloadResult::Failed;
        }
        Report(progress, 30 + static_cast<int>(69 * (offset + n) / written));
    }
    Report(progress, 100);
    return FX3DownloadResult::Success;
}

}  // namespace sv::firmware
