#pragma once
// The simulated recorder on the wire: a thread that listens on TCP and serves a serial device
// or a pseudo-terminal, with one session per connection. Everything runs on that one thread;
// the accessors for tests take the same lock the thread holds while it works.
#include "simoptions.h"
#include "simrecorder.h"
#include "simsession.h"
#include "transcript.h"
#include "videosource.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace strandel::sim {

class DvrSimServer {
public:
    explicit DvrSimServer(SimOptions options);
    ~DvrSimServer();
    DvrSimServer(const DvrSimServer &) = delete;
    DvrSimServer &operator=(const DvrSimServer &) = delete;

    // Loads the configuration record and the video source, opens the sockets and the serial
    // line, and starts the thread. False with a message when any of it fails.
    bool Start(std::string &error);
    void Stop();

    // The TCP port listened on (the chosen one when port 0 was asked), 0 without TCP.
    int TcpPort() const { return tcpPort_; }
    // The serial device, or the slave path of the pseudo-terminal.
    const std::string &SerialPath() const { return serialPath_; }

    // Runs fn on the recorder's state while the thread is held.
    template <typename F> auto WithRecorder(F fn)
    {
        std::lock_guard l(mutex_);
        return fn(*recorder_);
    }
    void InjectFault(FaultKind kind, int count = 1);
    int PendingFaults(FaultKind kind) const;
    // Summed over every session the server has had.
    int AliveCount() const;
    uint64_t RecordsPushed() const;
    int LoggedInSessions() const;
    int Connections() const;

private:
    struct Connection;
    void Run();
    void Accept();
    bool ReadFrom(Connection &c);
    void Close(size_t index);

    SimOptions options_;
    std::unique_ptr<SimRecorder> recorder_;
    std::unique_ptr<VideoSource> source_;
    Transcript transcript_;
    SimFaults faults_{};

    int listenFd_ = -1;
    int tcpPort_ = 0;
    int serialFd_ = -1;
    int ptySlaveFd_ = -1; // held open so the master never sees a hang-up
    std::string serialPath_;
    int wake_[2] = {-1, -1};
    int nextId_ = 1;

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Connection>> connections_;
    int closedAlive_ = 0;
    uint64_t closedRecords_ = 0;
    std::atomic<bool> stop_{false};
    bool audioSaved_ = false;
    std::thread thread_;
};

} // namespace strandel::sim
