#pragma once

// What every native back-end shares: it is selected as "native", time passes
// on a Clock (the system's, unless a stand-in kernel in tests brings the
// simulated machine's), and the USB bridge maker's vendor driver, which has
// a programming interface of its own, is not carried: no bridge devices are
// served. A back-end derives from it and adds its devices.

#include <memory>

#include "platform/backend/Backend.h"
#include "platform/backend/Clock.h"

namespace sv::platform {

class NativeBackend : public Backend {
public:
    // Null: the system's clock.
    explicit NativeBackend(std::shared_ptr<Clock> clock = nullptr);

    std::string Name() const override;

    HResult CountVendorUsbDevices(uint32_t& count) override;
    HResult OpenVendorUsbDevice(uint32_t index, std::shared_ptr<VendorUsbDevice>& device) override;

    void Sleep(uint32_t ms) override;
    uint64_t NowMs() override;
    std::shared_ptr<Event> NewEvent() override;

private:
    const std::shared_ptr<Clock> clock_;
};

}  // namespace sv::platform
