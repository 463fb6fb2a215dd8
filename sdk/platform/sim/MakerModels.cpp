#include "platform/sim/MakerModels.h"

namespace sv::sim {

KivoXuModel::KivoXuModel(const nlohmann::json& config) : config_(config) {}

platform::HResult KivoXuModel::Transfer(XuTransfer&, XuHost&, std::string& note) {
    note = "not modelled yet";
    return platform::HR_ERROR_GEN_FAILURE;
}

LiraXuModel::LiraXuModel(const nlohmann::json& config) : config_(config) {}

platform::HResult LiraXuModel::Transfer(XuTransfer&, XuHost&, std::string& note) {
    note = "not modelled yet";
    return platform::HR_ERROR_GEN_FAILURE;
}

}  // namespace sv::sim
