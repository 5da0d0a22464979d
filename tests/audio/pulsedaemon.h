#pragma once
// A private PulseAudio daemon for a test: a null sink (its monitor is the default source) on a
// socket in a temporary folder, reached through PULSE_SERVER. The daemon dies with the test
// process and is stopped by the destructor; every wait is bounded.
#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace strandel::test {

// The microphone a test sees: a plain source over the null sink's monitor (Qt lists no monitor
// among its inputs). Loaded at start; a test may unload it and load it again with this line.
inline constexpr const char *kPulseMicModule =
    "module-remap-source source_name=strandel_mic master=strandel_null.monitor channels=1 "
    "master_channel_map=mono channel_map=mono";

class PulseDaemon {
public:
    // Starts the daemon; false with the reason when it cannot (no pulseaudio, no socket in time).
    bool Start(std::string &why)
    {
        if (!dir_.isValid()) {
            why = "no temporary folder";
            return false;
        }
        const std::string d = dir_.path().toStdString();
        const std::string socket = d + "/native";
        setenv("PULSE_RUNTIME_PATH", d.c_str(), 1);
        setenv("PULSE_STATE_PATH", d.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        setenv("PULSE_COOKIE", (d + "/cookie").c_str(), 1);
        const std::string log = d + "/pulseaudio.log";
        const std::string script = d + "/strandel.pa";
        {
            std::ofstream pa(script);
            pa << "load-module module-native-protocol-unix socket=" << socket << " auth-anonymous=1\n"
               << "load-module module-null-sink sink_name=strandel_null rate=8000 channels=1\n"
               << "load-module " << kPulseMicModule << "\n"
               << "set-default-sink strandel_null\n"
               << "set-default-source strandel_mic\n";
        }
        // The daemon's environment, made before the fork: HOME in the folder keeps its state there.
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e)
            if (std::strncmp(*e, "HOME=", 5) != 0)
                env.emplace_back(*e);
        env.push_back("HOME=" + d);
        std::vector<char *> envp;
        for (std::string &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const char *argv[] = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                              "--disable-shm=yes", "--log-target=stderr", "-F", script.c_str(), nullptr};
        pid_ = fork();
        if (pid_ < 0) {
            why = "fork failed";
            return false;
        }
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives the test
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
            }
            execvpe("pulseaudio", const_cast<char *const *>(argv), envp.data());
            _exit(127);
        }
        // Ready once the socket accepts a connection.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                why = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "pulseaudio is not installed"
                                                                      : "pulseaudio exited at start (see its log)";
                return false;
            }
            if (Accepts(socket))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        why = "pulseaudio did not open its socket within 10 s";
        Stop();
        return false;
    }

    void Stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (waitpid(pid_, nullptr, WNOHANG) != pid_) {
            if (std::chrono::steady_clock::now() > until) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid_ = -1;
    }

    ~PulseDaemon() { Stop(); }

private:
    static bool Accepts(const std::string &path)
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (path.size() >= sizeof a.sun_path) {
            close(fd);
            return false;
        }
        path.copy(a.sun_path, path.size());
        const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        close(fd);
        return ok;
    }

    QTemporaryDir dir_{QDir::tempPath() + "/strandel-pulse-XXXXXX"};
    pid_t pid_ = -1;
};

} // namespace strandel::test
