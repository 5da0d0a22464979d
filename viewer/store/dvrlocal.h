#pragma once
// The local connections: replay of a recorded `.dvr` file (CDvrFile) and of a recorder disk
// attached to the PC (CDvrHdd). They answer the view's commands with the packets a recorder
// would send and push records as command 3 parts, all on the UI thread.
#include "platform/events.h"
#include "viewer/link/dvrlink.h"
#include "viewer/store/dvrstore.h"

#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace strandel {

// What the players need of their view beyond DvrViewLink.
struct DvrLocalHooks {
    // TfrmDvrWin::SetVideoFormat: channel count and video byte of an opened file.
    std::function<void(int channelCount, uint8_t video)> setVideoFormat;
    // TfrmDvrWin::IsPlayBufferHigh: the file player waits while it is true.
    std::function<bool()> isPlayBufferHigh;
    // TfrmDvrHddSel: shows one line per disk found, the first selected; returns the chosen
    // line or -1 when cancelled. Without it the first disk is taken.
    std::function<int(const std::vector<std::string> &lines)> selectDisk;
    // What is left of the pause the last pushed record asked the view for, in ms: the next
    // record waits for it (the players push on the view's thread, which never sleeps it).
    std::function<int()> pauseLeft;
};

class CDvrLocal : public CDvrBase {
public:
    explicit CDvrLocal(DvrViewLink *owner);
    ~CDvrLocal() override;

    bool Init(DvrListRecord *record) override;
    bool Connect() override;
    void Close() override;
    bool Disconnect() override;
    bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override;
    virtual void HandleCommand(const PacketHeader &header, const uint8_t *data);
    virtual bool Open();
    virtual void Stop();

    void QueueCommand(const PacketHeader &header, const uint8_t *data);
    // The 1 ms queue timer: answers the commands queued before it ran.
    void OnQueueTimer();
    // The play timer.
    virtual void OnPlayTimer() {}
    void SendAnswer(uint8_t cmd, uint8_t flag, const uint8_t *data, int length);
    // One record as command 3 parts: each part in chunks of at most 1024 bytes with its end
    // packet, then the 128-byte header.
    void SendRecord(const uint8_t *header, const uint8_t *part0, const uint8_t *part1, const uint8_t *part2);

    void SetHooks(DvrLocalHooks hooks) { hooks_ = std::move(hooks); }
    DvrStoreContext &Store() { return store_; }
    bool QueueTimerActive() const { return queueTimer_.isActive(); }
    bool PlayTimerActive() const { return playTimer_.isActive(); }
    int PlayInterval() const { return playTimer_.interval(); }

protected:
    // PlayStatus {30, state, fast, slow, direction, 0, 0, 0} and PLAY_END (byte 0 = 9).
    void AnswerPlayStatus();
    void AnswerPlayEnd();
    // PT_PLAY (pause, step, resume, direction, speed); false when the arguments are short.
    bool PlayRequest(const uint8_t *args, int length);
    void StartPlay(int intervalMs);
    // The data of a record read by a tick, pushed to the view; true when it is MPEG video.
    bool PushRecord(const uint8_t *header, const uint8_t *data);
    void SetPlayTimer(bool on);
    // After a tick that showed one step while paused: pause again and tell the view.
    void EndSingleStep();
    // True when the view still pauses: the tick is taken again once the pause ends.
    bool WaitForView();
    // The next tick after `interval`, or once the view's pause ends when that is later.
    void SetNextTick(int interval);

    DvrStoreContext store_;
    DvrLocalHooks hooks_;
    QTimer queueTimer_;
    QTimer playTimer_;
    TimedEvent lock_{true, true};

private:
    struct Queued {
        PacketHeader header;
        std::vector<uint8_t> data;
    };
    std::deque<Queued> queue_;
};

class CDvrFile : public CDvrLocal {
public:
    explicit CDvrFile(DvrViewLink *owner);
    void HandleCommand(const PacketHeader &header, const uint8_t *data) override;
    bool Open() override;
    void Stop() override;
    void OnPlayTimer() override;
    void PlayControl(uint8_t sub, const uint8_t *args, int length);
    bool FileOpen() const { return store_.stream != nullptr; }

private:
    std::vector<uint8_t> header_;
    std::vector<uint8_t> data_;
};

class CDvrHdd : public CDvrLocal {
public:
    explicit CDvrHdd(DvrViewLink *owner);
    ~CDvrHdd() override;
    void HandleCommand(const PacketHeader &header, const uint8_t *data) override;
    bool Open() override;
    void Stop() override;
    void OnPlayTimer() override;
    void PlayControl(uint8_t sub, const uint8_t *args, int length);
    void StopPlay();

private:
    std::vector<uint8_t> recordBuf_;
};

} // namespace strandel
