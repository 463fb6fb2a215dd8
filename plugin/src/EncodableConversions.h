#pragma once

// Library records as channel values.

#include <flutter/encodable_value.h>

#include <vector>

#include <sorvansdk/SorvanSDK.h>

namespace sorvansdk {

flutter::EncodableMap SvHeaderV2ToEncodableMap(const SvHeaderV2& header);
flutter::EncodableMap SvHeaderV3ToEncodableMap(const SvHeaderV3& header);
flutter::EncodableList FormatListToEncodable(const std::vector<SvFormat>& formats);
const char* InterfaceTypeName(int type);

}  // namespace sorvansdk
