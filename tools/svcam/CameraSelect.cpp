#include "CameraSelect.h"

#include <cctype>

namespace svcam {
namespace {

std::string List(const std::vector<std::string>& names) {
    if (names.empty()) return "no cameras are attached";
    std::string text = "cameras:";
    for (std::size_t i = 0; i < names.size(); ++i) text += "\n  " + std::to_string(i) + ": " + names[i];
    return text;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (unsigned char c : s) {
        if (!std::isdigit(c)) return false;
    }
    return true;
}

}  // namespace

bool SelectCamera(const std::string& spec, const std::vector<std::string>& names, CameraChoice& choice,
                  std::string& error) {
    if (AllDigits(spec) && spec.size() < 6) {
        const int index = std::stoi(spec);
        if (index < static_cast<int>(names.size())) {
            choice = {index, names[static_cast<std::size_t>(index)]};
            return true;
        }
        error = "no camera with index " + spec + "; " + List(names);
        return false;
    }
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == spec) {  // an exact name wins over substrings of others
            choice = {static_cast<int>(i), names[i]};
            return true;
        }
        if (names[i].find(spec) != std::string::npos) matches.push_back(i);
    }
    if (matches.size() == 1) {
        choice = {static_cast<int>(matches[0]), names[matches[0]]};
        return true;
    }
    error = (matches.empty() ? "no camera matches '" : "more than one camera matches '") + spec + "'; " +
            List(names);
    return false;
}

}  // namespace svcam
