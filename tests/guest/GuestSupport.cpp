#include "guest/GuestSupport.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <thread>

namespace sv::guest {

Shell Sh(const std::string& command) {
    Shell result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = fread(chunk, 1, sizeof(chunk), pipe)) > 0) result.output.append(chunk, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Listed WaitForCamera(const std::function<bool(const std::string&)>& match, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<std::string> names;
        if (SvDiscoverCameraDevices(names) > 0) {
            for (std::size_t i = 0; i < names.size(); ++i) {
                if (!match(names[i])) continue;
                Listed listed;
                listed.index = static_cast<int>(i);
                listed.name = names[i];
                listed.camera = SvInitialCameraDevice(listed.index);
                if (listed.camera) return listed;
            }
        }
        if (std::chrono::steady_clock::now() >= end) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

std::string NodeOf(const std::shared_ptr<SvCamera>& camera) {
    std::string path;
    if (SvGetDevicePath(camera, path) != 0) return {};
    std::smatch found;
    static const std::regex kNode("(video[0-9]+)");
    return std::regex_search(path, found, kNode) ? "/dev/" + found[1].str() : std::string();
}

std::vector<PeerControl> PeerControls(const std::string& node) {
    std::vector<PeerControl> controls;
    const Shell listed = Sh("v4l2-ctl -d " + node + " --list-ctrls");
    static const std::regex kLine(
        R"(^\s*(\w+) 0x[0-9a-f]+ \((?:int|bool|menu)\)\s*:(?: min=(-?\d+) max=(-?\d+)(?: step=(\d+))?)? default=(-?\d+) value=(-?\d+))");
    std::istringstream lines(listed.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, kLine)) continue;
        PeerControl c;
        c.name = m[1];
        c.minimum = m[2].matched ? std::stol(m[2]) : 0;
        c.maximum = m[3].matched ? std::stol(m[3]) : 1;
        c.step = m[4].matched ? std::stol(m[4]) : 1;
        c.defaultValue = std::stol(m[5]);
        c.value = std::stol(m[6]);
        controls.push_back(c);
    }
    return controls;
}

std::vector<PeerFormat> PeerFormats(const std::string& node) {
    std::vector<PeerFormat> formats;
    const Shell listed = Sh("v4l2-ctl -d " + node + " --list-formats-ext");
    static const std::regex kFormat(R"(^\s*\[\d+\]: '(....)')");
    static const std::regex kSize(R"(^\s*Size: Discrete (\d+)x(\d+))");
    std::istringstream lines(listed.output);
    std::string line, fourcc;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_search(line, m, kFormat)) {
            fourcc = m[1];
        } else if (std::regex_search(line, m, kSize) && !fourcc.empty()) {
            formats.push_back({fourcc, static_cast<unsigned>(std::stoul(m[1])), static_cast<unsigned>(std::stoul(m[2]))});
        }
    }
    return formats;
}

Held HeldVideoFiles() {
    Held held;
    const Shell fds = Sh("ls -l /proc/" + std::to_string(getpid()) + "/fd");
    const Shell maps = Sh("cat /proc/" + std::to_string(getpid()) + "/maps");
    std::istringstream lines(fds.output);
    std::string line;
    while (std::getline(lines, line)) held.descriptors += line.find("/dev/video") != std::string::npos;
    std::istringstream mapped(maps.output);
    while (std::getline(mapped, line)) held.mappings += line.find("/dev/video") != std::string::npos;
    return held;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Built(const std::string& relative) { return std::string(SV_BUILD_DIR) + "/" + relative; }

}  // namespace sv::guest
