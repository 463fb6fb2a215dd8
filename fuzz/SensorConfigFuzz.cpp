// Sensor configuration files: the decoder either refuses a file and writes
// nothing, or writes a JSON document.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <rapidjson/document.h>

#include "FuzzSupport.h"
#include "formats/SensorConfig.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svfuzz::QuietLogs();
    // The family lookup reads the shipped product lists.
    setenv("SORVANSDK_CONFIG_PATH", SORVANSDK_SOURCE_DIR "/config", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static svfuzz::ScratchFile input("sensor-config.bin");
    static svfuzz::ScratchFile output("sensor-config.json");
    const std::string& in = input.Write(data, size);
    const std::string& out = output.Write(nullptr, 0);
    std::remove(out.c_str());
    if (sv::formats::DecodeSensorConfig(in, out) != 0) {
        if (std::ifstream(out).good()) svfuzz::Broken("a refused file left a JSON file behind");
        return 0;
    }
    std::ifstream written(out);
    std::stringstream text;
    text << written.rdbuf();
    rapidjson::Document doc;
    doc.Parse(text.str().c_str());
    if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("ControlMode")) {
        svfuzz::Broken("a decoded file is not a profile document");
    }
    return 0;
}
