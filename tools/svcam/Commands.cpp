#include "Commands.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <vector>

#include <map>

#include <nlohmann/json.hpp>
#include <sorvansdk/SorvanCam.h>
#include <sorvansdk/SorvanSDK.h>
#include <sorvansdk/SvResults.h>

#include "CameraSelect.h"
#include "ControlNames.h"
#include "FrameWriter.h"

namespace svcam {
namespace {

using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

// ---- helpers ---------------------------------------------------------------

std::vector<std::string> Discover() {
    std::vector<std::string> names;
    SvDiscoverCameraDevices(names);
    return names;
}

// "failed (result 3): the image has no CY signature (INVALID_FWSIGNATURE)":
// the result in words, from the library's table of its kind of result.
std::string Failed(int result, SV_RESULT_KIND kind = SV_RESULT_CALL) {
    std::string text = "failed (result " + std::to_string(result) + ")";
    if (const SvResultEntry* entry = SvFindResult(kind, result)) {
        text += std::string(": ") + entry->meaning;
        if (entry->name) text += std::string(" (") + entry->name + ")";
    }
    // The library says why in its log, which svcam leaves off unless asked.
    if (kind == SV_RESULT_CALL && result == -1) text += "; --log-level error shows the library's reason";
    return text;
}

// "cannot open PATH: No such file or directory", or "" when the file opens.
std::string UnopenableFile(const std::string& path) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (in.is_open()) return "";
    const int error = errno;
    return "cannot open " + path + (error ? std::string(": ") + std::strerror(error) : std::string());
}

// A failed call that was given a file: when the file cannot be opened, that is
// what the message names.
std::string FailedWithFile(int result, SV_RESULT_KIND kind, const std::string& path) {
    const std::string file = result == -1 ? UnopenableFile(path) : "";
    return file.empty() ? Failed(result, kind) : "failed (result -1): " + file;
}

void Check(int result, const std::string& call) {
    if (result != 0) throw CommandError(call + " " + Failed(result), kExitFailure);
}

// A camera created for one command; closed again when the command ends.
class CameraSession {
public:
    explicit CameraSession(const std::string& spec) {
        std::string error;
        if (!SelectCamera(spec, Discover(), choice_, error)) throw CommandError(error, kExitUsage);
        camera_ = SvInitialCameraDevice(choice_.index);
        if (!camera_) {
            throw CommandError("SvInitialCameraDevice(" + std::to_string(choice_.index) + ") gave no camera",
                               kExitFailure);
        }
    }
    ~CameraSession() {
        if (open_) SvClose(camera_);
    }
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    void Open() {
        if (open_) return;
        Check(SvOpen(camera_), "SvOpen(" + choice_.displayName + ")");
        open_ = true;
    }
    const std::shared_ptr<SvCamera>& Camera() const { return camera_; }
    const CameraChoice& Choice() const { return choice_; }
    bool IsMaker() const { return SvIsSorvanCamera(camera_) == 0; }

private:
    CameraChoice choice_;
    std::shared_ptr<SvCamera> camera_;
    bool open_ = false;
};

const char* KindName(SV_CAMERA_PRODUCT_TYPE type) {
    switch (type) {
    case SV_PRODUCT_TYPE_KIVO: return "KIVO";
    case SV_PRODUCT_TYPE_LIRA: return "LIRA";
    case SV_PRODUCT_TYPE_UVC: return "UVC";
    default: return "NONE";
    }
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

std::string Hex4(const std::string& text, std::size_t pos) {
    return text.size() >= pos + 4 ? text.substr(pos, 4) : "";
}

std::string Slug(const std::string& name) {
    std::string s;
    for (unsigned char c : name) s.push_back(std::isalnum(c) ? static_cast<char>(c) : '-');
    return s;
}

void PrintTable(const std::vector<std::string>& headers, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(headers.size());
    for (std::size_t c = 0; c < headers.size(); ++c) widths[c] = headers[c].size();
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t c = 0; c < headers.size(); ++c) {
            std::string cell = c < cells.size() ? cells[c] : "";
            if (c + 1 < headers.size()) cell.resize(widths[c], ' ');
            text += (c ? "  " : "") + cell;
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        std::cout << text << "\n";
    };
    line(headers);
    for (const auto& row : rows) line(row);
}

std::string Str(const json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_null()) return "-";
    return v.dump();
}

// ---- list ------------------------------------------------------------------

// The USB serial number of each device, by its device path, from the
// earlier interface's device list with location. The display name carries a
// serial only for the maker's cameras, and then only its last characters.
std::map<std::string, std::string> SerialsByPath() {
    std::map<std::string, std::string> serials;
    SorvanCam devices;
    std::vector<DeviceListData> list;
    if (devices.GetVideoDeviceListWithLocation(list) != 0) return serials;
    for (const auto& device : list) {
        // Device paths are ASCII; a path that is not is not matched.
        std::string path;
        for (wchar_t c : device.devicePath) path.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        if (!path.empty() && !device.serialNumber.empty()) serials[path] = device.serialNumber;
    }
    return serials;
}

json ListData() {
    json cameras = json::array();
    const auto names = Discover();
    const auto serials = SerialsByPath();
    for (std::size_t i = 0; i < names.size(); ++i) {
        json entry;
        entry["index"] = i;
        entry["name"] = names[i];
        auto camera = SvInitialCameraDevice(static_cast<int>(i));
        if (!camera) {
            entry["error"] = "camera could not be created";
            cameras.push_back(entry);
            continue;
        }
        std::string deviceName;
        SvGetDeviceName(camera, deviceName);
        SV_CAMERA_PRODUCT_TYPE product = SV_PRODUCT_TYPE_NONE;
        SvGetDeviceProductType(camera, product);
        std::string hardwareId;
        SvGetHardwareID(camera, hardwareId);
        SV_USB_DEVICE_SPEED speed = SV_USB_LOW_SPEED;
        const bool haveSpeed = SvGetUSBDeviceSpeed(camera, speed) == 0;

        std::string path;
        SvGetDevicePath(camera, path);

        entry["kind"] = KindName(product);
        entry["vendorId"] = Hex4(hardwareId, 4);
        entry["productId"] = Hex4(hardwareId, 13);
        // The whole serial when the device list knows it; else what the
        // display name carries (a maker camera's last five characters).
        const auto serial = serials.find(path);
        entry["serial"] = serial != serials.end()                 ? serial->second
                          : names[i].size() > deviceName.size() + 1 ? names[i].substr(deviceName.size() + 1)
                                                                    : "";
        entry["speed"] = haveSpeed ? json(SpeedName(speed)) : json(nullptr);
        cameras.push_back(entry);
    }
    return json{{"cameras", cameras}};
}

void PrintList(const json& data) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& c : data["cameras"]) {
        rows.push_back({Str(c["index"]), Str(c["name"]), Str(c.value("kind", json())), Str(c.value("vendorId", json())),
                        Str(c.value("productId", json())), Str(c.value("serial", json())), Str(c.value("speed", json()))});
    }
    PrintTable({"INDEX", "NAME", "KIND", "VID", "PID", "SERIAL", "SPEED"}, rows);
}

// ---- formats ---------------------------------------------------------------

std::vector<SvFormat> Formats(CameraSession& session) {
    session.Open();
    std::vector<SvFormat> formats;
    Check(SvGetFormatList(session.Camera(), formats), "SvGetFormatList");
    return formats;
}

json FormatsData(CameraSession& session) {
    json list = json::array();
    const auto formats = Formats(session);
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const auto& f = formats[i];
        list.push_back({{"index", i}, {"mediaType", f.mediatypeIdx}, {"pixel", SvPixelFormatName(f.format)},
                        {"width", f.width}, {"height", f.height}, {"fps", f.framerate}});
    }
    return json{{"camera", session.Choice().displayName}, {"formats", list}};
}

void PrintFormats(const json& data) {
    std::cout << data["camera"].get<std::string>() << "\n";
    std::vector<std::vector<std::string>> rows;
    for (const auto& f : data["formats"]) {
        rows.push_back({Str(f["index"]), Str(f["pixel"]), Str(f["width"]), Str(f["height"]), Str(f["fps"])});
    }
    PrintTable({"INDEX", "PIXEL", "WIDTH", "HEIGHT", "FPS"}, rows);
    const bool unnamed = std::any_of(data["formats"].begin(), data["formats"].end(),
                                     [](const json& f) { return f["pixel"] == SvPixelFormatName(SV_IMAGE_FORMAT_NONE); });
    if (unnamed) {
        std::cout << "NONE: the camera offers this format in a pixel format the library does not name (it names\n"
                     "YUY2, UYVY, NV12 and MJPG); capture passes it over unless --format chooses it.\n";
    }
}

// ---- capture ---------------------------------------------------------------

SvFormat ChooseFormat(const std::vector<SvFormat>& formats, const CaptureOptions& options) {
    if (options.formatIndex >= 0) {
        if (options.formatIndex >= static_cast<int>(formats.size())) {
            throw CommandError("no format with index " + std::to_string(options.formatIndex) + " (the camera has " +
                                   std::to_string(formats.size()) + ")",
                               kExitUsage);
        }
        return formats[static_cast<std::size_t>(options.formatIndex)];
    }
    int width = 0;
    int height = 0;
    if (!options.size.empty() && std::sscanf(options.size.c_str(), "%dx%d", &width, &height) != 2) {
        throw CommandError("--size takes WIDTHxHEIGHT, not '" + options.size + "'", kExitUsage);
    }
    SV_IMAGE_FORMAT pixel = SV_IMAGE_FORMAT_NONE;
    if (!options.pixel.empty()) {
        pixel = ParseFormatName(options.pixel);
        if (pixel == SV_IMAGE_FORMAT_NONE) {
            throw CommandError("unknown pixel format '" + options.pixel + "' (YUY2, UYVY, NV12, MJPG)", kExitUsage);
        }
    }
    for (const auto& f : formats) {
        if (f.format == SV_IMAGE_FORMAT_NONE) continue;
        if (width && (f.width != width || f.height != height)) continue;
        if (pixel != SV_IMAGE_FORMAT_NONE && f.format != pixel) continue;
        return f;
    }
    throw CommandError("the camera offers no format matching the request", kExitUsage);
}

json CaptureData(CameraSession& session, const CaptureOptions& options, bool progress) {
    if (options.frames <= 0) throw CommandError("--frames must be at least 1", kExitUsage);
    if (options.timeoutMs <= 0 || options.timeoutMs > 65535) {
        throw CommandError("--timeout must be 1 to 65535 ms", kExitUsage);
    }
    const auto formats = Formats(session);
    auto& camera = session.Camera();
    if (formats.empty()) {
        // A camera that lists nothing is asked to start, for the device's own answer.
        const int start = SvStartStreaming(camera);
        throw CommandError("the camera lists no formats; SvStartStreaming " + Failed(start), kExitFailure);
    }
    const SvFormat format = ChooseFormat(formats, options);
    Check(SvSetFormat(camera, format), "SvSetFormat");
    Check(SvStartStreaming(camera), "SvStartStreaming");

    std::error_code ec;
    fs::create_directories(options.outDir, ec);
    if (ec) throw CommandError("cannot create " + options.outDir + ": " + ec.message(), kExitFailure);

    // Room for any uncompressed frame of the format, and for its JPEGs.
    std::vector<uint8_t> buffer(std::size_t{format.width} * format.height * 3 + 65536);
    const std::string stem = options.outDir + "/" + Slug(session.Choice().displayName);
    json files = json::array();
    int received = 0;
    int timeouts = 0;
    int lastError = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < options.frames; ++n) {
        int size = static_cast<int>(buffer.size());
        const int result = SvGetImage(camera, buffer.data(), &size, static_cast<uint16_t>(options.timeoutMs));
        if (result == SV_CAPTURE_TIMEOUT) {
            ++timeouts;
            continue;
        }
        if (result != SV_CAPTURE_SUCCESS) {
            lastError = result;
            break;
        }
        char suffix[16];
        std::snprintf(suffix, sizeof(suffix), "-%03d", received);
        std::string error;
        if (format.format == SV_IMAGE_FORMAT_MJPG) {
            const std::string path = stem + suffix + ".jpg";
            if (!WriteFile(path, buffer.data(), static_cast<std::size_t>(size), error)) throw CommandError(error, kExitFailure);
            files.push_back(path);
        } else {
            const std::string raw = stem + suffix + "." + SvPixelFormatName(format.format);
            if (!WriteFile(raw, buffer.data(), static_cast<std::size_t>(size), error)) throw CommandError(error, kExitFailure);
            files.push_back(raw);
            std::vector<uint8_t> rgb;
            if (ToRgb(format.format, buffer.data(), static_cast<std::size_t>(size), format.width, format.height, rgb)) {
                const std::string png = stem + suffix + ".png";
                if (!WritePng(png, rgb, format.width, format.height, error)) throw CommandError(error, kExitFailure);
                files.push_back(png);
            }
        }
        ++received;
        if (progress) std::fprintf(stderr, "\r%d/%d frames", received, options.frames);
    }
    if (progress) std::fprintf(stderr, "\n");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SvStopStreaming(camera);

    json data{{"camera", session.Choice().displayName},
              {"format", {{"pixel", SvPixelFormatName(format.format)}, {"width", format.width}, {"height", format.height},
                          {"fps", format.framerate}}},
              {"requested", options.frames},
              {"received", received},
              {"timeouts", timeouts},
              {"measuredFps", seconds > 0 ? received / seconds : 0.0},
              {"files", files}};
    if (lastError) data["error"] = "SvGetImage " + Failed(lastError, SV_RESULT_CAPTURE);
    return data;
}

void PrintCapture(const json& data) {
    const auto& f = data["format"];
    std::printf("%s: %s %dx%d @ %d fps\n", data["camera"].get<std::string>().c_str(),
                f["pixel"].get<std::string>().c_str(), f["width"].get<int>(), f["height"].get<int>(),
                f["fps"].get<int>());
    std::printf("frames received %d of %d, time-outs %d, measured %.1f fps\n", data["received"].get<int>(),
                data["requested"].get<int>(), data["timeouts"].get<int>(), data["measuredFps"].get<double>());
    for (const auto& file : data["files"]) std::printf("  %s\n", file.get<std::string>().c_str());
    if (data.contains("error")) std::printf("%s\n", data["error"].get<std::string>().c_str());
}

int CaptureStatus(const json& data) {
    return data.contains("error") || data["received"].get<int>() == 0 ? kExitFailure : kExitOk;
}

// ---- controls --------------------------------------------------------------

// An offered control's value and mode, and its range when the library gave one.
template <typename T>
void PutOffered(json& entry, T value, int flag, bool haveRange, T mn, T mx, T st, T df) {
    entry["offered"] = true;
    entry["value"] = value;
    entry["auto"] = flag == 1;
    if (haveRange) {
        entry["min"] = mn;
        entry["max"] = mx;
        entry["step"] = st;
        entry["default"] = df;
    }
}

json UvcControlData(const std::shared_ptr<SvCamera>& camera, const ControlName& c) {
    json entry{{"name", c.name}, {"unit", "uvc"}};
    long value = 0;
    int flag = 0;
    long mn = 0, mx = 0, st = 0, df = 0;
    const auto id = static_cast<SV_UVC_IMAGE_PROPERTIES>(c.id);
    if (SvGetUVCImageProcessing(camera, id, value, flag) != 0) {
        entry["offered"] = false;
        return entry;
    }
    const bool haveRange = SvGetUVCImageProcessingRange(camera, id, mn, mx, st, df) == 0;
    PutOffered(entry, value, flag, haveRange, mn, mx, st, df);
    return entry;
}

json IspControlData(const std::shared_ptr<SvCamera>& camera, const ControlName& c) {
    json entry{{"name", c.name}, {"unit", "isp"}};
    int value = 0, flag = 0, mn = 0, mx = 0, st = 0, df = 0;
    const auto id = static_cast<SV_ISP_IMAGE_PROPERTIES>(c.id);
    const int result = SvGetISPImageProcessing(camera, id, value, flag);
    if (result != 0) {
        entry["offered"] = false;
        entry["result"] = result;
        return entry;
    }
    const bool haveRange = SvGetISPImageProcessingRange(camera, id, mn, mx, st, df) == 0;
    PutOffered(entry, value, flag, haveRange, mn, mx, st, df);
    return entry;
}

// The control's entry, through the unit it belongs to.
json ControlData(const std::shared_ptr<SvCamera>& camera, const ControlName& c) {
    return c.kind == ControlName::Kind::Uvc ? UvcControlData(camera, c) : IspControlData(camera, c);
}

json ControlsData(CameraSession& session) {
    session.Open();
    json controls = json::array();
    for (const auto& c : UvcControls()) controls.push_back(UvcControlData(session.Camera(), c));
    if (session.IsMaker()) {
        for (const auto& c : IspControls()) controls.push_back(IspControlData(session.Camera(), c));
    }
    return json{{"camera", session.Choice().displayName}, {"controls", controls}};
}

void PrintControls(const json& data) {
    std::cout << data["camera"].get<std::string>() << "\n";
    std::vector<std::vector<std::string>> rows;
    for (const auto& c : data["controls"]) {
        const std::string name = c["unit"].get<std::string>() + "." + c["name"].get<std::string>();
        if (!c["offered"].get<bool>()) {
            // An ISP property the library answers with a failure: say what it answered.
            rows.push_back({name, c.contains("result") ? "unavailable (result " + Str(c["result"]) + ")"
                                                       : "not offered"});
            continue;
        }
        rows.push_back({name, Str(c["value"]), c["auto"].get<bool>() ? "auto" : "manual",
                        Str(c.value("min", json())), Str(c.value("max", json())), Str(c.value("step", json())),
                        Str(c.value("default", json()))});
    }
    PrintTable({"CONTROL", "VALUE", "MODE", "MIN", "MAX", "STEP", "DEFAULT"}, rows);
    // Why a control is unavailable: eHDR needs the sensors that have it; any
    // other is the library's answer in words.
    bool ehdr = false;
    for (const auto& c : data["controls"]) {
        if (c["offered"].get<bool>() || !c.contains("result")) continue;
        const std::string name = c["name"].get<std::string>();
        if (name.rfind("ehdr", 0) == 0) {
            ehdr = true;
            continue;
        }
        std::cout << c["unit"].get<std::string>() << "." << name << ": " << Failed(c["result"].get<int>()) << "\n";
    }
    if (ehdr) {
        std::cout << "isp.ehdr-*: unavailable: the eHDR controls exist only on cameras with an AR0821 or AR0822\n"
                     "sensor (product id 0821 or 0822).\n";
    }
}

ControlName ResolveControl(const std::string& name) {
    auto control = FindControl(name);
    if (!control) throw CommandError("unknown control '" + name + "'; controls: " + AllControlNames(), kExitUsage);
    return *control;
}

void Emit(const GlobalOptions& global, const json& data, void (*print)(const json&)) {
    if (global.json) {
        std::cout << data.dump(2) << "\n";
    } else {
        print(data);
    }
}

void PrintKeyValues(const json& data) {
    for (const auto& [key, value] : data.items()) std::cout << key << ": " << Str(value) << "\n";
}

}  // namespace

// ---- commands ----------------------------------------------------------------

int ListCommand(const GlobalOptions& global) {
    json data = ListData();
    std::vector<SvUnlistedDevice> unlisted;
    SvGetUnlistedCameraDevices(unlisted);
    if (!unlisted.empty()) {
        json entries = json::array();
        for (const auto& d : unlisted) {
            entries.push_back({{"device", d.device}, {"reason", d.reason}, {"accessDenied", d.accessDenied}});
        }
        data["unlisted"] = entries;
    }
    Emit(global, data, PrintList);

    // What was found but not listed, and what to do about it, on standard
    // error: standard output stays the table or the one JSON document.
    bool denied = false;
    for (const auto& d : unlisted) {
        std::cerr << "svcam: " << d.device << " is not listed: " << d.reason << "\n";
        denied = denied || d.accessDenied;
    }
    if (denied) {
        std::cerr << "svcam: permission denied: add yourself to the 'video' group (sudo usermod -aG video $USER,\n"
                     "then log in again) or install config/udev/60-sorvansdk.rules into /etc/udev/rules.d/\n";
    }
    if (data["cameras"].empty() && unlisted.empty()) {
        const char* backend = std::getenv("SORVANSDK_BACKEND");
        if (!backend || std::string(backend) != "sim") {
            std::cerr << "svcam: no camera found; --backend sim lists the simulated cameras\n";
        } else {
            std::cerr << "svcam: no camera found\n";
        }
    }
    return kExitOk;
}

int FormatsCommand(const GlobalOptions& global, const std::string& camera) {
    CameraSession session(camera);
    Emit(global, FormatsData(session), PrintFormats);
    return kExitOk;
}

int CaptureCommand(const GlobalOptions& global, const std::string& camera, const CaptureOptions& options) {
    CameraSession session(camera);
    const bool progress = !global.json && options.frames >= 20 && isatty(STDERR_FILENO);
    const json data = CaptureData(session, options, progress);
    Emit(global, data, PrintCapture);
    return CaptureStatus(data);
}

int ControlsCommand(const GlobalOptions& global, const std::string& camera) {
    CameraSession session(camera);
    Emit(global, ControlsData(session), PrintControls);
    return kExitOk;
}

int GetCommand(const GlobalOptions& global, const std::string& camera, const std::string& name) {
    const ControlName control = ResolveControl(name);
    CameraSession session(camera);
    session.Open();
    json data = ControlData(session.Camera(), control);
    if (!data["offered"].get<bool>()) {
        throw CommandError(std::string("the camera does not offer ") + data["unit"].get<std::string>() + "." +
                               control.name,
                           kExitFailure);
    }
    Emit(global, data, PrintKeyValues);
    return kExitOk;
}

int SetCommand(const GlobalOptions& global, const std::string& camera, const std::string& name,
               const std::string& valueText, bool automatic) {
    const ControlName control = ResolveControl(name);
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(valueText, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != valueText.size()) {
        throw CommandError("'" + valueText + "' is not a whole number", kExitUsage);
    }
    CameraSession session(camera);
    session.Open();
    const auto& cam = session.Camera();
    auto outOfRange = [&](long mn, long mx) {
        return CommandError(std::string(control.name) + ": " + valueText + " is out of range [" + std::to_string(mn) +
                                ", " + std::to_string(mx) + "]",
                            kExitUsage);
    };
    int result = 0;
    if (control.kind == ControlName::Kind::Uvc) {
        const auto id = static_cast<SV_UVC_IMAGE_PROPERTIES>(control.id);
        long mn = 0, mx = 0, st = 0, df = 0;
        if (SvGetUVCImageProcessingRange(cam, id, mn, mx, st, df) == 0 && (value < mn || value > mx)) {
            throw outOfRange(mn, mx);
        }
        result = SvSetUVCImageProcessing(cam, id, value, automatic ? 1 : 0);
        Check(result, "SvSetUVCImageProcessing(" + std::string(control.name) + ")");
    } else {
        const auto id = static_cast<SV_ISP_IMAGE_PROPERTIES>(control.id);
        int mn = 0, mx = 0, st = 0, df = 0;
        if (value < INT32_MIN || value > INT32_MAX ||
            (SvGetISPImageProcessingRange(cam, id, mn, mx, st, df) == 0 && (value < mn || value > mx))) {
            throw outOfRange(mn, mx);
        }
        result = SvSetISPImageProcessing(cam, id, static_cast<int>(value));
        Check(result, "SvSetISPImageProcessing(" + std::string(control.name) + ")");
    }
    Emit(global, ControlData(cam, control), PrintKeyValues);
    return kExitOk;
}

int InfoCommand(const GlobalOptions& global, const std::string& camera) {
    CameraSession session(camera);
    const auto& cam = session.Camera();
    json data;
    std::string text;
    data["display"] = session.Choice().displayName;
    if (SvGetDeviceName(cam, text) == 0) data["name"] = text;
    if (SvGetDevicePath(cam, text) == 0) data["path"] = text;
    SV_CAMERA_PRODUCT_TYPE product = SV_PRODUCT_TYPE_NONE;
    if (SvGetDeviceProductType(cam, product) == 0) data["kind"] = KindName(product);
    SV_CAMERA_INTERFACE_TYPE itype = SV_CAMERA_INTERFACE_USB;
    if (SvGetDeviceInterfaceType(cam, itype) == 0) data["interface"] = itype == SV_CAMERA_INTERFACE_USB ? "USB" : "other";
    if (SvGetHardwareID(cam, text) == 0) data["hardwareId"] = text;
    SV_USB_DEVICE_SPEED speed = SV_USB_LOW_SPEED;
    data["speed"] = SvGetUSBDeviceSpeed(cam, speed) == 0 ? json(SpeedName(speed)) : json(nullptr);
    if (session.IsMaker()) {
        session.Open();
        // The value, or what the library answered instead.
        auto answer = [](int result, const auto& value) {
            return result == 0 ? json(value) : json("unavailable, " + Failed(result));
        };
        std::string version;
        int r = SvGetUSBFirmwareVersion(cam, version);
        data["usbFirmwareVersion"] = answer(r, version);
        version.clear();
        r = SvGetSensorFirmwareVersion(cam, version);
        data["sensorFirmwareVersion"] = answer(r == 0 && version.empty() ? -1 : r, version);
        const int header = SvGetHeaderVersion(cam);
        data["headerVersion"] = answer(header >= 0 ? 0 : header, header);
        auto fieldText = [](const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); };
        if (header == 2) {
            auto h = std::make_unique<SvHeaderV2>();
            if (SvGetBootdataHeaderV2(cam, h) == 0) {
                data["header"] = {{"productName", fieldText(h->productName, sizeof(h->productName))},
                                  {"productVersion", h->productVersion},
                                  {"lensVersion", h->lensVersion},
                                  {"contentVersion", h->contentVersion},
                                  {"contentLen", uint32_t{h->contentLen}}};
            }
        } else if (header == 3) {
            auto h = std::make_unique<SvHeaderV3>();
            if (SvGetBootdataHeaderV3(cam, h) == 0) {
                data["header"] = {{"productName", fieldText(h->productName, sizeof(h->productName))},
                                  {"sensorType", uint16_t{h->sensorType}},
                                  {"znFwVersion", std::to_string(h->znFwVersion[0]) + "." + std::to_string(h->znFwVersion[1])},
                                  {"vendorFwVersion", uint16_t{h->vendorFwVersion}},
                                  {"customNumber", uint16_t{h->customNumber}},
                                  {"contentLen", uint32_t{h->contentLen}}};
            }
        }
        std::string uid;
        r = SvGetSensorUniqueID(cam, uid);
        data["sensorUniqueId"] = answer(r, uid);

        // What the ISP is doing now.
        int width = 0, height = 0;
        std::string format;
        r = SvGetSensorFormat(cam, width, height, format);
        data["sensorFormat"] = answer(r, std::to_string(width) + "x" + std::to_string(height) + " " + format);
        uint8_t fps = 0;
        r = SvGetMaxFPS(cam, fps);
        data["maxFps"] = answer(r, unsigned{fps});
        uint16_t throughput = 0;
        r = SvGetThroughPut(cam, throughput);
        data["throughput"] = answer(r, unsigned{throughput});
        uint32_t exposure = 0;
        r = SvGetCurrentExposure(cam, exposure);
        data["currentExposureUs"] = answer(r, exposure);
        uint8_t gain = 0;
        r = SvGetCurrentGain(cam, gain);
        data["currentGain"] = answer(r, unsigned{gain});
        SV_SENSOR_MODE mode = SV_SENSOR_MODE_STANDBY;
        r = SvGetSensorWorkMode(cam, mode);
        data["sensorMode"] = answer(r, mode == SV_SENSOR_MODE_ACTIVE ? "active" : "standby");
        float seconds = 0;
        r = SvGetTimestamp(cam, seconds);
        data["timestampSeconds"] = answer(r, seconds);
        uint8_t frames = 0;
        r = SvGetFrameCount(cam, frames);
        data["frameCount"] = answer(r, unsigned{frames});
        if (product == SV_PRODUCT_TYPE_LIRA) {
            version.clear();
            r = SvGetLUMOFirmwareVersion(cam, version);
            data["lumoFirmwareVersion"] = answer(r, version);
            SV_MCU_TYPE mcu = SV_MCU_TYPE_OTHER;
            r = SvGetMCUType(cam, mcu);
            data["mcuType"] = answer(r, static_cast<int>(mcu));
        }
    }
    Emit(global, data, PrintKeyValues);
    return kExitOk;
}

int DemoCommand(const GlobalOptions& global, const std::string& outDir) {
    json demo;
    int status = kExitOk;
    demo["list"] = ListData();
    if (!global.json) PrintList(demo["list"]);

    const SV_IMAGE_FORMAT preferred[] = {SV_IMAGE_FORMAT_YUY2, SV_IMAGE_FORMAT_MJPG, SV_IMAGE_FORMAT_NV12,
                                         SV_IMAGE_FORMAT_UYVY};
    json cameras = json::array();
    std::string makerCamera;
    const auto& list = demo["list"]["cameras"];
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string index = std::to_string(i);
        json entry;
        try {
            CameraSession session(index);
            entry["formats"] = FormatsData(session);
            if (!global.json) {
                std::cout << "\n";
                PrintFormats(entry["formats"]);
            }
            CaptureOptions options;
            options.frames = 3;
            options.outDir = outDir;
            options.pixel = SvPixelFormatName(preferred[i % 4]);
            bool offered = false;
            for (const auto& f : entry["formats"]["formats"]) offered = offered || f["pixel"] == options.pixel;
            if (!offered) options.pixel.clear();
            entry["capture"] = CaptureData(session, options, false);
            if (!global.json) {
                std::cout << "\n";
                PrintCapture(entry["capture"]);
            }
            if (CaptureStatus(entry["capture"]) != kExitOk) status = kExitFailure;
            if (makerCamera.empty() && session.IsMaker()) makerCamera = index;
        } catch (const CommandError& e) {
            entry["error"] = e.what();
            if (!global.json) std::cout << "\ncamera " << index << ": " << e.what() << "\n";
            status = kExitFailure;
        }
        cameras.push_back(entry);
    }
    demo["cameras"] = cameras;
    if (!makerCamera.empty()) {
        CameraSession session(makerCamera);
        demo["controls"] = ControlsData(session);
        if (!global.json) {
            std::cout << "\n";
            PrintControls(demo["controls"]);
        }
    }
    if (global.json) std::cout << demo.dump(2) << "\n";
    return status;
}

// ---- profiles ----------------------------------------------------------------

namespace {

// An opened maker camera: profiles exist only there.
void OpenMaker(CameraSession& session) {
    if (!session.IsMaker()) {
        throw CommandError(session.Choice().displayName + " is not a KIVO or LIRA camera: it has no profiles",
                           kExitFailure);
    }
    session.Open();
}

// The loaded document's format selected and its control values written.
json Activate(CameraSession& session) {
    const auto& cam = session.Camera();
    Check(SvActivateProfileImageProcessing(cam), "SvActivateProfileImageProcessing");
    Check(SvActivateProfileStreaming(cam), "SvActivateProfileStreaming (no format of the camera matches the document)");
    return {{"imageProcessing", "applied"}, {"streaming", "format selected"}};
}

void LoadDocument(CameraSession& session, const std::string& text, const std::string& what) {
    const int r = SvLoadProfileConfig(session.Camera(), text);
    if (r != 0) {
        throw CommandError("SvLoadProfileConfig failed (result " + std::to_string(r) + "): " + what +
                               " is not a valid profile document (--log-level error shows why)",
                           kExitFailure);
    }
}

}  // namespace

int ProfileShowCommand(const GlobalOptions&, const std::string& camera) {
    CameraSession session(camera);
    OpenMaker(session);
    std::string text;
    Check(SvGetOSPProfileConfig(session.Camera(), text), "SvGetOSPProfileConfig");
    // The document is JSON already; shown with an indent either way.
    std::cout << json::parse(text).dump(2) << "\n";
    return kExitOk;
}

int ProfileLoadCommand(const GlobalOptions& global, const std::string& camera, const std::string& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) throw CommandError("no profile document " + file, kExitUsage);
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw CommandError("cannot read " + file, kExitFailure);
    CameraSession session(camera);
    OpenMaker(session);
    LoadDocument(session, text, file);
    json data = {{"document", file}};
    data.update(Activate(session));
    Emit(global, data, PrintKeyValues);
    return kExitOk;
}

int ProfileApplyCommand(const GlobalOptions& global, const std::string& camera) {
    CameraSession session(camera);
    OpenMaker(session);
    std::string text;
    Check(SvGetOSPProfileConfig(session.Camera(), text), "SvGetOSPProfileConfig");
    LoadDocument(session, text, "the on-camera profile");
    json data = {{"document", "on-camera profile"}};
    data.update(Activate(session));
    Emit(global, data, PrintKeyValues);
    return kExitOk;
}

int ProfileFlagCommand(const GlobalOptions& global, const std::string& camera, const std::string& value) {
    int flag = -1;
    if (!value.empty()) {
        std::size_t used = 0;
        try {
            flag = std::stoi(value, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != value.size() || flag < 0 || flag > 255) {
            throw CommandError("profile flag '" + value + "' is not a number 0-255", kExitUsage);
        }
    }
    CameraSession session(camera);
    OpenMaker(session);
    const auto& cam = session.Camera();
    if (flag >= 0) Check(SvSetOSPProfileFlag(cam, static_cast<SV_OSP_PROFILE_FLAG>(flag)), "SvSetOSPProfileFlag");
    SV_OSP_PROFILE_FLAG now = SV_OSP_PROFILE_FLAG_NONE;
    Check(SvGetOSPProfileFlag(cam, now), "SvGetOSPProfileFlag");
    Emit(global, json{{"flag", static_cast<int>(now)}}, PrintKeyValues);
    return kExitOk;
}

int ProfileResetCommand(const GlobalOptions& global, const std::string& camera) {
    CameraSession session(camera);
    OpenMaker(session);
    Check(SvResetOSPProfileConfig(session.Camera()), "SvResetOSPProfileConfig");
    SV_OSP_PROFILE_FLAG now = SV_OSP_PROFILE_FLAG_NONE;
    Check(SvGetOSPProfileFlag(session.Camera(), now), "SvGetOSPProfileFlag");
    Emit(global, json{{"reset", "ISP defaults set, flag sent"}, {"flag", static_cast<int>(now)}}, PrintKeyValues);
    return kExitOk;
}

int ExportCommand(const GlobalOptions& global, const std::string& camera, const std::string& file) {
    CameraSession session(camera);
    if (!session.IsMaker()) {
        throw CommandError(session.Choice().displayName + " keeps no sensor configuration (not a maker camera)",
                           kExitUsage);
    }
    session.Open();
    Check(SvExportSensorConfig(session.Camera(), file), "SvExportSensorConfig(" + file + ")");
    json data;
    data["camera"] = session.Choice().displayName;
    data["file"] = file;
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(file, ec);
    data["bytes"] = ec ? json(nullptr) : json(bytes);
    Emit(global, data, PrintKeyValues);
    return kExitOk;
}

int DecodeCommand(const GlobalOptions& global, const std::string& file, const std::string& out) {
    const int decoded = SvDecodeSensorConfig(file, out);
    if (decoded != 0) {
        throw CommandError("SvDecodeSensorConfig(" + file + ", " + out + ") " +
                               FailedWithFile(decoded, SV_RESULT_CALL, file),
                           kExitFailure);
    }
    json data;
    data["file"] = file;
    data["json"] = out;
    Emit(global, data, PrintKeyValues);
    return kExitOk;
}

// ---- bridge firmware upgrade ---------------------------------------------------

namespace {

// Progress of one download: a bar redrawn in place on a terminal, a line per
// new value otherwise, nothing with --json.
class ProgressView {
public:
    // `events`: with --json, one JSON line per new value.
    ProgressView(const GlobalOptions& global, std::string label, bool events = false)
        : json_(global.json), events_(events), tty_(isatty(STDOUT_FILENO) != 0), label_(std::move(label)) {}
    ~ProgressView() { Finish(); }
    ProgressView(const ProgressView&) = delete;
    ProgressView& operator=(const ProgressView&) = delete;

    void operator()(int value) {
        if (value == last_) return;
        last_ = value;
        if (value > highest_) highest_ = value;
        if (json_) {
            if (events_) std::cout << json{{"event", "progress"}, {"step", label_}, {"value", value}}.dump() << "\n" << std::flush;
            return;
        }
        if (tty_) {
            const int width = 40;
            const int filled = std::clamp(value, 0, 100) * width / 100;
            std::cout << "\r" << label_ << " [" << std::string(static_cast<size_t>(filled), '#')
                      << std::string(static_cast<size_t>(width - filled), ' ') << "] " << value << "%" << std::flush;
            drawn_ = true;
        } else {
            std::cout << label_ << " " << value << "%\n";
        }
    }
    void Finish() {
        if (drawn_) std::cout << "\n" << std::flush;
        drawn_ = false;
    }
    int Highest() const { return highest_; }

private:
    bool json_;
    bool events_;
    bool tty_;
    std::string label_;
    int last_ = -1;
    int highest_ = -1;
    bool drawn_ = false;
};

void PrintUpgrade(const json& data) {
    for (const auto& step : data["steps"]) {
        std::cout << "upgrade " << step["target"].get<std::string>() << ": " << step["image"].get<std::string>()
                  << ": " << (step["result"].get<int>() == 0 ? "done" : step["error"].get<std::string>()) << "\n";
    }
}

// Standard output goes to standard error while it lives. The bridge
// download writes its own device-count lines to standard output; with --json
// they must not land in the middle of the one JSON document there.
class StdoutToStderr {
public:
    explicit StdoutToStderr(bool on) {
        if (!on) return;
        std::cout.flush();
        std::fflush(stdout);
        saved_ = Duplicate(STDOUT_FILENO);
        if (saved_ >= 0 && Replace(STDERR_FILENO, STDOUT_FILENO) < 0) {
            Close(saved_);
            saved_ = -1;
        }
    }
    ~StdoutToStderr() {
        if (saved_ < 0) return;
        std::cout.flush();
        std::fflush(stdout);
        (void)Replace(saved_, STDOUT_FILENO);
        Close(saved_);
    }
    StdoutToStderr(const StdoutToStderr&) = delete;
    StdoutToStderr& operator=(const StdoutToStderr&) = delete;

private:
#if defined(_WIN32)
    static int Duplicate(int fd) { return _dup(fd); }
    static int Replace(int from, int to) { return _dup2(from, to); }
    static void Close(int fd) { (void)_close(fd); }
#else
    static int Duplicate(int fd) { return dup(fd); }
    static int Replace(int from, int to) { return dup2(from, to); }
    static void Close(int fd) { (void)close(fd); }
#endif

    int saved_ = -1;
};

int Upgrade(const GlobalOptions& global, SV_FX3_FW_TARGET target, const std::string& image, const std::string& label,
            json& steps) {
    ProgressView view(global, label);
    int r = 0;
    {
        StdoutToStderr quiet(global.json);
        r = SvUpgradeFX3FW(target, image, [&view](int p) { view(p); });
    }
    view.Finish();
    json step;
    step["image"] = image;
    step["target"] = label;
    step["result"] = r;
    if (r != 0) step["error"] = FailedWithFile(r, SV_RESULT_FX3_DOWNLOAD, image);
    step["progress"] = view.Highest();
    steps.push_back(step);
    return r;
}

}  // namespace

int UpgradeFx3Command(const GlobalOptions& global, const UpgradeOptions& options) {
    SV_FX3_FW_TARGET target = SV_FX3_FW_TARGET_RAM;
    if (options.target == "ram") target = SV_FX3_FW_TARGET_RAM;
    else if (options.target == "i2c") target = SV_FX3_FW_TARGET_I2C_EEPROM;
    else if (options.target == "spi") target = SV_FX3_FW_TARGET_SPI_FLASH;
    else throw CommandError("unknown target '" + options.target + "' (ram, i2c or spi)", kExitUsage);

    json data;
    data["steps"] = json::array();
    if (!options.camera.empty()) {
        // The camera hands its bridge over to the bootloader and leaves the bus.
        CameraSession session(options.camera);
        session.Open();
        Check(SvGotoFX3ProgramMode(session.Camera()), "SvGotoFX3ProgramMode(" + options.camera + ")");
        data["programMode"] = options.camera;
    }
    if (!options.programmer.empty()) {
        const int r = Upgrade(global, SV_FX3_FW_TARGET_RAM, options.programmer, "RAM (flash programmer)", data["steps"]);
        if (r != 0) {
            data["result"] = r;
            Emit(global, data, PrintUpgrade);
            throw CommandError("SvUpgradeFX3FW(RAM, " + options.programmer + ") " +
                                   data["steps"].back()["error"].get<std::string>(),
                               kExitFailure);
        }
    }
    const std::string label = options.target == "ram" ? "RAM" : options.target == "i2c" ? "I2C EEPROM" : "SPI flash";
    const int r = Upgrade(global, target, options.image, label, data["steps"]);
    data["result"] = r;
    Emit(global, data, PrintUpgrade);
    if (r != 0) {
        throw CommandError("SvUpgradeFX3FW(" + label + ", " + options.image + ") " +
                               data["steps"].back()["error"].get<std::string>(),
                           kExitFailure);
    }
    return kExitOk;
}

int SensorUpgradeCommand(const GlobalOptions& global, const std::string& camera, const std::string& image,
                         bool eraseFirst) {
    CameraSession session(camera);
    if (!session.IsMaker()) {
        throw CommandError(session.Choice().displayName + " has no sensor board firmware (not a maker camera)",
                           kExitUsage);
    }
    session.Open();
    json data;
    data["camera"] = session.Choice().displayName;
    data["image"] = image;
    if (eraseFirst) {
        // The upgrade's own image check comes first: a refused image erases nothing.
        Check(SvCheckSensorFWImage(session.Camera(), image), "SvCheckSensorFWImage(" + image + ")");
        Check(SvCleanSensorFW(session.Camera()), "SvCleanSensorFW(" + session.Choice().displayName + ")");
        data["erased"] = true;
    }
    ProgressView view(global, "sensor firmware", true);
    const int r = SvUpgradeSensorFW(session.Camera(), image, [&view](int p) { view(p); });
    view.Finish();
    data["result"] = r;
    data["progress"] = view.Highest();
    std::string version;
    if (r == 0 && SvGetSensorFirmwareVersion(session.Camera(), version) == 0) data["sensorFirmwareVersion"] = version;
    if (global.json) {
        std::cout << data.dump() << "\n";
    } else {
        std::cout << "upgrade sensor firmware of " << data["camera"].get<std::string>() << ": " << image << ": "
                  << (r == 0 ? "done" : FailedWithFile(r, SV_RESULT_CALL, image));
        if (data.contains("sensorFirmwareVersion")) {
            std::cout << ", now " << data["sensorFirmwareVersion"].get<std::string>();
        }
        std::cout << "\n";
    }
    if (r != 0) throw CommandError("SvUpgradeSensorFW(" + image + ") " + FailedWithFile(r, SV_RESULT_CALL, image), kExitFailure);
    return kExitOk;
}

int CleanSensorCommand(const GlobalOptions& global, const std::string& camera, bool confirmed) {
    if (!confirmed) {
        throw CommandError("clean-sensor erases the camera's sensor board firmware; add --yes to do it", kExitUsage);
    }
    CameraSession session(camera);
    if (!session.IsMaker()) {
        throw CommandError(session.Choice().displayName + " has no sensor board firmware (not a maker camera)",
                           kExitUsage);
    }
    session.Open();
    Check(SvCleanSensorFW(session.Camera()), "SvCleanSensorFW(" + session.Choice().displayName + ")");
    json data;
    data["camera"] = session.Choice().displayName;
    data["erased"] = true;
    Emit(global, data, PrintKeyValues);
    return kExitOk;
}

}  // namespace svcam
