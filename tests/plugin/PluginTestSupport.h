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

// Runs one of the image scripts into `dir`; false when it fails.
bool MakeImages(const std::string& script, const std::string& dir);

::testing::AssertionResult IsSuccess(const Reply& reply);
::testing::AssertionResult IsError(const Reply& reply, const std::string& code, const std::string& message,
                                   const EncodableValue& details);
int AsInt(const Reply& reply);

}  // namespace plugintest
