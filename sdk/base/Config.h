#pragma once

// The configuration search and the "SvConfig.conf" parser.

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sv {

// section -> key -> values, in file order. Keys before the first section
// header belong to the section with the empty name.
using ConfigMap =
    std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>>;

// "SvConfig" -> "SvConfig.conf", "SvExposure" -> "SvExposure.yaml", else "".
std::string ConfigFileName(const std::string& name);

// Candidate places for a configuration file, in search order: the folder in
// SORVANSDK_CONFIG_PATH (when set), "config" below the current directory, the
// executable's folder, the current directory, the installed configuration
// folder as found from the library's own place (POSIX, when known), the
// installed configuration folder compiled in.
std::vector<std::string> GetConfigCandidatePaths(const std::string& name);

// The first candidate that exists (file or folder); "" after logging all of
// them when none does. A candidate whose existence cannot be tested counts as missing.
std::string FindFirstExistingPath(const std::vector<std::string>& candidates);

// Parses the text of a configuration file into `map` (appending). Lines
// that are not a section header or "key = a,b,c" are passed over.
void ParseConfigText(const std::string& text, ConfigMap& map);

// Parses `path` into `map` (appending). 0 on success, -1 when the file is
// missing or cannot be opened.
int LoadConfigMap(const std::string& path, ConfigMap& map);

// The family (section name) whose "products" list has an item contained in
// `name`; sections are taken in the map's order and the first match that
// `accept` takes wins. "" when none matches.
std::string FindProductFamily(const ConfigMap& map, const std::string& name,
                              const std::function<bool(const std::string&)>& accept = nullptr);

// Product type of a device name from the "products" lists: KIVO 3, LIRA 2,
// otherwise generic 1. Sections of other names are passed over. Discovery and
// the manager both ask it, so it sits below them.
int ProductTypeForName(const ConfigMap& config, const std::string& deviceName);

// Folder of the running executable ("" when it cannot be found).
std::string ExecutableFolder();

// Folder of the file the library's code was loaded from: the shared library,
// or the program itself when the library is linked in statically. "" when it
// cannot be found, and always on Windows.
std::string LibraryFolder();

// The installed configuration folder relative to LibraryFolder()
// ("<libdir>/../etc/sorvansdk" for the usual layout); "" when the library's
// folder is unknown, and always on Windows.
std::string ConfigFolderBesideLibrary();

}  // namespace sv
