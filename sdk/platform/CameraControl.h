#pragma once

// The camera's control channel: UVC standard controls and raw extension-unit
// transfers. One lock per control serialises every platform call; the
// streamer takes the same lock while it replaces the media source.

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/CameraDeviceInfo.h"
#include "platform/backend/HResult.h"
#include "platform/backend/VideoDevice.h"

// One extension-unit transfer as the maker protocol builds it.
struct XuRequest {
    uint8_t unit = 2;      // extension-unit node
    uint8_t selector = 0;  // control selector
    uint8_t request = 0;   // 0x01 SET_CUR or 0x81 GET_CUR
    uint16_t length = 0;   // payload bytes
    uint8_t* data = nullptr;
};

class CameraControl {
public:
    virtual ~CameraControl() = default;
    // 0 when the device took the transfer, -1 otherwise (also for a request
    // code that does not fit the operation; nothing is sent then).
    virtual int SetExtensionUnit(const XuRequest& request) = 0;
    virtual int GetExtensionUnit(XuRequest& request) = 0;
    // Standard controls: the platform's result code, unchanged.
    virtual long GetProcAmpProperty(long property, long& value, long& flags) = 0;
    virtual long GetCameraControlProperty(long property, long& value, long& flags) = 0;
    virtual long SetCameraControlProperty(long property, long value, long flags) = 0;
    virtual long SetProcAmpProperty(long property, long value, long flags) = 0;
    virtual long GetCameraControlRange(long property, long& minimum, long& maximum, long& step,
                                       long& defaultValue, long& capsFlags) = 0;
    virtual long GetProcAmpRange(long property, long& minimum, long& maximum, long& step,
                                 long& defaultValue, long& capsFlags) = 0;
};

class UVCCameraControl : public CameraControl {};

class UVCCameraControlWin : public UVCCameraControl {
public:
    explicit UVCCameraControlWin(const CameraDeviceInfo& info);
    ~UVCCameraControlWin() override;

    int SetExtensionUnit(const XuRequest& request) override;
    int GetExtensionUnit(XuRequest& request) override;
    long GetProcAmpProperty(long property, long& value, long& flags) override;
    long GetCameraControlProperty(long property, long& value, long& flags) override;
    long SetCameraControlProperty(long property, long value, long flags) override;
    long SetProcAmpProperty(long property, long value, long flags) override;
    long GetCameraControlRange(long property, long& minimum, long& maximum, long& step,
                               long& defaultValue, long& capsFlags) override;
    long GetProcAmpRange(long property, long& minimum, long& maximum, long& step,
                         long& defaultValue, long& capsFlags) override;

    // The common transfer; the platform's result code.
    sv::platform::HResult SetGetExtensionUnit(const sv::platform::Guid& propertySet, uint32_t node,
                                              uint32_t selector, uint32_t flags, uint8_t* data,
                                              uint32_t length, uint32_t& bytesReturned);

    // Given by the streamer after each successful initialisation. Callers hold Mutex().
    void SetMediaSourceLocked(std::shared_ptr<sv::platform::MediaSource> source);
    std::mutex& Mutex() { return mutex_; }

private:
    enum class Unit { ProcAmp, CameraTerminal };
    long Get(Unit unit, const char* where, long property, long& value, long& flags);
    long Set(Unit unit, const char* where, long property, long value, long flags);
    long Range(Unit unit, const char* where, long property, long& minimum, long& maximum, long& step,
               long& defaultValue, long& capsFlags);
    sv::platform::HResult Query(Unit unit, std::shared_ptr<sv::platform::UvcControlInterface>& out);

    CameraDeviceInfo info_;
    std::shared_ptr<sv::platform::MediaSource> source_;
    std::mutex mutex_;
};
