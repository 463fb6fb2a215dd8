#include "platform/backend/MediaType.h"

namespace sv::platform {

AttributeType AttributeValue::Type() const {
    switch (value_.index()) {
        case 0: return AttributeType::UInt32;
        case 1: return AttributeType::UInt64;
        case 2: return AttributeType::Double;
        case 3: return AttributeType::Guid;
        case 4: return AttributeType::String;
        case 5: return AttributeType::Blob;
        default: return AttributeType::Unknown;
    }
}

const MediaType::Item* MediaType::Find(const Guid& key) const {
    for (const auto& item : items_) {
        if (item.key == key) return &item;
    }
    return nullptr;
}

HResult MediaType::GetItemByIndex(uint32_t index, Guid& key, AttributeValue& value) const {
    if (index >= items_.size()) return HR_E_INVALIDARG;
    key = items_[index].key;
    value = items_[index].value;
    return HR_S_OK;
}

HResult MediaType::GetItemType(const Guid& key, AttributeType& type) const {
    const Item* item = Find(key);
    if (item == nullptr) return HR_MF_E_ATTRIBUTENOTFOUND;
    type = item->value.Type();
    return HR_S_OK;
}

HResult MediaType::GetItem(const Guid& key, AttributeValue& value) const {
    const Item* item = Find(key);
    if (item == nullptr) return HR_MF_E_ATTRIBUTENOTFOUND;
    value = item->value;
    return HR_S_OK;
}

template <typename T>
HResult MediaType::GetTyped(const Guid& key, T& value) const {
    const Item* item = Find(key);
    if (item == nullptr) return HR_MF_E_ATTRIBUTENOTFOUND;
    const T* stored = std::get_if<T>(&item->value.Value());
    if (stored == nullptr) return HR_MF_E_INVALIDTYPE;
    value = *stored;
    return HR_S_OK;
}

HResult MediaType::GetUINT32(const Guid& key, uint32_t& value) const { return GetTyped(key, value); }
HResult MediaType::GetUINT64(const Guid& key, uint64_t& value) const { return GetTyped(key, value); }
HResult MediaType::GetDouble(const Guid& key, double& value) const { return GetTyped(key, value); }
HResult MediaType::GetGUID(const Guid& key, Guid& value) const { return GetTyped(key, value); }
HResult MediaType::GetString(const Guid& key, std::string& value) const { return GetTyped(key, value); }
HResult MediaType::GetBlob(const Guid& key, std::vector<uint8_t>& value) const { return GetTyped(key, value); }

void MediaType::SetItem(const Guid& key, AttributeValue value) {
    for (auto& item : items_) {
        if (item.key == key) {
            item.value = std::move(value);
            return;
        }
    }
    items_.push_back(Item{key, std::move(value)});
}

}  // namespace sv::platform
