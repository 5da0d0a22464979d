#pragma once
// The class registry file: where registered controls record their class identifiers and library
// paths, and where hosts look them up. A small INI file beside the program's settings:
// $STRANDEL_CLASS_REGISTRY, else $XDG_CONFIG_HOME/Holvane/Classes.ini, else ~/.config/Holvane/Classes.ini.
// Sections are registry key paths ("CLSID\{...}"), "@" names a key's default value.
#include <string>
#include <utility>
#include <vector>

namespace strandel {

struct RegistrySection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
};

std::string ClassRegistryPath();
std::vector<RegistrySection> ReadClassRegistry(const std::string &path);
bool WriteClassRegistry(const std::string &path, const std::vector<RegistrySection> &sections);

// The library registered for a class identifier ("{...}", any letter case); empty when none.
std::string FindClassLibrary(const std::string &clsid);

} // namespace strandel
