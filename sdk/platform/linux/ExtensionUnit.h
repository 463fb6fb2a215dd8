#pragma once

// The seam's kernel-streaming topology over the UVC driver: the nodes are
// the units and input terminals of the camera's VideoControl interface, in
// the order of its USB descriptors (read from sysfs `descriptors`); a
// property request on an extension unit's node whose set is the unit's GUID
// goes to the driver as UVCIOC_CTRL_QUERY with the unit id, the property as
// selector, and GET/SET as UVC_GET_CUR/UVC_SET_CUR.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend/Guid.h"
#include "platform/backend/VideoDevice.h"
#include "platform/linux/StreamBuffers.h"

namespace sv::platform::v4l2 {

struct UvcEntity {
    uint8_t subtype = 0;  // 0x02 input terminal, 0x04 selector, 0x05 processing, 0x06 extension unit
    uint8_t id = 0;       // bTerminalID / bUnitID
    Guid guid;            // guidExtensionCode of an extension unit
};

// The entities of VideoControl interface `interfaceNumber` in `descriptors`
// (a device descriptor followed by configuration descriptors), output
// terminals left out. Walks defensively: a descriptor that claims more bytes
// than remain, or fewer than two, ends the walk.
std::vector<UvcEntity> ParseVideoControlEntities(const std::vector<uint8_t>& descriptors, uint8_t interfaceNumber);

// The topology over `file`, or null with E_NOINTERFACE when there are no
// entities.
HResult CreateLinuxTopology(std::shared_ptr<NodeFile> file, std::vector<UvcEntity> entities,
                            std::shared_ptr<KsTopologyInfo>& topology);

}  // namespace sv::platform::v4l2
