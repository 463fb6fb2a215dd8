#pragma once

// Checks shared by the readers of world files and of model configurations.
// Each reader reports a problem its own way: `fail(where, what)` must throw.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace sv::sim::jsonread {

// "a string", "a number", ...: what a value is, for messages.
inline const char* TypeName(const nlohmann::json& v) {
    if (v.is_string()) return "a string";
    if (v.is_boolean()) return "a boolean";
    if (v.is_number()) return "a number";
    if (v.is_array()) return "an array";
    if (v.is_object()) return "an object";
    return "null";
}

inline std::string Join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

// Every key of `obj` must be one of `allowed`.
template <typename Fail>
void CheckKeys(const nlohmann::json& obj, const std::string& path, std::initializer_list<const char*> allowed,
               Fail&& fail) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const bool known = std::any_of(allowed.begin(), allowed.end(), [&](const char* k) { return it.key() == k; });
        if (!known) fail(Join(path, it.key()), "unknown key");
    }
}

// An integer within lo..hi.
template <typename Fail>
int64_t Int(const nlohmann::json& v, const std::string& where, int64_t lo, int64_t hi, Fail&& fail) {
    if (!v.is_number_integer()) fail(where, fmt::format("expected an integer, found {}", TypeName(v)));
    const int64_t n = v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)
                          ? INT64_MAX
                          : v.get<int64_t>();
    if (n < lo || n > hi) fail(where, fmt::format("{} is outside {}..{}", n, lo, hi));
    return n;
}

}  // namespace sv::sim::jsonread
