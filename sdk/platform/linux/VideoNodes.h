#pragma once

// What the Linux back-end reads about video capture nodes: the nodes
// themselves from sysfs (/sys/class/video4linux and, for a camera on USB, the
// USB device above each node), the driver's name for the camera and its bus
// from VIDIOC_QUERYCAP, and the native types from the format, frame-size and
// frame-interval enumerations.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend/Backend.h"
#include "platform/backend/HResult.h"
#include "platform/backend/MediaType.h"
#include "platform/linux/SysCalls.h"

namespace sv::platform::v4l2 {

struct VideoNode {
    std::string name;        // "video0"
    uint32_t number = 0;     // 0 for video0
    std::string devicePath;  // "/dev/video0"
    std::string card;        // the driver's name for the camera
    std::string driver;      // the driver ("uvcvideo", "vivid")
    std::string busInfo;     // the driver's name for the node's bus ("platform:vivid-000")
    std::string parent;      // sysfs name of the device the node belongs to ("1-2.1:1.0", "vivid.0")
    // The USB facts below are filled only for a node of a USB device; a
    // camera of a virtual or platform driver leaves them empty.
    bool usb = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t interfaceNumber = 0;
    std::string serial;      // "" when the device has none
    std::string product;     // the device's product string; "" when it has none
    uint32_t busnum = 0;
    std::string devpath;     // the port path below the root hub ("2.1")
    std::string usbDevice;   // the USB device's sysfs name ("1-2.1")
    std::string usbFolder;   // the USB device's sysfs folder
};

// The video capture nodes in node-number order, on USB or not. Nodes that
// cannot be opened or queried, or that do not capture video (metadata,
// output-only and memory-to-memory nodes) are left out.
// Each capture node left out because it cannot be opened or queried is
// logged as a warning and, when `unlisted` is given, added there.
std::vector<VideoNode> EnumerateVideoNodes(SysCalls& calls, std::vector<UnlistedDevice>* unlisted = nullptr);
// The video nodes of USB devices as sysfs lists them, in node-number order,
// without opening any (no card name; metadata nodes included).
std::vector<VideoNode> ListUsbVideoNodes(SysCalls& calls);

// Whether VIDIOC_QUERYCAP's capabilities of a node (its device_caps) make it
// a camera: video capture, and neither output nor memory-to-memory.
bool IsCaptureNode(uint32_t nodeCaps);

// The interface instance key the layers above compare ("BUS1&PORT2.1&MI_00").
std::string InstanceKey(const VideoNode& node);
// The symbolic link of a node, in the form the platform classes cut the
// hardware id and the instance key from:
// "\\?\usb#vid_046d&pid_0825&mi_00#BUS1&PORT2.1&MI_00#video0\global".
// A node that is not on USB has a link without "usb" anywhere in it, so the
// platform classes give it no hardware id, vendor or product:
// "\\?\v4l2#VIVID#PLATFORM:VIVID-000#video0\global" (driver and bus in
// upper case, anything but letters, digits and ".:-_&" made "_").
std::string SymbolicLink(const VideoNode& node);
// "USB\VID_046D&PID_0825&MI_00\BUS1&PORT2.1&MI_00" and "USB\VID_046D&PID_0825\<serial>".
std::string InterfaceInstanceId(const VideoNode& node);
std::string DeviceInstanceId(const VideoNode& node);

// The media-type subtype of a V4L2 pixel format (YUYV is YUY2; other codes
// keep their four characters).
Guid SubtypeForPixelFormat(uint32_t pixelFormat);

// Native types of the capture node at `devicePath`: one per format, frame
// size and frame interval, in the driver's order. A range of sizes or of
// intervals is listed as its two ends.
HResult ReadNativeTypes(SysCalls& calls, const std::string& devicePath,
                        std::vector<std::shared_ptr<const MediaType>>& types);

// The raw USB descriptors of the node's device (sysfs `descriptors`: the
// device descriptor, then the configurations); empty when unreadable.
std::vector<uint8_t> ReadUsbDescriptors(const VideoNode& node);

// A negative errno as a seam result code.
HResult HResultFromErrno(int negativeErrno);
// A negative errno of the video path as a seam result: a vanished device is
// MF_E_VIDEO_RECORDING_DEVICE_INVALIDATED, a busy one E_ACCESSDENIED, anything
// else `otherwise`.
HResult VideoResultFromErrno(int negativeErrno, HResult otherwise);

}  // namespace sv::platform::v4l2
