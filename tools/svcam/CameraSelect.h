#pragma once

// A camera named on the command line: its index, or a substring of exactly
// one display name.

#include <memory>
#include <string>
#include <vector>

#include <sorvansdk/SorvanSDK.h>

namespace svcam {

struct CameraChoice {
    int index = -1;
    std::string displayName;
};

// false with `error` naming the problem and listing the cameras.
bool SelectCamera(const std::string& spec, const std::vector<std::string>& names, CameraChoice& choice,
                  std::string& error);

}  // namespace svcam
