#pragma once

// A loaded plug-in on a fresh stand-in engine per test, and short ways to
// build arguments and check answers.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PluginHost.h"

namespace plugintest {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using sorvansdk_host::Reply;

EncodableValue I(int value);
EncodableValue S(const std::string& text);
EncodableValue L(std::initializer_list<EncodableValue> values);
EncodableValue M(std::initializer_list<std::pair<const char*, EncodableValue>> entries);

// The simulated machine's cameras by discovery index.
constexpr int kWebcam = 0;
constexpr int kKivo = 1;
constexpr int kLira = 2;

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Reply Call(const std::string& method, const EncodableValue& arguments = EncodableValue());
    // A new handle for a camera (not opened) / an opened one.
    int NewHandle(int index);
    int OpenHandle(int index);

    std::unique_ptr<sorvansdk_host::PluginHost> host_;
};

// A scratch folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A file whose reader waits at a gate: a job may start reading it, but gets
// no byte until Open() hands them over, and the file ends when they are all
// read. So a test decides when a job gets past reading its image, without
// waiting on time. (POSIX: a FIFO, whose reader's open waits for the writer;
// Windows: a named pipe, whose reader's first read waits for data; the path
// is then the pipe's.)
class GatedFile {
public:
    // `path` names where the FIFO is made (POSIX); on Windows the pipe's own
    // name is made from its last element.
    explicit GatedFile(const std::string& path);
    ~GatedFile();
    GatedFile(const GatedFile&) = delete;
    GatedFile& operator=(const GatedFile&) = delete;

    bool Ready() const;
    const std::string& Path() const { return path_; }
    // Waits for the reader to come (a minute at most), hands it `bytes` and
    // ends the file; false when the reader did not come or the bytes could
    // not all be written. Once only.
    bool Open(const std::vector<uint8_t>& bytes);

private:
    std::string path_;
#if defined(_WIN32)
    void* pipe_ = nullptr;
#else
    bool opened_ = false;
#endif
};

// The bytes of a file; empty when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::string& path);

// Runs one of the image scripts into `dir`; false when it fails.
bool MakeImages(const std::string& script, const std::string& dir);

::testing::AssertionResult IsSuccess(const Reply& reply);
::testing::AssertionResult IsError(const Reply& reply, const std::string& code, const std::string& message,
                                   const EncodableValue& details);
int AsInt(const Reply& reply);

}  // namespace plugintest
