#pragma once

// The svcam commands. Each prints a table, or one JSON document with --json,
// and returns the process exit status.

#include <stdexcept>
#include <string>

namespace svcam {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // a library call or the device failed
constexpr int kExitUsage = 2;    // the command line names something that is not there

struct GlobalOptions {
    bool json = false;
};

// A failure that ends the command with a message and a status.
struct CommandError : std::runtime_error {
    CommandError(const std::string& message, int exitStatus)
        : std::runtime_error(message), status(exitStatus) {}
    int status;
};

struct CaptureOptions {
    int formatIndex = -1;
    std::string size;   // "WxH"
    std::string pixel;  // "YUY2", ...
    int frames = 5;
    int timeoutMs = 2000;
    std::string outDir = "out";
};

int ListCommand(const GlobalOptions& global);
int FormatsCommand(const GlobalOptions& global, const std::string& camera);
int CaptureCommand(const GlobalOptions& global, const std::string& camera, const CaptureOptions& options);
int ControlsCommand(const GlobalOptions& global, const std::string& camera);
int GetCommand(const GlobalOptions& global, const std::string& camera, const std::string& control);
int SetCommand(const GlobalOptions& global, const std::string& camera, const std::string& control,
               const std::string& value, bool automatic);
int InfoCommand(const GlobalOptions& global, const std::string& camera);
int DemoCommand(const GlobalOptions& global, const std::string& outDir);
// A maker camera's sensor configuration to FILE, and such a file to JSON.
int ExportCommand(const GlobalOptions& global, const std::string& camera, const std::string& file);
int DecodeCommand(const GlobalOptions& global, const std::string& file, const std::string& out);

// On-camera profiles and profile documents of the maker's cameras.
int ProfileShowCommand(const GlobalOptions& global, const std::string& camera);
int ProfileLoadCommand(const GlobalOptions& global, const std::string& camera, const std::string& file);
int ProfileApplyCommand(const GlobalOptions& global, const std::string& camera);
int ProfileFlagCommand(const GlobalOptions& global, const std::string& camera, const std::string& value);
int ProfileResetCommand(const GlobalOptions& global, const std::string& camera);
struct UpgradeOptions {
    std::string target = "ram";  // ram, i2c, spi
    std::string image;
    std::string camera;      // sent into the bridge's program mode first, when given
    std::string programmer;  // flash programmer downloaded into RAM first, when given
};
// The bridge's firmware: the program mode of a camera, a flash programmer,
// then the image to its target; a summary, and status 1 when a step failed.
int UpgradeFx3Command(const GlobalOptions& global, const UpgradeOptions& options);
// The sensor board's firmware of a maker camera (erased first when asked),
// with progress; and the erase alone, which needs `confirmed`.
int SensorUpgradeCommand(const GlobalOptions& global, const std::string& camera, const std::string& image,
                         bool eraseFirst);
int CleanSensorCommand(const GlobalOptions& global, const std::string& camera, bool confirmed);

}  // namespace svcam
