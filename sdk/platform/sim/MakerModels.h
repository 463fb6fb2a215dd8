#pragma once

// Models of the maker's cameras. They answer every selector with a stall until
// their protocols are modelled; the plumbing around them is complete.

#include "platform/sim/XuModel.h"

namespace sv::sim {

class KivoXuModel : public XuDeviceModel {
public:
    explicit KivoXuModel(const nlohmann::json& config);
    std::string Name() const override { return "kivo"; }
    platform::HResult Transfer(XuTransfer& transfer, XuHost& host, std::string& note) override;

private:
    nlohmann::json config_;
};

class LiraXuModel : public XuDeviceModel {
public:
    explicit LiraXuModel(const nlohmann::json& config);
    std::string Name() const override { return "lira"; }
    platform::HResult Transfer(XuTransfer& transfer, XuHost& host, std::string& note) override;

private:
    nlohmann::json config_;
};

}  // namespace sv::sim
