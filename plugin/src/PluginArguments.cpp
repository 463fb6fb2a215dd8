#include "PluginArguments.h"

namespace sorvansdk {

const flutter::EncodableList& ListArgument(const flutter::EncodableValue* arguments, std::size_t count,
                                           const std::string& message) {
    const auto* list = arguments != nullptr ? std::get_if<flutter::EncodableList>(arguments) : nullptr;
    if (list == nullptr || list->size() != count) throw std::invalid_argument(message);
    return *list;
}

const flutter::EncodableMap& MapArgument(const flutter::EncodableValue* arguments) {
    const auto* map = arguments != nullptr ? std::get_if<flutter::EncodableMap>(arguments) : nullptr;
    if (map == nullptr) throw std::invalid_argument("Arguments must be a map");
    return *map;
}

const flutter::EncodableValue& MapValue(const flutter::EncodableMap& map, const char* key) {
    auto it = map.find(flutter::EncodableValue(key));
    if (it == map.end()) throw std::out_of_range("invalid map<K, T> key");
    return it->second;
}

int MapInt(const flutter::EncodableMap& map, const char* key) { return ValueAs<int32_t>(MapValue(map, key)); }

}  // namespace sorvansdk
