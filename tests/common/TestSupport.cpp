#include "common/LogCapture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sv::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvansdk-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(File(name), std::ios::binary);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace sv::test
