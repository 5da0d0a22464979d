#include "decoder/classregistry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace strandel {
namespace {

std::string Trim(const std::string &s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

bool MakeParentDirs(const std::string &path)
{
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/')
            continue;
        const std::string dir = path.substr(0, i);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

} // namespace

std::string ClassRegistryPath()
{
    if (const char *p = std::getenv("STRANDEL_CLASS_REGISTRY"); p && *p)
        return p;
    if (const char *x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::string(x) + "/Holvane/Classes.ini";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/Holvane/Classes.ini";
}

std::vector<RegistrySection> ReadClassRegistry(const std::string &path)
{
    std::vector<RegistrySection> sections;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || sections.empty())
            continue;
        sections.back().values.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return sections;
}

bool WriteClassRegistry(const std::string &path, const std::vector<RegistrySection> &sections)
{
    if (!MakeParentDirs(path))
        return false;
    std::ostringstream out;
    for (const RegistrySection &s : sections) {
        out << '[' << s.name << "]\n";
        for (const auto &[k, v] : s.values)
            out << k << '=' << v << '\n';
        out << '\n';
    }
    // Write beside and rename, so a reader never sees half a file.
    const std::string tmp = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream f(tmp, std::ios::trunc);
        if (!f)
            return false;
        f << out.str();
        if (!f.flush())
            return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

std::string FindClassLibrary(const std::string &clsid)
{
    const std::string want = "CLSID\\" + Upper(clsid);
    for (const RegistrySection &s : ReadClassRegistry(ClassRegistryPath())) {
        if (Upper(s.name) != want)
            continue;
        for (const auto &[k, v] : s.values)
            if (k == "InprocServer32")
                return v;
    }
    return {};
}

} // namespace strandel
