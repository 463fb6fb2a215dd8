#include "base/Config.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sorvansdk/SvTypes.h>

#include "base/Logger.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace sv {
namespace {

#if defined(_WIN32)
constexpr const char* kSep = "\\";
constexpr const char* kInstalledFolder = "C:\\Program Files\\sorvansdk\\bin\\";
#else
constexpr const char* kSep = "/";
#ifndef SORVANSDK_SYSCONF_DIR
#define SORVANSDK_SYSCONF_DIR "/usr/local/etc/sorvansdk"
#endif
constexpr const char* kInstalledFolder = SORVANSDK_SYSCONF_DIR "/";
// The installed configuration folder as seen from the library's own folder
// (<libdir> -> <sysconfdir>/sorvansdk), so that a prefix moved elsewhere, or
// unpacked into another root, still finds its configuration.
#ifndef SORVANSDK_SYSCONF_FROM_LIBDIR
#define SORVANSDK_SYSCONF_FROM_LIBDIR "../etc/sorvansdk"
#endif
constexpr const char* kConfigFromLibraryFolder = SORVANSDK_SYSCONF_FROM_LIBDIR;
#endif

}  // namespace

std::string ConfigFileName(const std::string& name) {
    if (name == "SvConfig") return "SvConfig.conf";
    if (name == "SvExposure") return "SvExposure.yaml";
    return "";
}

std::string ExecutableFolder() {
    std::string path;
#if defined(_WIN32)
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    path.assign(buffer, n);
#else
    char buffer[PATH_MAX + 1] = {};
    ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return "";
    path.assign(buffer, static_cast<std::size_t>(n));
#endif
    auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(0, cut);
}

std::string LibraryFolder() {
#if defined(_WIN32)
    return "";
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&LibraryFolder), &info) == 0 || !info.dli_fname) return "";
    const std::string path = info.dli_fname;
    const auto cut = path.find_last_of('/');
    if (cut == std::string::npos) return "";  // a bare program name: no folder to go by
    std::error_code ec;
    const auto folder = std::filesystem::absolute(path.substr(0, cut == 0 ? 1 : cut), ec);
    return ec ? "" : folder.string();
#endif
}

std::string ConfigFolderBesideLibrary() {
#if defined(_WIN32)
    return "";
#else
    const std::string folder = LibraryFolder();
    return folder.empty() ? "" : folder + kSep + kConfigFromLibraryFolder;
#endif
}

std::vector<std::string> GetConfigCandidatePaths(const std::string& name) {
    const std::string file = ConfigFileName(name);
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("SORVANSDK_CONFIG_PATH")) {
        candidates.push_back(std::string(env) + kSep + file);
    }
    candidates.push_back(std::string("config") + kSep + file);
    candidates.push_back(ExecutableFolder() + kSep + file);
    candidates.push_back(file);
#if !defined(_WIN32)
    const std::string besideLibrary = ConfigFolderBesideLibrary();
    if (!besideLibrary.empty()) candidates.push_back(besideLibrary + kSep + file);
#endif
    candidates.push_back(std::string(kInstalledFolder) + file);
    return candidates;
}

std::string FindFirstExistingPath(const std::vector<std::string>& candidates) {
    for (const auto& candidate : candidates) {
        std::error_code ec;
        if (std::filesystem::exists(candidate, ec)) return candidate;
    }
    std::string joined;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (i) joined += ", ";
        joined += candidates[i];
    }
    log::Write(spdlog::level::err, "Config file not found at: {}", joined);
    return "";
}

void ParseConfigText(const std::string& text, ConfigMap& map) {
    std::istringstream in(text);
    std::string section;
    std::string line;
    while (std::getline(in, line)) {
        // The file is read as bytes on every platform, so a CRLF file reads
        // the same everywhere (and byte 0x1A cannot end it early in text mode).
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '/') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        if (line.size() < 3) continue;
        auto eq = line.find(" = ");
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 3);
        auto& items = map[section][key];
        std::size_t start = 0;
        while (start < value.size()) {
            auto comma = value.find(',', start);
            if (comma == std::string::npos) {
                items.push_back(value.substr(start));
                break;
            }
            items.push_back(value.substr(start, comma - start));
            start = comma + 1;
        }
    }
}

int LoadConfigMap(const std::string& path, ConfigMap& map) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        log::Write(spdlog::level::err, "Failed to get Config file");
        return -1;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        log::Write(spdlog::level::err, "Failed to open the Config file");
        return -1;
    }

    std::ostringstream text;
    text << in.rdbuf();
    ParseConfigText(text.str(), map);
    log::Write(spdlog::level::debug, "Success to get the Config Map");
    return 0;
}

std::string FindProductFamily(const ConfigMap& map, const std::string& name,
                              const std::function<bool(const std::string&)>& accept) {
    for (const auto& [section, keys] : map) {
        auto products = keys.find("products");
        if (products == keys.end()) continue;
        for (const auto& item : products->second) {
            if (name.find(item) == std::string::npos) continue;
            if (!accept || accept(section)) return section;
            break;  // this section matched but does not count; try the next one
        }
    }
    return "";
}

int ProductTypeForName(const ConfigMap& config, const std::string& deviceName) {
    auto typeOf = [](const std::string& family) {
        if (family == "KIVO") return static_cast<int>(SV_PRODUCT_TYPE_KIVO);
        if (family == "LIRA") return static_cast<int>(SV_PRODUCT_TYPE_LIRA);
        return 0;
    };
    const std::string family = FindProductFamily(
        config, deviceName, [&](const std::string& section) { return typeOf(section) != 0; });
    return family.empty() ? static_cast<int>(SV_PRODUCT_TYPE_UVC) : typeOf(family);
}

}  // namespace sv
