#include "platform/linux/ExtensionUnit.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

#include <cerrno>
#include <cstring>

#include "base/Logger.h"
#include "platform/backend/MfIds.h"
#include "platform/linux/VideoNodes.h"

namespace sv::platform::v4l2 {
namespace {

constexpr uint8_t kInterfaceDescriptor = 0x04;
constexpr uint8_t kClassSpecificInterface = 0x24;
constexpr uint8_t kVideoClass = 0x0E;
constexpr uint8_t kVideoControlSubclass = 0x01;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

std::vector<UvcEntity> ParseVideoControlEntities(const std::vector<uint8_t>& descriptors, uint8_t interfaceNumber) {
    std::vector<UvcEntity> entities;
    bool inside = false;  // within the wanted VideoControl interface
    std::size_t at = 0;
    while (at + 2 <= descriptors.size()) {
        const uint8_t length = descriptors[at];
        const uint8_t type = descriptors[at + 1];
        if (length < 2 || length > descriptors.size() - at) break;
        const uint8_t* d = descriptors.data() + at;
        if (type == kInterfaceDescriptor && length >= 9) {
            if (inside && d[2] != interfaceNumber) break;  // the next interface: done
            inside = d[2] == interfaceNumber && d[5] == kVideoClass && d[6] == kVideoControlSubclass;
        } else if (inside && type == kClassSpecificInterface && length >= 4) {
            const uint8_t subtype = d[2];
            if (subtype == UVC_VC_INPUT_TERMINAL || subtype == UVC_VC_SELECTOR_UNIT ||
                subtype == UVC_VC_PROCESSING_UNIT || (subtype == UVC_VC_EXTENSION_UNIT && length >= 20)) {
                UvcEntity e;
                e.subtype = subtype;
                e.id = d[3];
                if (subtype == UVC_VC_EXTENSION_UNIT) {
                    // guidExtensionCode as the bus carries a GUID: three
                    // little-endian fields, then eight bytes.
                    e.guid = Guid(Le32(d + 4), Le16(d + 8), Le16(d + 10), d[12], d[13], d[14], d[15], d[16], d[17],
                                  d[18], d[19]);
                }
                entities.push_back(e);
            }
        }
        at += length;
    }
    return entities;
}

namespace {

// A failure of the extension-unit query on the control path.
HResult XuResult(int negativeErrno) {
    switch (-negativeErrno) {
    case ENOENT: return HR_E_PROP_ID_UNSUPPORTED;  // the driver knows no such control
    case ENOBUFS: return HR_ERROR_INSUFFICIENT_BUFFER;  // not the control's size
    case ERANGE: return HR_E_INVALIDARG;
    default: return HResultFromErrno(negativeErrno);
    }
}

class LinuxKsNode final : public KsControl {
public:
    LinuxKsNode(std::shared_ptr<NodeFile> file, UvcEntity entity, uint32_t node)
        : file_(std::move(file)), entity_(entity), node_(node) {}

    HResult KsProperty(const ks::PropertyNodeRequest& request, uint8_t* data, uint32_t dataLength,
                       uint32_t& bytesReturned) override {
        bytesReturned = 0;
        const bool isGet = request.flags == (ks::KSPROPERTY_TYPE_GET | ks::KSPROPERTY_TYPE_TOPOLOGY);
        const bool isSet = request.flags == (ks::KSPROPERTY_TYPE_SET | ks::KSPROPERTY_TYPE_TOPOLOGY);
        if (!isGet && !isSet) return HR_ERROR_NOT_SUPPORTED;
        if (request.nodeId != node_ || entity_.subtype != UVC_VC_EXTENSION_UNIT || request.set != entity_.guid) {
            return HR_ERROR_SET_NOT_FOUND;  // this node carries no such property set
        }
        if (dataLength > 0 && data == nullptr) return HR_E_POINTER;
        if (dataLength == 0 || dataLength > 0xFFFF || request.id > 0xFF) return HR_E_INVALIDARG;
        uvc_xu_control_query query{};
        query.unit = entity_.id;
        query.selector = static_cast<uint8_t>(request.id);
        query.query = isGet ? UVC_GET_CUR : UVC_SET_CUR;
        query.size = static_cast<uint16_t>(dataLength);
        query.data = data;
        const int rc = file_->Ioctl(UVCIOC_CTRL_QUERY, &query);
        if (rc < 0) {
            SV_LOGD("LinuxKsNode::KsProperty", "UVCIOC_CTRL_QUERY unit {} selector {} {} failed ({})", entity_.id,
                    request.id, isGet ? "GET_CUR" : "SET_CUR", std::strerror(-rc));
            return XuResult(rc);
        }
        if (isGet) bytesReturned = dataLength;
        return HR_S_OK;
    }

private:
    std::shared_ptr<NodeFile> file_;
    const UvcEntity entity_;
    const uint32_t node_;
};

class LinuxTopology final : public KsTopologyInfo {
public:
    LinuxTopology(std::shared_ptr<NodeFile> file, std::vector<UvcEntity> entities)
        : file_(std::move(file)), entities_(std::move(entities)) {}

    HResult GetNumNodes(uint32_t& count) override {
        count = static_cast<uint32_t>(entities_.size());
        return HR_S_OK;
    }
    HResult CreateNodeInstance(uint32_t nodeId, std::shared_ptr<KsControl>& control) override {
        control.reset();
        if (nodeId >= entities_.size()) return HR_E_INVALIDARG;
        control = std::make_shared<LinuxKsNode>(file_, entities_[nodeId], nodeId);
        return HR_S_OK;
    }

private:
    std::shared_ptr<NodeFile> file_;
    std::vector<UvcEntity> entities_;
};

}  // namespace

HResult CreateLinuxTopology(std::shared_ptr<NodeFile> file, std::vector<UvcEntity> entities,
                            std::shared_ptr<KsTopologyInfo>& topology) {
    topology.reset();
    if (entities.empty()) return HR_E_NOINTERFACE;
    topology = std::make_shared<LinuxTopology>(std::move(file), std::move(entities));
    return HR_S_OK;
}

}  // namespace sv::platform::v4l2
