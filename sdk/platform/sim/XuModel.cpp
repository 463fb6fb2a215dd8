#include "platform/sim/XuModel.h"

#include <map>
#include <mutex>

#include "platform/sim/MakerModels.h"

namespace sv::sim {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, XuModelFactory> factories;

    Registry() {
        factories["kivo"] = [](const nlohmann::json& c) { return std::make_unique<KivoXuModel>(c); };
        factories["lira"] = [](const nlohmann::json& c) { return std::make_unique<LiraXuModel>(c); };
    }
};

Registry& GetRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

void RegisterXuModel(const std::string& name, XuModelFactory factory) {
    Registry& r = GetRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.factories[name] = std::move(factory);
}

void UnregisterXuModel(const std::string& name) {
    Registry& r = GetRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.factories.erase(name);
}

std::unique_ptr<XuDeviceModel> CreateXuModel(const std::string& name, const nlohmann::json& config) {
    XuModelFactory factory;
    {
        Registry& r = GetRegistry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.factories.find(name);
        if (it == r.factories.end()) return nullptr;
        factory = it->second;
    }
    return factory(config);
}

}  // namespace sv::sim
