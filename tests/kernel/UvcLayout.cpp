#include "kernel/UvcLayout.h"

#include <linux/usb/ch9.h>
#include <linux/usb/video.h>

#include <algorithm>

#include "platform/backend/MfIds.h"

namespace sv::gadget {
namespace {

using platform::Guid;

void Put16(std::vector<uint8_t>& d, uint32_t v) {
    d.push_back(static_cast<uint8_t>(v));
    d.push_back(static_cast<uint8_t>(v >> 8));
}
void Put24(std::vector<uint8_t>& d, uint32_t v) {
    Put16(d, v);
    d.push_back(static_cast<uint8_t>(v >> 16));
}
void Put32(std::vector<uint8_t>& d, uint32_t v) {
    Put16(d, v);
    Put16(d, v >> 16);
}
void Set16(std::vector<uint8_t>& d, size_t at, uint32_t v) {
    d[at] = static_cast<uint8_t>(v);
    d[at + 1] = static_cast<uint8_t>(v >> 8);
}
// A GUID as the bus carries it: three little-endian fields, then eight bytes.
void PutGuid(std::vector<uint8_t>& d, const Guid& g) {
    Put32(d, g.data1);
    Put16(d, g.data2);
    Put16(d, g.data3);
    d.insert(d.end(), std::begin(g.data4), std::end(g.data4));
}

uint8_t BitsPerPixel(sim::PixelFormat f) {
    switch (f) {
        case sim::PixelFormat::NV12: return 12;
        case sim::PixelFormat::RGB24: return 24;
        default: return 16;
    }
}

}  // namespace

bool Presentable(sim::PixelFormat format) {
    return format == sim::PixelFormat::YUY2 || format == sim::PixelFormat::UYVY || format == sim::PixelFormat::NV12 ||
           format == sim::PixelFormat::MJPG;
}

uint32_t MaxFrameBytes(sim::PixelFormat format, uint32_t width, uint32_t height) {
    switch (format) {
        case sim::PixelFormat::NV12: return width * height + 2 * ((width + 1) / 2) * ((height + 1) / 2);
        case sim::PixelFormat::RGB24: return width * height * 3;
        // A JPEG image of the pattern stays well below two bytes a pixel;
        // the headers need room of their own on tiny frames.
        case sim::PixelFormat::MJPG: return width * height * 2 + 4096;
        default: return width * height * 2;
    }
}

uint32_t IntervalOf(uint32_t numerator, uint32_t denominator) {
    if (numerator == 0) return 0;
    return static_cast<uint32_t>((uint64_t{10000000} * denominator + numerator / 2) / numerator);
}

UvcLayout LayoutOf(const sim::DeviceDescription& device, uint32_t cameraControls, uint16_t processingControls,
                   uint16_t xuSelectors) {
    UvcLayout l;
    l.vendorId = device.vendorId;
    l.productId = device.productId;
    l.manufacturer = device.manufacturer;
    l.product = device.product.empty() ? device.name : device.product;
    if (device.hasSerial) l.serial = device.serial;
    for (const sim::FormatDescription& f : device.formats) {
        if (!Presentable(f.format) || f.width == 0 || f.height == 0 || f.width > 0xFFFF || f.height > 0xFFFF ||
            f.rateNumerator == 0) {
            continue;
        }
        auto format = std::find_if(l.formats.begin(), l.formats.end(),
                                   [&](const FormatLayout& x) { return x.format == f.format; });
        if (format == l.formats.end()) {
            l.formats.push_back(FormatLayout{f.format, {}});
            format = l.formats.end() - 1;
        }
        auto frame = std::find_if(format->frames.begin(), format->frames.end(), [&](const FrameLayout& x) {
            return x.width == f.width && x.height == f.height;
        });
        const FrameRate rate{IntervalOf(f.rateNumerator, f.rateDenominator), f.rateNumerator, f.rateDenominator};
        if (frame == format->frames.end()) {
            FrameLayout fl;
            fl.width = static_cast<uint16_t>(f.width);
            fl.height = static_cast<uint16_t>(f.height);
            fl.defaultInterval = rate.interval;
            fl.maxFrameBytes = MaxFrameBytes(f.format, f.width, f.height);
            format->frames.push_back(fl);
            frame = format->frames.end() - 1;
        }
        const bool known = std::any_of(frame->rates.begin(), frame->rates.end(),
                                       [&](const FrameRate& r) { return r.interval == rate.interval; });
        if (!known) {
            frame->rates.push_back(rate);
            std::sort(frame->rates.begin(), frame->rates.end(),
                      [](const FrameRate& a, const FrameRate& b) { return a.interval < b.interval; });
        }
    }
    l.cameraControls = cameraControls;
    l.processingControls = processingControls;
    l.extensionUnit = xuSelectors != 0;
    l.extensionControls = xuSelectors;
    return l;
}

std::vector<uint8_t> DeviceDescriptor(const UvcLayout& l) {
    std::vector<uint8_t> d = {USB_DT_DEVICE_SIZE, USB_DT_DEVICE};
    Put16(d, 0x0200);  // USB 2.0
    d.insert(d.end(), {0, 0, 0, 64});  // classes given by the interfaces
    Put16(d, l.vendorId);
    Put16(d, l.productId);
    Put16(d, l.bcdDevice);
    d.insert(d.end(), {kManufacturerString, kProductString, static_cast<uint8_t>(l.serial.empty() ? 0 : kSerialString), 1});
    return d;
}

std::vector<uint8_t> ConfigurationDescriptor(const UvcLayout& l, uint16_t bulkPacket) {
    std::vector<uint8_t> d = {USB_DT_CONFIG_SIZE, USB_DT_CONFIG, 0, 0, 2, 1, 0, USB_CONFIG_ATT_ONE, 250};
    d.insert(d.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, kControlInterface, 0, 0, USB_CLASS_VIDEO,
                       UVC_SC_VIDEOCONTROL, 0, kProductString});

    // Class-specific VideoControl descriptors.
    const size_t vcHeader = d.size();
    d.insert(d.end(), {13, USB_DT_CS_INTERFACE, UVC_VC_HEADER});
    Put16(d, 0x0100);         // UVC 1.00
    Put16(d, 0);              // total length, below
    Put32(d, 48000000);       // clock frequency
    d.insert(d.end(), {1, kStreamingInterface});
    d.insert(d.end(), {18, USB_DT_CS_INTERFACE, UVC_VC_INPUT_TERMINAL, kCameraTerminalId});
    Put16(d, UVC_ITT_CAMERA);
    d.insert(d.end(), {0, 0});
    Put16(d, 0);  // objective focal length min
    Put16(d, 0);  // max
    Put16(d, 0);  // ocular focal length
    d.push_back(3);
    Put24(d, l.cameraControls);
    d.insert(d.end(), {11, USB_DT_CS_INTERFACE, UVC_VC_PROCESSING_UNIT, kProcessingUnitId, kCameraTerminalId});
    Put16(d, 0);  // no digital multiplier
    d.push_back(2);
    Put16(d, l.processingControls);
    d.push_back(0);
    uint8_t last = kProcessingUnitId;
    if (l.extensionUnit) {
        d.insert(d.end(), {27, USB_DT_CS_INTERFACE, UVC_VC_EXTENSION_UNIT, kExtensionUnitId});
        PutGuid(d, platform::ks::kExtensionUnitSet);
        d.push_back(static_cast<uint8_t>(__builtin_popcount(l.extensionControls)));
        d.insert(d.end(), {1, kProcessingUnitId, 2});
        Put16(d, l.extensionControls);
        d.push_back(0);
        last = kExtensionUnitId;
    }
    d.insert(d.end(), {9, USB_DT_CS_INTERFACE, UVC_VC_OUTPUT_TERMINAL, kOutputTerminalId});
    Put16(d, UVC_TT_STREAMING);
    d.insert(d.end(), {0, last, 0});
    Set16(d, vcHeader + 5, static_cast<uint32_t>(d.size() - vcHeader));

    // VideoStreaming: the input header, each format with its frames.
    d.insert(d.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, kStreamingInterface, 0, 1, USB_CLASS_VIDEO,
                       UVC_SC_VIDEOSTREAMING, 0, 0});
    const size_t vsHeader = d.size();
    d.insert(d.end(), {static_cast<uint8_t>(13 + l.formats.size()), USB_DT_CS_INTERFACE, UVC_VS_INPUT_HEADER,
                       static_cast<uint8_t>(l.formats.size())});
    Put16(d, 0);  // total length, below
    d.insert(d.end(), {kStreamEndpoint, 0, kOutputTerminalId, 0, 0, 0, 1});
    d.insert(d.end(), l.formats.size(), 0);  // no per-format controls
    for (size_t fi = 0; fi < l.formats.size(); ++fi) {
        const FormatLayout& f = l.formats[fi];
        const bool mjpeg = f.format == sim::PixelFormat::MJPG;
        const auto formatIndex = static_cast<uint8_t>(fi + 1);
        const auto frameCount = static_cast<uint8_t>(f.frames.size());
        if (mjpeg) {
            d.insert(d.end(), {11, USB_DT_CS_INTERFACE, UVC_VS_FORMAT_MJPEG, formatIndex, frameCount, 0x01, 1, 0, 0,
                               0, 0});
        } else {
            d.insert(d.end(), {27, USB_DT_CS_INTERFACE, UVC_VS_FORMAT_UNCOMPRESSED, formatIndex, frameCount});
            PutGuid(d, sim::PixelFormatSubtype(f.format));
            d.insert(d.end(), {BitsPerPixel(f.format), 1, 0, 0, 0, 0});
        }
        for (size_t k = 0; k < f.frames.size(); ++k) {
            const FrameLayout& fr = f.frames[k];
            d.insert(d.end(), {static_cast<uint8_t>(26 + 4 * fr.rates.size()), USB_DT_CS_INTERFACE,
                               static_cast<uint8_t>(mjpeg ? UVC_VS_FRAME_MJPEG : UVC_VS_FRAME_UNCOMPRESSED),
                               static_cast<uint8_t>(k + 1), 0});
            Put16(d, fr.width);
            Put16(d, fr.height);
            const uint64_t bits = uint64_t{fr.maxFrameBytes} * 8;
            const FrameRate& fastest = fr.rates.front();
            const FrameRate& slowest = fr.rates.back();
            Put32(d, static_cast<uint32_t>(std::min<uint64_t>(bits * slowest.numerator / slowest.denominator, 0xFFFFFFFFu)));
            Put32(d, static_cast<uint32_t>(std::min<uint64_t>(bits * fastest.numerator / fastest.denominator, 0xFFFFFFFFu)));
            Put32(d, fr.maxFrameBytes);
            Put32(d, fr.defaultInterval);
            d.push_back(static_cast<uint8_t>(fr.rates.size()));
            for (const FrameRate& r : fr.rates) Put32(d, r.interval);
        }
    }
    Set16(d, vsHeader + 4, static_cast<uint32_t>(d.size() - vsHeader));
    d.insert(d.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, kStreamEndpoint, USB_ENDPOINT_XFER_BULK});
    Put16(d, bulkPacket);
    d.push_back(0);
    Set16(d, 2, static_cast<uint32_t>(d.size()));
    return d;
}

void FitConfiguration(UvcLayout& l, size_t limit) {
    l.leftOut.clear();
    if (ConfigurationDescriptor(l, kHighSpeedBulkPacket).size() <= limit) return;
    const std::vector<FormatLayout> all = std::move(l.formats);
    auto name = [](const FormatLayout& f, const FrameLayout& fr) {
        return std::string(sim::PixelFormatName(f.format)) + " " + std::to_string(fr.width) + "x" +
               std::to_string(fr.height);
    };
    // The formats by preference, then the world's order.
    std::vector<const FormatLayout*> order;
    for (sim::PixelFormat p : {sim::PixelFormat::YUY2, sim::PixelFormat::MJPG, sim::PixelFormat::NV12,
                               sim::PixelFormat::UYVY}) {
        for (const FormatLayout& f : all) {
            if (f.format == p) order.push_back(&f);
        }
    }
    l.formats.clear();
    auto fits = [&] { return ConfigurationDescriptor(l, kHighSpeedBulkPacket).size() <= limit; };
    // First one size of each format, then the other sizes.
    std::vector<const FormatLayout*> kept;
    for (const FormatLayout* f : order) {
        l.formats.push_back(FormatLayout{f->format, {f->frames.front()}});
        if (fits()) {
            kept.push_back(f);
        } else {
            l.formats.pop_back();
        }
    }
    for (size_t i = 0; i < kept.size(); ++i) {
        for (size_t k = 1; k < kept[i]->frames.size(); ++k) {
            l.formats[i].frames.push_back(kept[i]->frames[k]);
            if (!fits()) l.formats[i].frames.pop_back();
        }
    }
    for (const FormatLayout* f : order) {
        const auto shown = std::find_if(l.formats.begin(), l.formats.end(),
                                        [&](const FormatLayout& x) { return x.format == f->format; });
        for (const FrameLayout& fr : f->frames) {
            const bool there = shown != l.formats.end() &&
                               std::any_of(shown->frames.begin(), shown->frames.end(), [&](const FrameLayout& x) {
                                   return x.width == fr.width && x.height == fr.height;
                               });
            if (!there) l.leftOut.push_back(name(*f, fr));
        }
    }
}

std::vector<uint8_t> StringDescriptor(const UvcLayout& l, uint8_t index) {
    std::vector<uint8_t> d = {0, USB_DT_STRING};
    if (index == 0) {
        Put16(d, 0x0409);
    } else {
        const std::string* text = index == kManufacturerString ? &l.manufacturer
                                  : index == kProductString    ? &l.product
                                  : index == kSerialString && !l.serial.empty() ? &l.serial
                                                                                : nullptr;
        if (text == nullptr) return {};
        // UTF-8 to UTF-16LE, characters beyond the basic plane as pairs.
        const std::string& s = *text;
        for (size_t i = 0; i < s.size() && d.size() + 4 <= 254;) {
            uint32_t c = static_cast<uint8_t>(s[i]);
            size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            if (extra > 0) c &= 0x3Fu >> extra;
            ++i;
            for (; extra > 0 && i < s.size(); --extra, ++i) c = (c << 6) | (static_cast<uint8_t>(s[i]) & 0x3Fu);
            if (c >= 0x10000) {
                c -= 0x10000;
                Put16(d, 0xD800 | (c >> 10));
                Put16(d, 0xDC00 | (c & 0x3FF));
            } else {
                Put16(d, c);
            }
        }
    }
    d[0] = static_cast<uint8_t>(d.size());
    return d;
}

}  // namespace sv::gadget
