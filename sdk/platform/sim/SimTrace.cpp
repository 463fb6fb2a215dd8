#include "platform/sim/SimTrace.h"

#include <cerrno>
#include <cstring>

namespace sv::sim {

SimTrace::~SimTrace() {
    if (file_ != nullptr) std::fclose(file_);
}

bool SimTrace::OpenFile(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (f == nullptr) {
        error = "cannot open trace file '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) std::fclose(file_);
    file_ = f;
    UpdateEnabled();
    return true;
}

void SimTrace::SetSink(Sink sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = std::move(sink);
    UpdateEnabled();
}

void SimTrace::UpdateEnabled() { enabled_.store(file_ != nullptr || static_cast<bool>(sink_), std::memory_order_release); }

SimTrace::Line SimTrace::Begin(int64_t timeUs, const std::string& device, const char* op) {
    Line line;
    line["t"] = timeUs;
    if (!device.empty()) line["dev"] = device;
    line["op"] = op;
    return line;
}

void SimTrace::Write(const Line& line) {
    if (!Enabled()) return;
    const std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) {
        std::fputs(text.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }
    if (sink_) sink_(text);
}

std::string SimTrace::PayloadHex(const uint8_t* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    if (data == nullptr) return "";
    while (length > 0 && data[length - 1] == 0) --length;
    std::string out;
    out.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 0xF]);
    }
    return out;
}

}  // namespace sv::sim
