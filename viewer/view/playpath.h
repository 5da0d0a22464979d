#pragma once
// The picture path of a recorder view: the decision between showing a record at once and
// queueing its MPEG frames, the per-channel play rings, and the play scheduler that takes
// frames in record-time order and paces them. Headless: the view shows and decodes.
//
// Threads: QueueMpegFrame runs on the thread that delivered the record (a reader thread or
// the UI thread); Tick, Flush and every PlayPathHost call run on the UI thread. A ring has one
// producer and one consumer: the producer alone advances write, the consumer alone advances
// read and frees the frames it takes; both indices are atomics with acquire/release order.
#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "viewer/protocol/framerecord.h"
#include "viewer/view/jpegrecord.h"

namespace strandel {

constexpr int kPlayRingSlots = 90;
constexpr int kPlayChannels = 16;
constexpr size_t kPesFrameOverhead = 32;
constexpr size_t kPesHeaderBytes = 27; // the bytes the frame fields are read from
constexpr uint32_t kMinQueuedFrame = 65, kMaxQueuedFrame = 102399;
// A channel without a record for this long is no longer waited for.
constexpr uint32_t kQuietChannelMs = 500;

// MPEG packet fields; each needs kPesHeaderBytes readable bytes at f.
bool IsMpegVideoStart(const uint8_t *p, size_t size);
bool IsDirectStart(const uint8_t *p, size_t size); // 00 00 01 D0..DF
uint32_t MpegPts(const uint8_t *f);
uint32_t MpegFrameDelay(const uint8_t *f);
uint32_t MpegLength(const uint8_t *f);
int CompareRecordTime(uint32_t a, uint32_t b);
inline bool IsAfter(uint32_t a, uint32_t b) { return b > a; }
inline int RingDistance(int write, int read) { return write >= read ? write - read : kPlayRingSlots - read + write; }

// Seconds of a record time on one scale, for the play position.
int64_t RecordSecond(const RecorderTime &t);

struct PlayFrame {
    FrameRecordHeader header; // adapted: part-0 size of this frame, record-first mark
    std::vector<uint8_t> bytes;
    int64_t dueMs = 0; // record time of this picture: its record's second plus its offset in the record
};

class PlayRing {
public:
    bool Full() const;
    bool Empty() const;
    int Distance() const;
    int FreeSlots() const { return kPlayRingSlots - 1 - Distance(); }
    // Producer.
    bool Push(std::unique_ptr<PlayFrame> frame);
    // Consumer.
    PlayFrame *Front() const;
    void PopFront();
    // Only while the producer is parked (it waits for the UI thread that runs this).
    void Clear();

private:
    std::array<std::unique_ptr<PlayFrame>, kPlayRingSlots> slots_;
    std::atomic<int> write_{0};
    std::atomic<int> read_{0};
};

// What the picture path needs of its view; UI thread only.
class PlayPathHost {
public:
    virtual ~PlayPathHost() = default;
    virtual void ShowJpeg(int index, const FrameRecordHeader &header, DvrRecordStream &stream) = 0;
    virtual bool DecodeMpeg(int ring, const FrameRecordHeader &header, const uint8_t *frame, size_t size) = 0;
    virtual void BlankChannel(int index) = 0;
    virtual void SetLed(int index, bool event) = 0;
    virtual void SetSchedulerRunning(bool on) = 0;
    virtual void UpdateCaption(const FrameRecordHeader &header) = 0;
    virtual int RegisteredViews() const { return 1; }
};

enum class QueueResult {
    Dropped,  // not for the view's mode
    Shown,    // handed to the UI thread and shown
    Queued,   // frames went into a ring (or were refused as bad data)
    Busy,     // UI-thread caller and no room: nothing queued, offer the record again later
};

class PlayPath {
public:
    struct Clock {
        std::function<uint32_t()> now;    // milliseconds
        std::function<void(int)> sleep;   // milliseconds
    };
    PlayPath(PlayPathHost &host, Clock clock);
    ~PlayPath();

    // State the view keeps current.
    void SetFormat(int channelCount, uint8_t model, bool ntsc);
    void SetMode(uint8_t mode);
    void SetCurrentChannel(int channel) { current_ = channel; }
    void SetConnected(bool connected) { connected_ = connected; }
    void SetPlaySpeed(uint16_t fast, uint16_t slow, uint8_t direction);
    // Asks the next ring-path record to flush the rings (mode change, new playback).
    void RequestFlush(int tag = 1) { flushTag_ = tag; }
    // The link's stop flag: every wait of a delivering thread ends once it is raised.
    void SetStopFlag(const std::atomic<bool> *stop) { stop_.store(stop); }

    // On the UI thread a record is queued as far as the ring has room; Busy then leaves in
    // *resume the byte offset of the first frame not queued, where the next offer goes on.
    QueueResult QueueMpegFrame(const FrameRecordHeader &header, const std::vector<uint8_t> &part0,
                               size_t *resume = nullptr);
    // The display of one record (direct path), UI thread.
    void ShowRecord(const FrameRecordHeader &header, DvrRecordStream &stream);
    // The play scheduler, UI thread (tmrMpeg).
    void Tick();
    // Empties every ring, UI thread.
    void Flush();
    bool IsPlayBufferHigh() const;
    // What is left of the pause that records delivered on the UI thread asked for, in ms: the
    // window's thread never sleeps it, the next record waits for it instead (UI thread).
    int PauseLeft() const;
    // Stops tmrMpeg (UI thread); the next queued frame starts it again.
    void StopScheduler();
    // The view set the LEDs itself: the next record sets its channel's LED again.
    void ForgetLeds();

    uint8_t Model() const { return model_; }
    int QueuedFirstFrames() const { return tag_.load(); }
    // Pictures handed over or frames queued since the last call.
    int TakeFrameCount() { return frames_.exchange(0); }
    const PlayRing &Ring(int index) const { return rings_[size_t(index)]; }
    int Delay(int channel) const { return delay_[size_t(channel)]; }

private:
    bool Stopped() const
    {
        const std::atomic<bool> *stop = stop_.load();
        return stop && stop->load();
    }
    bool RunUi(const std::function<void()> &fn);
    // Queued to the UI thread; dropped when the path is gone by then.
    void Later(std::function<void()> fn);
    void SleepUnlessStopped(int ms);
    void HoldFor(uint32_t ms);
    void BlankAbsent(const FrameRecordHeader &header);
    bool NormalSpeed() const;
    // Producers: starts the scheduler unless it runs or its start is on the way.
    void WakeScheduler();
    // At normal speed the scheduler waits for one queued record per channel that delivers
    // (3 with one channel shown), so that channels play in record-time order; it never waits
    // for a channel that has gone quiet, nor while a ring is high, where producers stop.
    bool HoldBack() const;
    // Forward play at normal speed paces every channel against one play position.
    bool PacedByPosition() const;
    // The newest record second delivered moves the play position, which then runs with the
    // clock within that second (UI thread).
    void AdvancePosition(int64_t second);
    int64_t PositionMs() const;
    // Whether a tick would show a frame now or soon (UI thread).
    bool HasWork() const;
    // Nothing to show: tmrMpeg stops until a producer queues more.
    void Idle();

    PlayPathHost &host_;
    Clock clock_;
    std::array<PlayRing, kPlayChannels> rings_;
    std::atomic<int> tag_{0};    // queued record-first frames
    std::atomic<int> frames_{0}; // frame-rate count
    std::atomic<int> flushTag_{0};
    std::atomic<int> channelCount_{0};
    std::atomic<uint8_t> model_{0};
    std::atomic<bool> ntsc_{false};
    std::atomic<uint8_t> mode_{0};
    std::atomic<int> current_{0};
    std::atomic<bool> connected_{false};
    std::atomic<uint16_t> fast_{0}, slow_{0};
    std::atomic<uint8_t> direction_{31};
    std::atomic<const std::atomic<bool> *> stop_{nullptr};
    // Per channel the clock when its last ring-path record came, and whether one came at all.
    std::array<std::atomic<uint32_t>, kPlayChannels> delivered_{};
    std::array<std::atomic<bool>, kPlayChannels> hasDelivered_{};
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
    // The scheduler runs (or its start is queued); it stops itself when it has nothing to do.
    std::atomic<bool> armed_{false};
    // Per channel the LED state last sent to the UI thread: -1 none, 0 quiet, 1 event.
    std::array<std::atomic<int8_t>, kPlayChannels> led_{};
    // UI thread only.
    std::array<int, kPlayChannels> delay_{};
    std::array<uint32_t, kPlayChannels> lastShown_{};
    bool holding_ = false;
    uint32_t pauseUntil_ = 0;
    bool hasPosition_ = false;
    int64_t positionSecond_ = 0;
    uint32_t positionAt_ = 0;
    // The newest second a producer has handed to the UI thread.
    std::atomic<int64_t> deliveredSecond_{INT64_MIN};
};

} // namespace strandel
