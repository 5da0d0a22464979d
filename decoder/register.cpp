// Registers (or with -u unregisters) the decoder control in the class registry, as an installer
// would: lumaset_register [-u] [path to liblumaset.so]. Without a path it takes the library
// beside this program.
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    bool unregister = false;
    std::string library;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0)
            unregister = true;
        else
            library = argv[i];
    }
    if (library.empty()) {
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string(argv[0]);
        library = dir.substr(0, dir.find_last_of('/') + 1) + "liblumaset.so";
    }
    void *lib = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "lumaset_register: %s\n", dlerror());
        return 2;
    }
    using Fn = int32_t (*)();
    const auto fn = reinterpret_cast<Fn>(dlsym(lib, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
    const int32_t result = fn ? fn() : -1;
    if (result != 0)
        std::fprintf(stderr, "lumaset_register: %s failed (0x%08X)\n", library.c_str(), unsigned(result));
    dlclose(lib);
    return result == 0 ? 0 : 1;
}
