// What the guest checks share: shell commands, kernel modules, finding the
// camera a driver presents, the library's answers in a form tests compare.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sorvansdk/SorvanSDK.h"

namespace sv::guest {

struct Shell {
    int status = -1;     // the command's exit status; -1 when it did not run
    std::string output;  // standard output and standard error, interleaved
};

// Runs `command` with /bin/sh and collects what it prints.
Shell Sh(const std::string& command);

// A camera the library lists, with its position in the list.
struct Listed {
    int index = -1;
    std::string name;
    std::shared_ptr<SvCamera> camera;
};

// Discovers again until a camera whose name satisfies `match` is listed, for
// at most `limit`; an empty result when none appeared.
Listed WaitForCamera(const std::function<bool(const std::string&)>& match, std::chrono::milliseconds limit);

// The /dev node behind `camera`, read from its device path.
std::string NodeOf(const std::shared_ptr<SvCamera>& camera);

// One control as `v4l2-ctl --list-ctrls` gives it.
struct PeerControl {
    std::string name;
    long minimum = 0, maximum = 0, step = 0, defaultValue = 0, value = 0;
};
std::vector<PeerControl> PeerControls(const std::string& node);

// Frame sizes per pixel format ("YUYV" -> {"640x360", ...}) as
// `v4l2-ctl --list-formats-ext` gives them.
struct PeerFormat {
    std::string fourcc;
    unsigned width = 0, height = 0;
};
std::vector<PeerFormat> PeerFormats(const std::string& node);

// What this process still holds of video nodes: open descriptors and
// mapped buffers of /dev/video* files.
struct Held {
    int descriptors = 0;
    int mappings = 0;
};
Held HeldVideoFiles();

// CPU time this process has used, user and system, in seconds.
double ProcessCpuSeconds();

// Path of a program built beside these checks (tools/svcam/svcam, ...).
std::string Built(const std::string& relative);

}  // namespace sv::guest
