// The Python module `sorvansdk`: the library's public interface for Python.
//
// Like svcam, it uses only include/sorvansdk/SorvanSDK.h and links the shared
// library. Every library call runs with the GIL released, so a call that waits
// (a frame, a start, an upgrade, a camera held by another thread) never holds
// up other Python threads; upgrade progress comes back to Python with the GIL
// taken again. A failed call raises sorvansdk.Error with the result in `code`
// and the exported function's name in `function`.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sorvansdk/SorvanSDK.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// ---- errors ------------------------------------------------------------------

// A library call that failed; becomes sorvansdk.Error on the way out.
struct LibraryError {
    int code;
    std::string function;
    std::string message;
};

py::handle& ErrorType() {
    static py::handle type;  // owned by the module (a strong reference kept there)
    return type;
}

[[noreturn]] void Fail(int code, const std::string& function, const std::string& detail = {}) {
    std::string message = function + " failed (result " + std::to_string(code) + ")";
    if (!detail.empty()) message += ": " + detail;
    throw LibraryError{code, function, message};
}

// Runs one library call without the GIL.
template <typename F>
auto Unlocked(F&& call) {
    py::gil_scoped_release release;
    return call();
}

// Runs one library call without the GIL and raises on a result other than 0.
template <typename F>
void Checked(const char* function, F&& call) {
    const int result = Unlocked(std::forward<F>(call));
    if (result != 0) Fail(result, function);
}

// ---- names -------------------------------------------------------------------


const char* ProductName(SV_CAMERA_PRODUCT_TYPE type) {
    switch (type) {
    case SV_PRODUCT_TYPE_KIVO: return "KIVO";
    case SV_PRODUCT_TYPE_LIRA: return "LIRA";
    case SV_PRODUCT_TYPE_UVC: return "UVC";
    case SV_PRODUCT_TYPE_NONE: break;
    }
    return "NONE";
}

const char* SpeedName(SV_USB_DEVICE_SPEED speed) {
    switch (speed) {
    case SV_USB_LOW_SPEED: return "LowSpeed";
    case SV_USB_FULL_SPEED: return "FullSpeed";
    case SV_USB_HIGH_SPEED: return "HighSpeed";
    case SV_USB_SUPER_SPEED: return "SuperSpeed";
    }
    return "NA";
}

// The control names of svcam: the UVC standard controls and the ISP properties
// of the maker cameras.
struct ControlName {
    bool isp;
    int id;
    const char* name;
};

const std::vector<ControlName>& Controls() {
    static const std::vector<ControlName> table = {
        {false, SV_UVC_BRIGHTNESS, "brightness"},
        {false, SV_UVC_CONTRAST, "contrast"},
        {false, SV_UVC_HUE, "hue"},
        {false, SV_UVC_SATURATION, "saturation"},
        {false, SV_UVC_SHARPNESS, "sharpness"},
        {false, SV_UVC_GAMMA, "gamma"},
        {false, SV_UVC_COLOR_ENABLE, "color-enable"},
        {false, SV_UVC_WHITE_BALANCE, "white-balance"},
        {false, SV_UVC_BACKLIGHT_COMPENSATION, "backlight-compensation"},
        {false, SV_UVC_GAIN, "gain"},
        {false, SV_UVC_PAN, "pan"},
        {false, SV_UVC_TILT, "tilt"},
        {false, SV_UVC_ROLL, "roll"},
        {false, SV_UVC_ZOOM, "zoom"},
        {false, SV_UVC_EXPOSURE, "exposure"},
        {false, SV_UVC_IRIS, "iris"},
        {false, SV_UVC_FOCUS, "focus"},
        {true, SV_ISP_BRIGHTNESS, "brightness"},
        {true, SV_ISP_CONTRAST, "contrast"},
        {true, SV_ISP_SATURATION, "saturation"},
        {true, SV_ISP_WHITE_BALANCE_MODE, "white-balance-mode"},
        {true, SV_ISP_WHITE_BALANCE_TEMPERATURE, "white-balance-temperature"},
        {true, SV_ISP_EXPOSURE_MODE, "exposure-mode"},
        {true, SV_ISP_EXPOSURE_TIME, "exposure"},
        {true, SV_ISP_EXPOSURE_MIN_TIME, "exposure-min"},
        {true, SV_ISP_EXPOSURE_MAX_TIME, "exposure-max"},
        {true, SV_ISP_EXPOSURE_GAIN, "gain"},
        {true, SV_ISP_GAMMA, "gamma"},
        {true, SV_ISP_SHARPNESS, "sharpness"},
        {true, SV_ISP_BACKLIGHT_COMPENSATION, "backlight-compensation"},
        {true, SV_ISP_SPECIAL_EFFECT, "special-effect"},
        {true, SV_ISP_DENOISE, "denoise"},
        {true, SV_ISP_FLIP_MODE, "flip"},
        {true, SV_ISP_PAN, "pan"},
        {true, SV_ISP_TILT, "tilt"},
        {true, SV_ISP_ZOOM, "zoom"},
        {true, SV_ISP_FLICK_MODE, "flicker-mode"},
        {true, SV_ISP_JPEG_QUALITY, "jpeg-quality"},
        {true, SV_ISP_EHDR_MODE, "ehdr-mode"},
        {true, SV_ISP_EHDR_EXPOSURE_MIN_NUMBER, "ehdr-exposure-min"},
        {true, SV_ISP_EHDR_EXPOSURE_MAX_NUMBER, "ehdr-exposure-max"},
        {true, SV_ISP_EHDR_RATIO_MIN, "ehdr-ratio-min"},
        {true, SV_ISP_EHDR_RATIO_MAX, "ehdr-ratio-max"},
        {true, SV_ISP_EHDR_ATM_WEIGHT, "ehdr-atm-weight"},
        {true, SV_ISP_EHDR_ATM_MAX, "ehdr-atm-max"},
    };
    return table;
}

// "brightness" is the UVC control; a name only the ISP has is the ISP
// property; "uvc.NAME" and "isp.NAME" choose the unit.
ControlName FindControl(const std::string& name) {
    std::optional<bool> unit;
    std::string bare = name;
    if (name.rfind("uvc.", 0) == 0) unit = false, bare = name.substr(4);
    if (name.rfind("isp.", 0) == 0) unit = true, bare = name.substr(4);
    for (bool isp : {false, true}) {
        if (unit && *unit != isp) continue;
        for (const auto& c : Controls()) {
            if (c.isp == isp && bare == c.name) return c;
        }
    }
    throw py::key_error("unknown control '" + name + "' (sorvansdk.control_names() lists them)");
}

std::vector<std::string> ControlNames() {
    std::vector<std::string> names;
    for (const auto& c : Controls()) names.push_back(std::string(c.isp ? "isp." : "uvc.") + c.name);
    return names;
}

SV_FX3_FW_TARGET Fx3Target(const std::string& target) {
    if (target == "ram") return SV_FX3_FW_TARGET_RAM;
    if (target == "i2c") return SV_FX3_FW_TARGET_I2C_EEPROM;
    if (target == "spi") return SV_FX3_FW_TARGET_SPI_FLASH;
    throw py::value_error("unknown target '" + target + "' (ram, i2c or spi)");
}

// ---- named tuples ------------------------------------------------------------

struct TupleTypes {
    py::object format;
    py::object controlValue;
    py::object controlRange;
};

TupleTypes& Tuples() {
    static TupleTypes* types = new TupleTypes();  // lives as long as the interpreter
    return *types;
}

// ---- frames ------------------------------------------------------------------

// Bytes of one uncompressed frame, 0 for a format without a fixed size.
std::size_t FrameBytes(const SvFormat& f) {
    const std::size_t pixels = std::size_t{f.width} * f.height;
    switch (f.format) {
    case SV_IMAGE_FORMAT_YUY2:
    case SV_IMAGE_FORMAT_UYVY: return pixels * 2;
    case SV_IMAGE_FORMAT_NV12: return pixels * 3 / 2;
    default: return 0;
    }
}

py::array_t<uint8_t> NewFrame(const SvFormat* format, std::size_t bytes) {
    if (format && FrameBytes(*format) == bytes) {
        const auto h = static_cast<py::ssize_t>(format->height);
        const auto w = static_cast<py::ssize_t>(format->width);
        if (format->format == SV_IMAGE_FORMAT_NV12) return py::array_t<uint8_t>({h * 3 / 2, w});
        return py::array_t<uint8_t>({h, w, py::ssize_t{2}});
    }
    return py::array_t<uint8_t>(static_cast<py::ssize_t>(bytes));
}

// The array as 1-D bytes cut down to `size`, in place (the allocation shrinks;
// the bytes are not copied).
void Shrink(py::array_t<uint8_t>& frame, int size) {
    frame.attr("resize")(size, py::arg("refcheck") = false);
}

uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// BT.601 studio range to full-range RGB, in fixed point.
inline void YuvToRgb(int y, int u, int v, uint8_t* out) {
    const int c = 298 * (y - 16) + 128;
    const int d = u - 128;
    const int e = v - 128;
    out[0] = Clamp((c + 409 * e) >> 8);
    out[1] = Clamp((c - 100 * d - 208 * e) >> 8);
    out[2] = Clamp((c + 516 * d) >> 8);
}

py::array_t<uint8_t> ToRgb(const py::array_t<uint8_t, py::array::c_style | py::array::forcecast>& frame,
                           const std::string& fmt, int width, int height) {
    if (width <= 0 || height <= 0 || width % 2) {
        throw py::value_error("width must be even and positive, height positive");
    }
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    std::size_t need = 0;
    if (fmt == "YUY2" || fmt == "UYVY") need = w * h * 2;
    else if (fmt == "NV12") need = w * h + w * ((h + 1) / 2);
    else throw py::value_error("to_rgb converts YUY2, UYVY and NV12, not '" + fmt + "'");
    const auto have = static_cast<std::size_t>(frame.size());
    if (have < need) {
        throw py::value_error(fmt + " " + std::to_string(width) + "x" + std::to_string(height) + " needs " +
                              std::to_string(need) + " bytes, the frame has " + std::to_string(have));
    }
    py::array_t<uint8_t> rgb({static_cast<py::ssize_t>(h), static_cast<py::ssize_t>(w), py::ssize_t{3}});
    const uint8_t* in = frame.data();
    uint8_t* out = rgb.mutable_data();
    {
        py::gil_scoped_release release;
        if (fmt == "NV12") {
            const uint8_t* chroma = in + w * h;
            for (std::size_t row = 0; row < h; ++row) {
                for (std::size_t x = 0; x < w; ++x) {
                    const uint8_t* uv = chroma + (row / 2) * w + (x & ~std::size_t{1});
                    YuvToRgb(in[row * w + x], uv[0], uv[1], out + (row * w + x) * 3);
                }
            }
        } else {
            const bool yuy2 = fmt == "YUY2";
            for (std::size_t i = 0; i < w * h; i += 2) {
                const uint8_t* p = in + i * 2;
                const int y0 = yuy2 ? p[0] : p[1], y1 = yuy2 ? p[2] : p[3];
                const int u = yuy2 ? p[1] : p[0], v = yuy2 ? p[3] : p[2];
                YuvToRgb(y0, u, v, out + i * 3);
                YuvToRgb(y1, u, v, out + i * 3 + 3);
            }
        }
    }
    return rgb;
}

// ---- bootdata headers ----------------------------------------------------------

std::string FieldText(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

py::dict HeaderDict(const SvHeaderV2& h) {
    py::dict d;
    d["header_version"] = h.headerVersion;
    d["content_offset"] = uint16_t{h.contentOffset};
    d["product_name"] = FieldText(h.productName, sizeof(h.productName));
    d["product_version"] = h.productVersion;
    d["head_info"] = FieldText(h.headInfo, sizeof(h.headInfo));
    d["lens_version"] = h.lensVersion;
    d["content_version"] = h.contentVersion;
    d["content_checksum"] = uint32_t{h.contentChecksum};
    d["content_len"] = uint32_t{h.contentLen};
    d["pll_bootdata_len"] = uint16_t{h.pllBootdataLen};
    return d;
}

py::dict HeaderDict(const SvHeaderV3& h) {
    py::dict d;
    d["header_version"] = h.headerVersion;
    d["content_offset"] = uint16_t{h.contentOffset};
    d["sensor_type"] = uint16_t{h.sensorType};
    d["sensor_fuse_id"] = py::bytes(reinterpret_cast<const char*>(h.sensorFuseId), sizeof(h.sensorFuseId));
    d["product_name"] = FieldText(h.productName, sizeof(h.productName));
    d["lens_id"] = py::bytes(reinterpret_cast<const char*>(h.lensId), sizeof(h.lensId));
    d["fix_checksum"] = uint16_t{h.fixChecksum};
    d["zn_fw_version"] = py::make_tuple(h.znFwVersion[0], h.znFwVersion[1]);
    d["vendor_fw_version"] = uint16_t{h.vendorFwVersion};
    d["custom_number"] = uint16_t{h.customNumber};
    d["record_time"] = py::make_tuple(h.recordYear, h.recordMonth, h.recordDay, h.recordHour, h.recordMinute,
                                      h.recordSecond);
    d["mipi_datarate"] = uint16_t{h.mipiDatarate};
    d["content_len"] = uint32_t{h.contentLen};
    d["content_checksum"] = uint16_t{h.contentChecksum};
    d["total_checksum"] = uint16_t{h.totalChecksum};
    return d;
}

py::dict HeaderFromFile(const std::string& path) {
    // The first byte of a bootdata image is its header version.
    std::ifstream in(path, std::ios::binary);
    char version = 0;
    if (!in.get(version)) throw py::value_error("cannot read a bootdata header from " + path);
    if (version == 2) {
        auto header = std::make_unique<SvHeaderV2>();  // the library fills the caller's header
        Checked("SvGetBootdataHeaderV2FromFile", [&] { return SvGetBootdataHeaderV2FromFile(path, header); });
        return HeaderDict(*header);
    }
    auto header = std::make_unique<SvHeaderV3>();  // the library fills the caller's header
    Checked("SvGetBootdataHeaderV3FromFile", [&] { return SvGetBootdataHeaderV3FromFile(path, header); });
    return HeaderDict(*header);
}

// ---- upgrade progress ------------------------------------------------------------

// Forwards progress to a Python callable with the GIL held. An exception the
// callable raises cannot stop the upgrade: the first one is kept and raised
// when the upgrade returns.
class Progress {
public:
    explicit Progress(py::object callback) : callback_(std::move(callback)) {}
    ~Progress() {
        py::gil_scoped_acquire gil;
        error_.reset();
        callback_ = py::object();
    }

    std::function<void(int)> Function() {
        if (callback_.is_none()) return [](int) {};
        return [this](int value) {
            py::gil_scoped_acquire gil;
            if (error_) return;
            try {
                callback_(value);
            } catch (py::error_already_set& e) {
                error_ = std::move(e);
            }
        };
    }
    // With the GIL held, after the upgrade.
    void RaiseIfFailed() {
        if (error_) {
            py::error_already_set e = std::move(*error_);
            error_.reset();
            throw e;
        }
    }

private:
    py::object callback_;
    std::optional<py::error_already_set> error_;
};

template <typename F>
void Upgrade(const char* function, py::object callback, F&& call) {
    Progress progress(std::move(callback));
    auto forward = progress.Function();
    const int result = Unlocked([&] { return call(forward); });
    progress.RaiseIfFailed();
    if (result != 0) Fail(result, function);
}

// ---- cameras -------------------------------------------------------------------

class Camera {
public:
    explicit Camera(int index) : index_(index) {
        camera_ = Unlocked([&] { return SvInitialCameraDevice(index); });
        if (!camera_) Fail(-1, "SvInitialCameraDevice", "no camera with index " + std::to_string(index));
    }

    // A camera still open when Python lets it go is closed.
    ~Camera() {
        if (open_) Unlocked([&] { return SvClose(camera_); });
    }
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    int Index() const { return index_; }
    bool IsOpen() const { return open_; }

    void Open() {
        if (open_) return;
        Checked("SvOpen", [&] { return SvOpen(camera_); });
        open_ = true;
    }
    void Close() {
        if (!open_) return;
        open_ = false;
        Checked("SvClose", [&] { return SvClose(camera_); });
    }

    std::string Name() const { return Text("SvGetDeviceName", SvGetDeviceName); }
    std::string Path() const { return Text("SvGetDevicePath", SvGetDevicePath); }
    std::string HardwareId() const { return Text("SvGetHardwareID", SvGetHardwareID); }
    std::string ProductType() const {
        SV_CAMERA_PRODUCT_TYPE type = SV_PRODUCT_TYPE_NONE;
        Checked("SvGetDeviceProductType", [&] { return SvGetDeviceProductType(camera_, type); });
        return ProductName(type);
    }
    std::string UsbSpeed() const {
        SV_USB_DEVICE_SPEED speed = SV_USB_LOW_SPEED;
        Checked("SvGetUSBDeviceSpeed", [&] { return SvGetUSBDeviceSpeed(camera_, speed); });
        return SpeedName(speed);
    }
    bool IsMaker() const {
        return Unlocked([&] { return SvIsSorvanCamera(camera_); }) == 0;
    }

    // ---- formats and frames

    py::list Formats() {
        std::vector<SvFormat> formats;
        Checked("SvGetFormatList", [&] { return SvGetFormatList(camera_, formats); });
        formats_ = formats;
        py::list list;
        for (std::size_t i = 0; i < formats.size(); ++i) {
            const auto& f = formats[i];
            list.append(Tuples().format(i, f.width, f.height, f.framerate, SvPixelFormatName(f.format)));
        }
        return list;
    }

    // `format`: an index into formats() or one of its entries.
    void SetFormat(const py::object& format) {
        if (formats_.empty()) Formats();
        const auto index = py::isinstance<py::int_>(format) ? format.cast<long>() : format.attr("index").cast<long>();
        if (index < 0 || index >= static_cast<long>(formats_.size())) {
            throw py::index_error("no format with index " + std::to_string(index) + " (the camera has " +
                                  std::to_string(formats_.size()) + ")");
        }
        const SvFormat chosen = formats_[static_cast<std::size_t>(index)];
        Checked("SvSetFormat", [&] { return SvSetFormat(camera_, chosen); });
        current_ = chosen;
    }

    void Start() {
        Checked("SvStartStreaming", [&] { return SvStartStreaming(camera_); });
    }
    void Stop() {
        Checked("SvStopStreaming", [&] { return SvStopStreaming(camera_); });
    }

    // One frame in the selected format's own layout; the library writes it
    // straight into the returned array.
    // Into the caller's own array: no allocation per frame. The array is
    // returned when the frame fills it, else a 1-D view of the frame's bytes.
    py::array GetImageInto(int timeoutMs, py::array_t<uint8_t> out) {
        if (timeoutMs < 0 || timeoutMs > 65535) throw py::value_error("timeout_ms must be 0 to 65535");
        if ((out.flags() & py::array::c_style) == 0 || !out.writeable()) {
            throw py::value_error("out must be a writeable, C-contiguous uint8 array");
        }
        const std::size_t capacity = static_cast<std::size_t>(out.nbytes());
        if (capacity == 0 || capacity > static_cast<std::size_t>(INT32_MAX)) throw py::value_error("out has no usable size");
        int size = static_cast<int>(capacity);
        uint8_t* data = out.mutable_data();
        auto camera = camera_;
        const SV_CAPTURE_RESULT result =
            Unlocked([&] { return SvGetImage(camera, data, &size, static_cast<uint16_t>(timeoutMs)); });
        if (result == SV_CAPTURE_FAILED && size > static_cast<int>(capacity)) {
            // The library keeps the frame for a call with a large enough buffer.
            throw py::value_error("the frame has " + std::to_string(size) + " bytes; out holds " +
                                  std::to_string(capacity));
        }
        if (result != SV_CAPTURE_SUCCESS) Fail(result, "SvGetImage", CaptureText(result));
        if (static_cast<std::size_t>(size) == capacity) return std::move(out);
        return out.reshape({static_cast<py::ssize_t>(capacity)})[py::slice(0, size, 1)];
    }

    py::array GetImage(int timeoutMs, std::optional<py::array_t<uint8_t>> out) {
        if (out) return GetImageInto(timeoutMs, std::move(*out));
        return GetImageNew(timeoutMs);
    }

    py::array_t<uint8_t> GetImageNew(int timeoutMs) {
        if (timeoutMs < 0 || timeoutMs > 65535) throw py::value_error("timeout_ms must be 0 to 65535");
        const std::optional<SvFormat> format = current_;
        std::size_t capacity = format ? FrameBytes(*format) : 0;
        if (capacity == 0) capacity = LargestFrame();
        auto frame = NewFrame(format ? &*format : nullptr, capacity);
        auto camera = camera_;
        for (;;) {
            int size = static_cast<int>(capacity);
            uint8_t* data = frame.mutable_data();
            const SV_CAPTURE_RESULT result = Unlocked(
                [&] { return SvGetImage(camera, data, &size, static_cast<uint16_t>(timeoutMs)); });
            if (result == SV_CAPTURE_FAILED && size > static_cast<int>(capacity)) {
                // The frame is larger than expected and kept for a larger buffer.
                capacity = static_cast<std::size_t>(size);
                frame = py::array_t<uint8_t>(static_cast<py::ssize_t>(capacity));
                continue;
            }
            if (result != SV_CAPTURE_SUCCESS) Fail(result, "SvGetImage", CaptureText(result));
            if (static_cast<std::size_t>(size) == capacity && frame.ndim() > 1) return frame;
            Shrink(frame, size);  // compressed, or not the size of the selected format: the bytes
            return frame;
        }
    }

    // ---- controls

    py::object GetControl(const std::string& name) {
        const ControlName c = FindControl(name);
        if (c.isp) {
            int value = 0, flag = 0;
            Checked("SvGetISPImageProcessing", [&] {
                return SvGetISPImageProcessing(camera_, static_cast<SV_ISP_IMAGE_PROPERTIES>(c.id), value, flag);
            });
            return Tuples().controlValue(value, flag == 1);
        }
        long value = 0;
        int flag = 0;
        Checked("SvGetUVCImageProcessing", [&] {
            return SvGetUVCImageProcessing(camera_, static_cast<SV_UVC_IMAGE_PROPERTIES>(c.id), value, flag);
        });
        return Tuples().controlValue(value, flag == 1);
    }

    void SetControl(const std::string& name, long value, bool automatic) {
        const ControlName c = FindControl(name);
        if (c.isp) {
            if (automatic) throw py::value_error("ISP properties take no automatic flag: set their mode control");
            if (value < INT32_MIN || value > INT32_MAX) throw py::value_error("value out of range");
            Checked("SvSetISPImageProcessing", [&] {
                return SvSetISPImageProcessing(camera_, static_cast<SV_ISP_IMAGE_PROPERTIES>(c.id),
                                               static_cast<int>(value));
            });
            return;
        }
        Checked("SvSetUVCImageProcessing", [&] {
            return SvSetUVCImageProcessing(camera_, static_cast<SV_UVC_IMAGE_PROPERTIES>(c.id), value,
                                           automatic ? 1 : 0);
        });
    }

    py::object ControlRange(const std::string& name) {
        const ControlName c = FindControl(name);
        if (c.isp) {
            int mn = 0, mx = 0, st = 0, df = 0;
            Checked("SvGetISPImageProcessingRange", [&] {
                return SvGetISPImageProcessingRange(camera_, static_cast<SV_ISP_IMAGE_PROPERTIES>(c.id), mn, mx, st,
                                                    df);
            });
            return Tuples().controlRange(mn, mx, st, df);
        }
        long mn = 0, mx = 0, st = 0, df = 0;
        Checked("SvGetUVCImageProcessingRange", [&] {
            return SvGetUVCImageProcessingRange(camera_, static_cast<SV_UVC_IMAGE_PROPERTIES>(c.id), mn, mx, st, df);
        });
        return Tuples().controlRange(mn, mx, st, df);
    }

    void ResetIspDefaults() {
        Checked("SvSetISPImageProcessingDefault", [&] { return SvSetISPImageProcessingDefault(camera_); });
    }

    // ---- maker cameras

    std::string UsbFirmwareVersion() const { return Text("SvGetUSBFirmwareVersion", SvGetUSBFirmwareVersion); }
    std::string SensorFirmwareVersion() const {
        return Text("SvGetSensorFirmwareVersion", SvGetSensorFirmwareVersion);
    }
    std::string LumoFirmwareVersion() const { return Text("SvGetLUMOFirmwareVersion", SvGetLUMOFirmwareVersion); }
    std::string SensorUniqueId() const { return Text("SvGetSensorUniqueID", SvGetSensorUniqueID); }

    py::dict BootdataHeader() {
        const int version = Unlocked([&] { return SvGetHeaderVersion(camera_); });
        if (version == 2) {
            auto header = std::make_unique<SvHeaderV2>();  // the library fills the caller's header
            Checked("SvGetBootdataHeaderV2", [&] { return SvGetBootdataHeaderV2(camera_, header); });
            return HeaderDict(*header);
        }
        if (version == 3) {
            auto header = std::make_unique<SvHeaderV3>();  // the library fills the caller's header
            Checked("SvGetBootdataHeaderV3", [&] { return SvGetBootdataHeaderV3(camera_, header); });
            return HeaderDict(*header);
        }
        Fail(version < 0 ? version : -1, "SvGetHeaderVersion", "header version " + std::to_string(version));
    }

    std::string OspProfile() const { return Text("SvGetOSPProfileConfig", SvGetOSPProfileConfig); }
    int ProfileFlag() const {
        SV_OSP_PROFILE_FLAG flag = SV_OSP_PROFILE_FLAG_NONE;
        Checked("SvGetOSPProfileFlag", [&] { return SvGetOSPProfileFlag(camera_, flag); });
        return static_cast<int>(flag);
    }
    void SetProfileFlag(int flag) {
        if (flag < 0 || flag > 255) throw py::value_error("the profile flag is a byte, 0 to 255");
        Checked("SvSetOSPProfileFlag",
                [&] { return SvSetOSPProfileFlag(camera_, static_cast<SV_OSP_PROFILE_FLAG>(flag)); });
    }
    void ResetOspProfile() { Checked("SvResetOSPProfileConfig", [&] { return SvResetOSPProfileConfig(camera_); }); }
    void LoadProfile(const std::string& text) {
        Checked("SvLoadProfileConfig", [&] { return SvLoadProfileConfig(camera_, text); });
    }
    void ActivateImageProcessing() {
        Checked("SvActivateProfileImageProcessing", [&] { return SvActivateProfileImageProcessing(camera_); });
    }
    void ActivateStreaming() {
        Checked("SvActivateProfileStreaming", [&] { return SvActivateProfileStreaming(camera_); });
        current_.reset();  // the document chose the format: frames come as bytes
    }
    void Activate() {
        ActivateImageProcessing();
        ActivateStreaming();
    }
    void ExportSensorConfig(const std::string& path) {
        Checked("SvExportSensorConfig", [&] { return SvExportSensorConfig(camera_, path); });
    }

    void CheckSensorFirmwareImage(const std::string& path) {
        Checked("SvCheckSensorFWImage", [&] { return SvCheckSensorFWImage(camera_, path); });
    }
    // With an image, it is checked as the upgrade checks it before anything is erased.
    void CleanSensorFirmware(const std::optional<std::string>& image) {
        if (image) CheckSensorFirmwareImage(*image);
        Checked("SvCleanSensorFW", [&] { return SvCleanSensorFW(camera_); });
    }
    void UpgradeSensorFirmware(const std::string& path, py::object progress) {
        auto camera = camera_;
        Upgrade("SvUpgradeSensorFW", std::move(progress),
                [&](const std::function<void(int)>& forward) { return SvUpgradeSensorFW(camera, path, forward); });
    }
    void GotoFx3ProgramMode() { Checked("SvGotoFX3ProgramMode", [&] { return SvGotoFX3ProgramMode(camera_); }); }

    std::string Repr() const {
        return "<sorvansdk.Camera " + std::to_string(index_) + (open_ ? " open" : " closed") + ">";
    }

private:
    std::string Text(const char* function, int (*call)(std::shared_ptr<SvCamera>, std::string&)) const {
        std::string text;
        Checked(function, [&] { return call(camera_, text); });
        return text;
    }

    // Room for the largest frame the camera lists, when the format is not known.
    std::size_t LargestFrame() {
        if (formats_.empty()) {
            std::vector<SvFormat> formats;
            if (Unlocked([&] { return SvGetFormatList(camera_, formats); }) == 0) formats_ = formats;
        }
        std::size_t largest = 1 << 20;
        for (const auto& f : formats_) largest = std::max(largest, std::size_t{f.width} * f.height * 3);
        return largest;
    }

    static std::string CaptureText(SV_CAPTURE_RESULT result) {
        switch (result) {
        case SV_CAPTURE_TIMEOUT: return "no frame before the time-out";
        case SV_CAPTURE_DEVICE_ERROR: return "device error";
        case SV_CAPTURE_FAILED: return "capture failed (not streaming, stopped or closed)";
        default: return "platform error";
        }
    }

    int index_;
    std::shared_ptr<SvCamera> camera_;
    std::vector<SvFormat> formats_;
    std::optional<SvFormat> current_;
    bool open_ = false;
};

std::vector<std::string> Discover() {
    std::vector<std::string> names;
    const int count = Unlocked([&] { return SvDiscoverCameraDevices(names); });
    if (count < 0) Fail(count, "SvDiscoverCameraDevices");
    return names;
}

}  // namespace

PYBIND11_MODULE(sorvansdk, m) {
    m.doc() = "SorvanSDK for Python: USB video cameras, their formats, frames, controls, profiles and firmware.";
#ifdef SORVANSDK_VERSION
    m.attr("__version__") = SORVANSDK_VERSION;
#endif

    // sorvansdk.Error(message); `code` and `function` say which call failed and how.
    py::object error = py::reinterpret_steal<py::object>(
        PyErr_NewExceptionWithDoc("sorvansdk.Error",
                                  "A library call failed: `code` is its result, `function` the exported function.",
                                  PyExc_RuntimeError, nullptr));
    error.attr("code") = py::none();
    error.attr("function") = py::none();
    m.attr("Error") = error;
    ErrorType() = error;
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const LibraryError& e) {
            py::object instance = ErrorType()(e.message);
            instance.attr("code") = e.code;
            instance.attr("function") = e.function;
            PyErr_SetObject(ErrorType().ptr(), instance.ptr());
        }
    });

    auto namedtuple = py::module_::import("collections").attr("namedtuple");
    Tuples().format = namedtuple("Format", "index width height fps pixel_format", py::arg("module") = "sorvansdk");
    Tuples().controlValue = namedtuple("ControlValue", "value auto", py::arg("module") = "sorvansdk");
    Tuples().controlRange = namedtuple("ControlRange", "min max step default", py::arg("module") = "sorvansdk");
    m.attr("Format") = Tuples().format;
    m.attr("ControlValue") = Tuples().controlValue;
    m.attr("ControlRange") = Tuples().controlRange;

    m.attr("CAPTURE_TIMEOUT") = static_cast<int>(SV_CAPTURE_TIMEOUT);
    m.attr("CAPTURE_DEVICE_ERROR") = static_cast<int>(SV_CAPTURE_DEVICE_ERROR);
    m.attr("CAPTURE_FAILED") = static_cast<int>(SV_CAPTURE_FAILED);

    m.def("discover", &Discover, "Discovers the cameras; their display names, in index order.");
    m.def("control_names", &ControlNames, "Every control name, with its unit (uvc. or isp.).");
    m.def("to_rgb", &ToRgb, py::arg("frame"), py::arg("fmt"), py::arg("width"), py::arg("height"),
          "A YUY2, UYVY or NV12 frame as an RGB array of shape (height, width, 3) (BT.601 studio range).");
    m.def(
        "set_log_level",
        [](const std::string& level) {
            static const std::pair<const char*, SV_LOG_LEVEL> levels[] = {
                {"trace", SV_LOG_LEVEL_TRACE}, {"debug", SV_LOG_LEVEL_DEBUG}, {"info", SV_LOG_LEVEL_INFO},
                {"warn", SV_LOG_LEVEL_WARN},   {"error", SV_LOG_LEVEL_ERROR}, {"critical", SV_LOG_LEVEL_CRITICAL},
                {"off", SV_LOG_LEVEL_OFF}};
            for (const auto& [name, value] : levels) {
                if (level == name) return SvSetLogLevel(value);
            }
            throw py::value_error("unknown log level '" + level + "'");
        },
        py::arg("level"), "The library logger's level: trace, debug, info, warn, error, critical or off.");
    m.def(
        "set_log_file",
        [](const std::string& folder) { Checked("SvSetLogFile", [&] { return SvSetLogFile(folder); }); },
        py::arg("folder"), "Also logs to a rotating szlog.log in the folder.");
    m.def(
        "decode_sensor_config",
        [](const std::string& configPath, const std::string& jsonPath) {
            Checked("SvDecodeSensorConfig", [&] { return SvDecodeSensorConfig(configPath, jsonPath); });
        },
        py::arg("config_path"), py::arg("json_path"), "Writes a sensor configuration file as a profile document.");
    m.def("bootdata_header_from_file", &HeaderFromFile, py::arg("path"),
          "The bootdata header (version 2 or 3) at the start of an image file, as a dict.");
    m.def(
        "upgrade_fx3_firmware",
        [](const std::string& target, const std::string& path, py::object progress) {
            const SV_FX3_FW_TARGET t = Fx3Target(target);
            Upgrade("SvUpgradeFX3FW", std::move(progress), [&](const std::function<void(int)>& forward) {
                return SvUpgradeFX3FW(t, path, forward);
            });
        },
        py::arg("target"), py::arg("path"), py::arg("progress") = py::none(),
        "Downloads an image to a USB bridge in program mode: target 'ram', 'i2c' or 'spi'; progress(percent).");

    py::class_<Camera>(m, "Camera", "A camera by its discovery index; open it, or use it in a with block.")
        .def(py::init<int>(), py::arg("index"))
        .def("open", &Camera::Open)
        .def("close", &Camera::Close)
        .def("__enter__",
             [](Camera& self) -> Camera& {
                 self.Open();
                 return self;
             },
             py::return_value_policy::reference)
        .def("__exit__", [](Camera& self, py::args) { self.Close(); })
        .def("__repr__", &Camera::Repr)
        .def_property_readonly("index", &Camera::Index)
        .def_property_readonly("is_open", &Camera::IsOpen)
        .def_property_readonly("name", &Camera::Name)
        .def_property_readonly("path", &Camera::Path)
        .def_property_readonly("product_type", &Camera::ProductType, "'KIVO', 'LIRA', 'UVC' or 'NONE'")
        .def_property_readonly("hardware_id", &Camera::HardwareId)
        .def_property_readonly("usb_speed", &Camera::UsbSpeed, "'LowSpeed', 'FullSpeed', 'HighSpeed' or 'SuperSpeed'")
        .def_property_readonly("is_maker", &Camera::IsMaker, "Whether it is a KIVO or LIRA camera.")
        .def("formats", &Camera::Formats, "The capture formats, as Format tuples.")
        .def("set_format", &Camera::SetFormat, py::arg("format"), "Selects a format: a Format or its index.")
        .def("start", &Camera::Start)
        .def("stop", &Camera::Stop)
        .def("get_image", &Camera::GetImage, py::arg("timeout_ms") = 2000, py::arg("out") = py::none(),
             "The next frame as a uint8 array: (height, width, 2) for YUY2 and UYVY, (height*3/2, width) for NV12, "
             "the bytes for MJPG or when the format was not chosen with set_format. With `out` (a writeable, "
             "C-contiguous uint8 array) the frame goes into that array, which is returned when the frame fills it, "
             "else a 1-D view of the frame's bytes; a frame larger than `out` raises ValueError and is kept for "
             "the next call.")
        .def("get_control", &Camera::GetControl, py::arg("name"), "A control's ControlValue(value, auto).")
        .def("set_control", &Camera::SetControl, py::arg("name"), py::arg("value"), py::arg("auto") = false)
        .def("control_range", &Camera::ControlRange, py::arg("name"), "A control's ControlRange.")
        .def("reset_isp_defaults", &Camera::ResetIspDefaults)
        .def("usb_firmware_version", &Camera::UsbFirmwareVersion)
        .def("sensor_firmware_version", &Camera::SensorFirmwareVersion)
        .def("lumo_firmware_version", &Camera::LumoFirmwareVersion)
        .def("sensor_unique_id", &Camera::SensorUniqueId)
        .def("bootdata_header", &Camera::BootdataHeader, "The sensor board's bootdata header as a dict.")
        .def("osp_profile", &Camera::OspProfile, "The on-camera profile as JSON text.")
        .def_property("profile_flag", &Camera::ProfileFlag, &Camera::SetProfileFlag)
        .def("reset_osp_profile", &Camera::ResetOspProfile)
        .def("load_profile", &Camera::LoadProfile, py::arg("text"), "Loads a profile document (JSON text).")
        .def("activate_profile", &Camera::Activate, "Applies the loaded document's controls and format.")
        .def("activate_profile_image_processing", &Camera::ActivateImageProcessing)
        .def("activate_profile_streaming", &Camera::ActivateStreaming)
        .def("export_sensor_config", &Camera::ExportSensorConfig, py::arg("path"))
        .def("check_sensor_firmware_image", &Camera::CheckSensorFirmwareImage, py::arg("path"),
             "Raises sorvansdk.Error when upgrade_sensor_firmware would refuse the image; touches no device.")
        .def("clean_sensor_firmware", &Camera::CleanSensorFirmware, py::arg("image") = py::none(),
             "Erases the sensor board; given the image to be written, refuses first when the upgrade would.")
        .def("upgrade_sensor_firmware", &Camera::UpgradeSensorFirmware, py::arg("path"),
             py::arg("progress") = py::none(), "Writes a sensor board image; progress(percent) with the GIL held.")
        .def("goto_fx3_program_mode", &Camera::GotoFx3ProgramMode);
}
