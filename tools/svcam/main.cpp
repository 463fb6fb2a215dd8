// svcam: list, inspect, capture from and control cameras through SorvanSDK.

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <sorvansdk/SorvanSDK.h>

#include "Commands.h"

namespace {

bool ParseLogLevel(const std::string& text, SV_LOG_LEVEL& level) {
    static const std::map<std::string, SV_LOG_LEVEL> names = {
        {"trace", SV_LOG_LEVEL_TRACE}, {"debug", SV_LOG_LEVEL_DEBUG},    {"info", SV_LOG_LEVEL_INFO},
        {"warning", SV_LOG_LEVEL_WARN}, {"error", SV_LOG_LEVEL_ERROR}, {"critical", SV_LOG_LEVEL_CRITICAL},
        {"off", SV_LOG_LEVEL_OFF}};
    auto it = names.find(text);
    if (it == names.end()) return false;
    level = it->second;
    return true;
}

// Edits that turn `a` into `b`: insertions, deletions, substitutions, and a
// swap of two neighbouring letters counted as one ("lsit" is one from "list").
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The name nearest to `word`, or "" when none is near enough to be meant.
std::string Nearest(const std::string& word, const std::vector<std::string>& names) {
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(2, word.size() / 3) + 1;
    for (const auto& name : names) {
        const std::size_t distance = EditDistance(word, name);
        if (distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    return best;
}

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// A command line with a word svcam does not know: names the word and the
// command or option nearest to it ("unknown command 'lsit'; did you mean
// 'list'?"). False when the failure is of another kind.
bool ExplainUnknownWord(CLI::App& app) {
    // The deepest command given; its words, and its parents' options, are
    // what the unknown word was meant to be.
    CLI::App* current = &app;
    std::string where = "svcam";
    for (auto given = current->get_subcommands(); !given.empty(); given = current->get_subcommands()) {
        current = given.front();
        where += " " + current->get_name();
    }
    const std::vector<std::string> rest = app.remaining(true);
    if (rest.empty()) return false;
    const auto option = std::find_if(rest.begin(), rest.end(), [](const std::string& w) { return w.size() > 1 && w[0] == '-'; });
    if (option != rest.end()) {
        const std::string word = option->substr(0, option->find('='));
        std::vector<std::string> names;
        for (CLI::App* level = current; level; level = level->get_parent()) {
            for (const CLI::Option* o : level->get_options()) {
                for (const auto& n : o->get_lnames()) names.push_back("--" + n);
                for (const auto& n : o->get_snames()) names.push_back("-" + n);
            }
        }
        const std::string near = Nearest(word, names);
        std::cerr << where << ": unknown option '" << word << "'"
                  << (near.empty() ? "; " + where + " --help lists the options" : "; did you mean '" + near + "'?") << "\n";
        return true;
    }
    std::vector<std::string> commands;
    for (const CLI::App* sub : current->get_subcommands([](CLI::App*) { return true; })) commands.push_back(sub->get_name());
    if (commands.empty()) return false;  // an extra value: CLI11's own words say it
    const std::string near = Nearest(rest.front(), commands);
    std::cerr << where << ": unknown command '" << rest.front() << "'"
              << (near.empty() ? "; commands: " + Join(commands) : "; did you mean '" + near + "'?") << "\n";
    return true;
}

}  // namespace

// The library reads its back-end choice from the environment.
static void SetEnvironment(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

int main(int argc, char** argv) {
    CLI::App app{"svcam: cameras through SorvanSDK (the simulated ones with --backend sim)"};
    app.require_subcommand(1);

    std::string backend;
    std::string world;
    std::string logLevel;
    std::string logDir;
    svcam::GlobalOptions global;
    app.add_option("--backend", backend, "sim or native")->check(CLI::IsMember({"sim", "native"}));
    app.add_option("--world", world, "world file of the simulated machine")->check(CLI::ExistingFile);
    app.add_flag("--json", global.json, "print one JSON document instead of tables");
    app.add_option("--log-level", logLevel, "trace, debug, info, warning, error, critical or off");
    app.add_option("--log-dir", logDir,
                   "also write the library log to DIR/szlog.log (its records need --log-level; "
                   "with the default, off, the file holds only its opening line)");
    app.fallthrough();

    std::string camera;
    std::string control;
    std::string value;
    bool automatic = false;
    svcam::CaptureOptions capture;
    std::string demoOut = "out";

    auto* list = app.add_subcommand("list", "the attached cameras");
    auto* formats = app.add_subcommand("formats", "the native formats of a camera");
    formats->add_option("camera", camera, "index or part of the name")->required();
    auto* cap = app.add_subcommand("capture", "stream frames and write them to files");
    cap->add_option("camera", camera, "index or part of the name")->required();
    auto* formatOpt = cap->add_option("--format", capture.formatIndex, "index in the format table");
    cap->add_option("--size", capture.size, "WIDTHxHEIGHT")->excludes(formatOpt);
    cap->add_option("--pixel", capture.pixel, "YUY2, UYVY, NV12 or MJPG")->excludes(formatOpt);
    cap->add_option("--frames", capture.frames, "number of frames (default 5)");
    cap->add_option("--timeout", capture.timeoutMs, "wait per frame in ms (default 2000)");
    cap->add_option("--out", capture.outDir, "folder for the files (default out)");
    auto* controls = app.add_subcommand("controls", "every control with value and range");
    controls->add_option("camera", camera, "index or part of the name")->required();
    auto* get = app.add_subcommand("get", "read one control");
    get->add_option("camera", camera, "index or part of the name")->required();
    get->add_option("name", control, "control name (brightness, exposure, gamma, ehdr-mode, ...)")->required();
    auto* set = app.add_subcommand("set", "change one control");
    set->add_option("camera", camera, "index or part of the name")->required();
    set->add_option("name", control, "control name")->required();
    set->add_option("value", value, "whole number")->required();
    set->add_flag("--auto", automatic, "automatic mode (UVC controls)");
    auto* info = app.add_subcommand("info", "the device record and firmware facts");
    info->add_option("camera", camera, "index or part of the name")->required();
    std::string profileFile;
    std::string profileFlag;
    auto* profile = app.add_subcommand("profile", "on-camera profiles and profile documents (KIVO, LIRA)");
    profile->require_subcommand(1);
    auto* profileShow = profile->add_subcommand("show", "the on-camera profile as JSON");
    profileShow->add_option("camera", camera, "index or part of the name")->required();
    auto* profileLoad = profile->add_subcommand("load", "load a profile document and apply it (controls and format)");
    profileLoad->add_option("camera", camera, "index or part of the name")->required();
    profileLoad->add_option("file", profileFile, "profile document (JSON)")->required();
    auto* profileApply = profile->add_subcommand("apply", "apply the on-camera profile (controls and format)");
    profileApply->add_option("camera", camera, "index or part of the name")->required();
    auto* profileFlagCmd = profile->add_subcommand("flag", "read the profile flag, or send VALUE (0-255) first");
    profileFlagCmd->add_option("camera", camera, "index or part of the name")->required();
    profileFlagCmd->add_option("value", profileFlag, "new flag (2: reset)");
    auto* profileReset = profile->add_subcommand("reset", "ISP defaults, then flag 2");
    profileReset->add_option("camera", camera, "index or part of the name")->required();
    auto* demo = app.add_subcommand("demo", "list, formats, a capture from each camera, controls");
    demo->add_option("--out", demoOut, "folder for the files (default out)");
    std::string file;
    std::string out;
    auto* exportCmd = app.add_subcommand("export", "write a maker camera's sensor configuration to a file");
    exportCmd->add_option("camera", camera, "index or part of the name")->required();
    exportCmd->add_option("file", file, "the file to write")->required();
    auto* decode = app.add_subcommand("decode", "turn a sensor configuration file into a JSON document");
    decode->add_option("file", file, "a file written by export")->required();
    decode->add_option("out", out, "the JSON file to write")->required();

    svcam::UpgradeOptions upgradeOptions;
    auto* upgrade = app.add_subcommand("upgrade", "firmware upgrades");
    upgrade->require_subcommand(1);
    auto* fx3 = upgrade->add_subcommand("fx3", "the USB bridge's firmware (RAM, I2C EEPROM or SPI flash)");
    fx3->add_option("--target", upgradeOptions.target, "ram, i2c or spi (default ram)")
        ->check(CLI::IsMember({"ram", "i2c", "spi"}));
    fx3->add_option("--camera", upgradeOptions.camera, "send this camera's bridge into program mode first");
    fx3->add_option("--programmer", upgradeOptions.programmer, "flash programmer image to download into RAM first");
    fx3->add_option("image", upgradeOptions.image, "the boot image")->required();
    bool eraseFirst = false;
    bool confirmed = false;
    std::string sensorImage;
    auto* sensor = upgrade->add_subcommand("sensor", "a maker camera's sensor board firmware");
    sensor->add_option("camera", camera, "index or part of the name")->required();
    sensor->add_option("image", sensorImage, "the bootdata (KIVO) or firmware (LIRA) image")->required();
    sensor->add_flag("--erase-first", eraseFirst, "erase the board first (a LIRA module needs it)");
    auto* cleanSensor = app.add_subcommand("clean-sensor", "erase a maker camera's sensor board firmware");
    cleanSensor->add_option("camera", camera, "index or part of the name")->required();
    cleanSensor->add_flag("--yes", confirmed, "really erase it");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != 0 && ExplainUnknownWord(app)) return svcam::kExitUsage;
        return app.exit(e) == 0 ? 0 : svcam::kExitUsage;
    }

    // The back-end is chosen before the library's first call. The demo runs on
    // the simulated machine unless told otherwise.
    if (backend.empty() && demo->parsed() && !std::getenv("SORVANSDK_BACKEND")) backend = "sim";
    if (!backend.empty()) SetEnvironment("SORVANSDK_BACKEND", backend);
    if (!world.empty()) SetEnvironment("SORVANSDK_SIM_WORLD", world);

    // svcam reports failures itself, with the result of the call; the library
    // log is opt-in (--log-level, --log-dir).
    SV_LOG_LEVEL level = SV_LOG_LEVEL_OFF;
    if (!logLevel.empty() && !ParseLogLevel(logLevel, level)) {
        std::cerr << "svcam: unknown log level '" << logLevel << "'\n";
        return svcam::kExitUsage;
    }
    SvSetLogLevel(level);
    if (!logDir.empty() && SvSetLogFile(logDir) != 0) {
        std::cerr << "svcam: cannot write logs to " << logDir << "\n";
        return svcam::kExitFailure;
    }

    try {
        if (list->parsed()) return svcam::ListCommand(global);
        if (formats->parsed()) return svcam::FormatsCommand(global, camera);
        if (cap->parsed()) return svcam::CaptureCommand(global, camera, capture);
        if (controls->parsed()) return svcam::ControlsCommand(global, camera);
        if (get->parsed()) return svcam::GetCommand(global, camera, control);
        if (set->parsed()) return svcam::SetCommand(global, camera, control, value, automatic);
        if (info->parsed()) return svcam::InfoCommand(global, camera);
        if (demo->parsed()) return svcam::DemoCommand(global, demoOut);
        if (exportCmd->parsed()) return svcam::ExportCommand(global, camera, file);
        if (decode->parsed()) return svcam::DecodeCommand(global, file, out);
        if (profileShow->parsed()) return svcam::ProfileShowCommand(global, camera);
        if (profileLoad->parsed()) return svcam::ProfileLoadCommand(global, camera, profileFile);
        if (profileApply->parsed()) return svcam::ProfileApplyCommand(global, camera);
        if (profileFlagCmd->parsed()) return svcam::ProfileFlagCommand(global, camera, profileFlag);
        if (profileReset->parsed()) return svcam::ProfileResetCommand(global, camera);
        if (fx3->parsed()) return svcam::UpgradeFx3Command(global, upgradeOptions);
        if (sensor->parsed()) return svcam::SensorUpgradeCommand(global, camera, sensorImage, eraseFirst);
        if (cleanSensor->parsed()) return svcam::CleanSensorCommand(global, camera, confirmed);
    } catch (const svcam::CommandError& e) {
        std::cerr << "svcam: " << e.what() << "\n";
        return e.status;
    } catch (const std::exception& e) {
        std::cerr << "svcam: " << e.what() << "\n";
        return svcam::kExitFailure;
    }
    return svcam::kExitUsage;
}
