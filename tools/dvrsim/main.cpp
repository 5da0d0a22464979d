// dvrsim: a recorder at the other end of the protocol, for tests and the demo.
#include "simserver.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

using namespace strandel::sim;

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    SimOptions options;
    std::string error;
    bool help = false;
    if (!ParseSimOptions(args, options, error, &help) && !help) {
        std::fprintf(stderr, "dvrsim: %s\n%s", error.c_str(), SimUsage());
        return 2;
    }
    options.announce = true;
    if (help) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }

    if (!options.makeFirmware.empty()) {
        const auto image = MakeFirmwareImage(options.model, size_t(options.firmwareSize));
        std::FILE *f = std::fopen(options.makeFirmware.c_str(), "wb");
        bool ok = f && std::fwrite(image.data(), 1, image.size(), f) == image.size();
        if (f)
            ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            std::fprintf(stderr, "dvrsim: cannot write %s\n", options.makeFirmware.c_str());
            return 1;
        }
        std::printf("dvrsim: wrote %s: a firmware image of %zu bytes for model %d (tag %s)\n",
                    options.makeFirmware.c_str(), image.size(), options.model, FirmwareTagFor(options.model));
        return 0;
    }

    // The server thread inherits a mask without SIGINT and SIGTERM; main waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    DvrSimServer server(options);
    if (!server.Start(error)) {
        std::fprintf(stderr, "dvrsim: %s\n", error.c_str());
        return 1;
    }
    if (server.TcpPort())
        std::printf("dvrsim: listening on %s:%d\n", options.listenHost.c_str(), server.TcpPort());
    if (!server.SerialPath().empty())
        std::printf("dvrsim: serial line on %s\n", server.SerialPath().c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.Stop();
    return 0;
}
