#pragma once

// Readable control names: the UVC standard controls and the ISP properties of
// the maker cameras.

#include <optional>
#include <string>
#include <vector>

#include <sorvansdk/SvTypes.h>

namespace svcam {

struct ControlName {
    enum class Kind { Uvc, Isp } kind;
    int id;
    const char* name;
};

const std::vector<ControlName>& UvcControls();
const std::vector<ControlName>& IspControls();

// "brightness" is the UVC control; a name only the ISP has ("ehdr-mode") is
// the ISP property; "uvc.NAME" and "isp.NAME" choose explicitly.
std::optional<ControlName> FindControl(const std::string& name);

// Every name a user can type, for error messages.
std::string AllControlNames();

}  // namespace svcam
