#pragma once

// Access to the USB bridge in its service personalities (bootloader, flash
// programmer) through the bridge maker's vendor driver, over the platform
// seam's vendor device interface: the device list, a device opened by its
// position, its descriptors, control transfers on endpoint 0 and, on top of
// them, the three image downloads (RAM, I2C EEPROM, SPI flash).
//
// Only the control endpoint moves data here; the other endpoint objects are
// built from the configuration descriptor so callers can see them, and their
// transfers answer false (the seam carries control transfers only).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "firmware/FX3DownloadResult.h"
#include "platform/backend/VendorUsb.h"

namespace sv::firmware {

using ProgressFn = std::function<void(int)>;

class CCyUSBEndPoint {
public:
    CCyUSBEndPoint(std::shared_ptr<platform::VendorUsbDevice> device, const uint8_t* descriptor);
    virtual ~CCyUSBEndPoint() = default;

    // One complete transfer; on return `length` holds the bytes moved.
    virtual bool Transfer(uint8_t* buffer, int& length);

    uint8_t DscLen = 0;
    uint8_t DscType = 0;
    uint8_t Address = 0;
    uint8_t Attributes = 0;
    uint8_t Interval = 0;
    uint32_t MaxPktSize = 0;
    uint8_t ssMaxBurst = 0;
    uint8_t ssAttributes = 0;
    uint16_t ssBytesPerInterval = 0;
    bool bIn = false;
    uint32_t TimeOut = 10000;  // ms
    bool DirectForm = false;

    // The last transfer's outcome.
    uint32_t UsbdStatus = 0;
    uint32_t NtStatus = 0;
    uint32_t BytesXfered = 0;
    int32_t LastError = 0;

protected:
    std::shared_ptr<platform::VendorUsbDevice> device_;
};

class CCyControlEndPoint : public CCyUSBEndPoint {
public:
    // Endpoint 0: recipient device, vendor request, host to device, everything
    // else 0, buffered form.
    CCyControlEndPoint(std::shared_ptr<platform::VendorUsbDevice> device, uint32_t maxPacket);

    // A control request built from the fields below; `length` is wLength.
    bool Transfer(uint8_t* buffer, int& length) override;

    uint8_t Target = 0;     // recipient, 0 device
    uint8_t ReqType = 2;    // 2 vendor
    uint8_t Direction = 0;  // 0 host to device, 1 device to host
    uint8_t ReqCode = 0;
    uint16_t Value = 0;
    uint16_t Index = 0;
};

class CCyIsocEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
};
class CCyBulkEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
};
class CCyInterruptEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
};

struct CCyUSBInterface {
    uint8_t bInterfaceNumber = 0;
    uint8_t bAlternateSetting = 0;
    uint8_t bInterfaceClass = 0;
    uint8_t bInterfaceSubClass = 0;
    uint8_t bInterfaceProtocol = 0;
    std::vector<std::unique_ptr<CCyUSBEndPoint>> EndPoints;
};

struct CCyUSBConfig {
    std::vector<uint8_t> raw;
    std::vector<CCyUSBInterface> Interfaces;
};

class CCyUSBDevice {
public:
    // Opens device 0 of the driver's list (its result is not reported).
    CCyUSBDevice();
    // Closes the device; a failure to close is logged, never thrown.
    ~CCyUSBDevice();
    CCyUSBDevice(const CCyUSBDevice&) = delete;
    CCyUSBDevice& operator=(const CCyUSBDevice&) = delete;

    // Present devices of the driver (0 to 255).
    int DeviceCount();
    bool CreateHandle(uint8_t index);
    // CreateHandle, then the descriptors and driver values; true when
    // configuration 0 has an interface.
    bool Open(uint8_t index);
    // Releases the device and its tables. Throws std::runtime_error ("Failed
    // to close handle to driver.") when the driver reports a failure; the
    // device is released all the same.
    void CloseDevice();
    bool IsOpen() const { return device_ != nullptr; }

    bool VendorRequest(uint8_t request, uint8_t direction, uint16_t value, uint16_t index, uint8_t* buffer,
                       size_t length);
    bool ProbeBootloader();

    FX3DownloadResult DownloadImage(const std::string& path, int target, ProgressFn progress);
    // The same for an image in memory.
    FX3DownloadResult DownloadImage(const std::vector<uint8_t>& image, int target, ProgressFn progress);
    FX3DownloadResult DownloadToRAM(const uint8_t* image, size_t length, const ProgressFn& progress);
    FX3DownloadResult ProgramI2CEEPROM(const uint8_t* image, size_t length, const ProgressFn& progress);
    FX3DownloadResult ProgramSPIFlash(const uint8_t* image, size_t length, const ProgressFn& progress);
    bool EraseSPISector(uint16_t sector);

    // Device descriptor.
    uint16_t BcdUSB = 0;
    uint8_t DevClass = 0;
    uint8_t DevSubClass = 0;
    uint8_t DevProtocol = 0;
    uint8_t MaxPacket = 0;  // bMaxPacketSize0 as read
    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t BcdDevice = 0;
    uint8_t iManufacturer = 0;
    uint8_t iProduct = 0;
    uint8_t iSerialNumber = 0;
    uint8_t NumConfigurations = 0;
    uint32_t Ep0PacketSize = 0;

    uint16_t LanguageID = 0;
    std::string Manufacturer;
    std::string Product;
    std::string SerialNumber;
    std::string FriendlyName;
    std::string DeviceName;  // the driver's text
    uint32_t DriverVersion = 0;
    uint32_t USBDIVersion = 0;
    uint8_t USBAddress = 0;
    bool bHighSpeed = false;
    bool bSuperSpeed = false;

    std::vector<uint8_t> BosDescriptor;
    std::vector<uint8_t> Usb20Extension;   // capability type 2
    std::vector<uint8_t> SuperSpeedCapability;  // type 3
    std::vector<uint8_t> ContainerId;      // type 4

    std::vector<CCyUSBConfig> Configs;
    uint8_t AltIntfc = 0;
    std::unique_ptr<CCyControlEndPoint> ControlEndPt;
    CCyUSBEndPoint* BulkInEndPt = nullptr;
    CCyUSBEndPoint* BulkOutEndPt = nullptr;
    CCyUSBEndPoint* IsocInEndPt = nullptr;
    CCyUSBEndPoint* IsocOutEndPt = nullptr;
    CCyUSBEndPoint* InterruptInEndPt = nullptr;
    CCyUSBEndPoint* InterruptOutEndPt = nullptr;

    uint8_t DeviceIndex() const { return index_; }
    int32_t LastError = 0;

private:
    bool ReadDescriptor(uint8_t type, uint8_t index, uint16_t language, uint16_t length, std::vector<uint8_t>& out);
    bool ReadVariable(uint8_t type, uint8_t index, uint16_t language, size_t headLength, size_t lengthAt,
                      bool wordLength, std::vector<uint8_t>& out);
    bool ReadString(uint8_t index, std::string& text);
    bool ReadDescriptors();
    bool ParseConfig(CCyUSBConfig& config);
    void Forget();

    std::shared_ptr<platform::VendorUsbDevice> device_;
    uint8_t index_ = 0;
};

}  // namespace sv::firmware
