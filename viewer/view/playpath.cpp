#include "viewer/view/playpath.h"

#include <algorithm>

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "platform/uithread.h"

namespace strandel {

namespace {

constexpr uint8_t kModeLive = 0;
constexpr uint8_t kDirectionBackward = 32;

uint32_t StartWord(const uint8_t *p, size_t size) { return size >= 4 ? GetLe32(p) : 0; }

} // namespace

bool IsMpegVideoStart(const uint8_t *p, size_t size) { return (StartWord(p, size) & 0xF0FFFFFFu) == 0xE0010000u; }
bool IsDirectStart(const uint8_t *p, size_t size) { return (StartWord(p, size) & 0xF0FFFFFFu) == 0xD0010000u; }

uint32_t MpegPts(const uint8_t *f)
{
    return uint32_t(f[9] >> 1) << 30 | uint32_t(f[10]) << 22 | uint32_t(f[11] & 0xFE) << 14 | uint32_t(f[12]) << 7 |
           uint32_t(f[13] >> 1);
}

uint32_t MpegFrameDelay(const uint8_t *f) { return uint32_t(f[17]) << 7 | uint32_t(f[18] >> 1); }

uint32_t MpegLength(const uint8_t *f)
{
    return uint32_t(f[24] & 0x7F) << 15 | uint32_t(f[25] >> 4) << 11 | uint32_t(f[25] & 7) << 8 | f[26];
}

int CompareRecordTime(uint32_t a, uint32_t b)
{
    constexpr uint32_t kWindow = 0x7FFFFFF;
    if (a == b)
        return 0;
    if (a >= b)
        return a - b < kWindow ? 1 : -1;
    return b - a < kWindow ? -1 : 1;
}

int64_t RecordSecond(const RecorderTime &t)
{
    // Months as 31 days: only order and the distance within a day matter.
    const int64_t days = ((int64_t(t.century) * 100 + t.year) * 12 + t.month) * 31 + t.day;
    return ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

// ---- PlayRing

bool PlayRing::Full() const
{
    return (write_.load(std::memory_order_relaxed) + 1) % kPlayRingSlots == read_.load(std::memory_order_acquire);
}

bool PlayRing::Empty() const { return write_.load(std::memory_order_acquire) == read_.load(std::memory_order_acquire); }

int PlayRing::Distance() const
{
    return RingDistance(write_.load(std::memory_order_acquire), read_.load(std::memory_order_acquire));
}

bool PlayRing::Push(std::unique_ptr<PlayFrame> frame)
{
    if (Full())
        return false;
    const int w = write_.load(std::memory_order_relaxed);
    slots_[size_t(w)] = std::move(frame);
    write_.store((w + 1) % kPlayRingSlots, std::memory_order_release);
    return true;
}

PlayFrame *PlayRing::Front() const
{
    const int r = read_.load(std::memory_order_relaxed);
    if (r == write_.load(std::memory_order_acquire))
        return nullptr;
    return slots_[size_t(r)].get();
}

void PlayRing::PopFront()
{
    const int r = read_.load(std::memory_order_relaxed);
    if (r == write_.load(std::memory_order_acquire))
        return;
    slots_[size_t(r)].reset();
    read_.store((r + 1) % kPlayRingSlots, std::memory_order_release);
}

void PlayRing::Clear()
{
    for (auto &slot : slots_)
        slot.reset();
    read_.store(0, std::memory_order_release);
    write_.store(0, std::memory_order_release);
}

// ---- PlayPath

PlayPath::PlayPath(PlayPathHost &host, Clock clock) : host_(host), clock_(std::move(clock)) { ForgetLeds(); }

PlayPath::~PlayPath() = default;

void PlayPath::SetFormat(int channelCount, uint8_t model, bool ntsc)
{
    channelCount_ = std::clamp(channelCount, 0, kPlayChannels);
    model_ = model;
    ntsc_ = ntsc;
}

void PlayPath::SetMode(uint8_t mode) { mode_ = mode; }

void PlayPath::SetPlaySpeed(uint16_t fast, uint16_t slow, uint8_t direction)
{
    fast_ = fast;
    slow_ = slow;
    direction_ = direction;
}

bool PlayPath::NormalSpeed() const { return int16_t(fast_.load()) < 2 && int16_t(slow_.load()) < 2; }

bool PlayPath::RunUi(const std::function<void()> &fn) { return RunOnUiThreadBlocking(fn, stop_.load()); }

void PlayPath::Later(std::function<void()> fn)
{
    std::weak_ptr<int> life = life_;
    RunOnUiThreadQueued([life, fn = std::move(fn)] {
        if (life.lock())
            fn();
    });
}

void PlayPath::SleepUnlessStopped(int ms)
{
    for (; ms > 0 && !Stopped(); ms -= 10)
        clock_.sleep(std::min(ms, 10));
}

void PlayPath::BlankAbsent(const FrameRecordHeader &header)
{
    const uint32_t mask = header.kind != 0 ? header.playMask : header.liveMask;
    for (int i = 0; i < channelCount_; ++i)
        if (!(mask & (1u << i)))
            host_.BlankChannel(i);
}

void PlayPath::ForgetLeds()
{
    for (auto &l : led_)
        l = -1;
}

void PlayPath::WakeScheduler()
{
    if (!armed_.exchange(true))
        Later([this] { host_.SetSchedulerRunning(true); });
}

void PlayPath::StopScheduler()
{
    armed_ = false;
    host_.SetSchedulerRunning(false);
}

bool PlayPath::HoldBack() const
{
    if (!NormalSpeed() || IsPlayBufferHigh())
        return false;
    const uint32_t now = clock_.now();
    auto delivering = [&](int i) {
        return hasDelivered_[size_t(i)].load() && now - delivered_[size_t(i)].load() < kQuietChannelMs;
    };
    const int count = channelCount_, current = current_;
    int need = 0;
    if (current == 0) {
        for (int i = 0; i < count; ++i)
            need += delivering(i) ? 1 : 0;
    } else if (current <= count && delivering(current - 1)) {
        need = 3;
    }
    return tag_ < need;
}

bool PlayPath::HasWork() const
{
    if (!connected_)
        return false;
    const int count = channelCount_;
    for (int i = 0; i < count; ++i)
        if (rings_[size_t(i)].Front())
            return true;
    return false;
}

void PlayPath::Idle()
{
    StopScheduler();
    // A frame queued while this tick looked finds the flag raised; catch it here.
    if (HasWork() && !armed_.exchange(true))
        host_.SetSchedulerRunning(true);
}

bool PlayPath::PacedByPosition() const
{
    return mode_ != kModeLive && NormalSpeed() && direction_ != kDirectionBackward;
}

void PlayPath::AdvancePosition(int64_t second)
{
    // A second far behind is a new place in the recording, not a late record.
    constexpr int64_t kJumpBackSeconds = 2;
    if (hasPosition_ && second <= positionSecond_ && second > positionSecond_ - kJumpBackSeconds)
        return;
    hasPosition_ = true;
    positionSecond_ = second;
    positionAt_ = clock_.now();
}

int64_t PlayPath::PositionMs() const
{
    return positionSecond_ * 1000 + std::min<uint32_t>(clock_.now() - positionAt_, 999);
}

void PlayPath::Flush()
{
    hasPosition_ = false;
    deliveredSecond_ = INT64_MIN;
    for (PlayRing &ring : rings_)
        ring.Clear();
    tag_ = 0;
    for (auto &d : hasDelivered_)
        d = false;
    DebugPrint("Free... Mpeg Play buffer..\n");
}

namespace {

struct FrameSpan {
    size_t offset, size;
};

} // namespace

QueueResult PlayPath::QueueMpegFrame(const FrameRecordHeader &header, const std::vector<uint8_t> &part0,
                                     size_t *resume)
{
    if (header.kind != mode_)
        return QueueResult::Dropped;
    QueueResult result = QueueResult::Queued;
    const int c = int8_t(header.channel);
    const int count = channelCount_;
    if (c >= 1 && c <= kPlayChannels) {
        const int c2 = int8_t(header.channel2);
        const bool event = header.event != 0, event2 = header.event2 != 0;
        // Only a change of colour needs the UI thread.
        const bool change = led_[size_t(c - 1)].exchange(int8_t(event)) != int8_t(event);
        const bool change2 =
            c2 >= 1 && c2 <= kPlayChannels && led_[size_t(c2 - 1)].exchange(int8_t(event2)) != int8_t(event2);
        if (change || change2)
            Later([this, c, c2, event, event2] {
                host_.SetLed(c - 1, event);
                if (c2 >= 1 && c2 <= kPlayChannels)
                    host_.SetLed(c2 - 1, event2);
            });

        const bool direct = (model_ == 1 && count == 16 && mode_ == kModeLive) ||
                            IsDirectStart(part0.data(), part0.size()) || header.directShow != 0;
        if (direct) {
            DvrRecordStream stream{part0, false};
            const FrameRecordHeader copy = header;
            RunUi([&] {
                StopScheduler();
                ShowRecord(copy, stream);
            });
            const int views = host_.RegisteredViews();
            if (views > 1)
                SleepUnlessStopped((views - 1) * 5);
            ++frames_;
            result = QueueResult::Shown;
        } else {
            const bool onUi = IsUiThread();
            if (const int flush = flushTag_.load(); flush > 0) {
                DebugPrint("Timer false\n");
                if (flush == 1) {
                    RunUi([this] { StopScheduler(); });
                    SleepUnlessStopped(500);
                    RunUi([this] {
                        for (int i = 0; i < kPlayChannels; ++i)
                            host_.BlankChannel(i);
                        DebugPrint("Timer Clear\n");
                    });
                }
                flushTag_ = 0;
                // The rings are emptied on the UI thread, where the scheduler cannot be inside them.
                RunUi([this] { Flush(); });
            }
            const int current = current_;
            if ((current == 0 || current == c) && c <= count) {
                PlayRing &ring = rings_[size_t(c - 1)];
                // Walk the packets first: every header and length is checked against the record.
                std::vector<FrameSpan> spans;
                const size_t size = std::min<size_t>(part0.size(), header.partSize[0]);
                for (size_t o = 0; o < size;) {
                    const uint8_t *p = part0.data() + o;
                    if (size - o < kPesHeaderBytes || !IsMpegVideoStart(p, size - o)) {
                        DebugPrint("Play Data Error = %d : %d, %d, %X\n", c - 1, int(o), int(header.partSize[0]),
                                   StartWord(p, size - o) & 0xF0FFFFFFu);
                        break;
                    }
                    const size_t n = size_t(MpegLength(p)) + kPesFrameOverhead;
                    if (n > size - o) {
                        DebugPrint("Play Data Error = %d : %d, %d, %X\n", c - 1, int(o), int(header.partSize[0]),
                                   StartWord(p, size - o) & 0xF0FFFFFFu);
                        break;
                    }
                    if (n >= kMinQueuedFrame && n <= kMaxQueuedFrame)
                        spans.push_back({o, n});
                    o += n;
                }
                delivered_[size_t(c - 1)] = clock_.now();
                hasDelivered_[size_t(c - 1)] = true;
                const int64_t second = RecordSecond(header.time);
                deliveredSecond_ = second;
                const uint32_t firstPts = spans.empty() ? 0 : MpegPts(part0.data() + spans.front().offset);
                WakeScheduler();
                auto crowded = [&] { return ring.Full() || tag_ > 3 * count; };
                const size_t from = onUi && resume ? *resume : 0;
                // The scheduler runs on the UI thread: waiting there would wait for ever, so
                // what does not fit is offered again from where it stopped.
                if (onUi && from == 0 && !spans.empty() && tag_ > 3 * count)
                    return QueueResult::Busy;
                for (const FrameSpan &s : spans) {
                    if (s.offset < from)
                        continue;
                    if (onUi && ring.Full()) {
                        if (resume)
                            *resume = s.offset;
                        WakeScheduler();
                        return QueueResult::Busy;
                    }
                    // Each frame waits for its slot: a picture lost inside a group smears the
                    // channel up to the next intra picture.
                    while (!onUi && connected_ && !Stopped() && crowded()) {
                        WakeScheduler();
                        clock_.sleep(10);
                    }
                    if (ring.Full()) {
                        DebugPrint("Play Buffer FULL...\n");
                        break;
                    }
                    auto frame = std::make_unique<PlayFrame>();
                    frame->header = header;
                    frame->header.partSize[0] = uint32_t(s.size);
                    if (s.offset == 0) {
                        frame->header.timeValue |= kFrameTimeFirstMark;
                        ++tag_;
                    } else {
                        frame->header.timeValue &= ~kFrameTimeFirstMark;
                    }
                    frame->bytes.assign(part0.begin() + std::ptrdiff_t(s.offset),
                                        part0.begin() + std::ptrdiff_t(s.offset + s.size));
                    // 90 kHz presentation times; a picture stays within its record's second.
                    frame->dueMs = second * 1000 + std::min<uint32_t>((MpegPts(frame->bytes.data()) - firstPts) / 90, 999);
                    ring.Push(std::move(frame));
                    ++frames_;
                }
                // After the frames are in: a scheduler that just went idle sees them or is woken.
                WakeScheduler();
            }
        }
    }
    const uint32_t pause = header.delay * 10;
    if (mode_ != kModeLive && pause >= 1 && pause <= 99) {
        if (IsUiThread()) {
            // Slow play stretches the pauses by its factor: the local players pace by them.
            const int slow = int16_t(slow_.load());
            HoldFor(pause * uint32_t(slow >= 2 ? slow : 1));
        } else {
            SleepUnlessStopped(int(pause));
        }
    }
    return result;
}

void PlayPath::HoldFor(uint32_t ms)
{
    // Continues from the end of the previous pause while that is recent, so the lateness of
    // the timers that end the pauses does not add up over a recording.
    constexpr int32_t kCatchUpMs = 100;
    const uint32_t now = clock_.now();
    const uint32_t from = holding_ && int32_t(now - pauseUntil_) < kCatchUpMs ? pauseUntil_ : now;
    pauseUntil_ = from + ms;
    holding_ = true;
}

int PlayPath::PauseLeft() const
{
    // Live video is never held back by a pause that playback asked for.
    if (!holding_ || mode_ == kModeLive)
        return 0;
    const int32_t left = int32_t(pauseUntil_ - clock_.now());
    return left > 0 ? int(left) : 0;
}

void PlayPath::ShowRecord(const FrameRecordHeader &header, DvrRecordStream &stream)
{
    const std::vector<uint8_t> &d = stream.data;
    const size_t size = std::min<size_t>(d.size(), header.partSize[0]);
    if (IsMpegVideoStart(d.data(), size)) {
        const int c = int8_t(header.channel);
        if (c >= 1 && c <= kPlayChannels && size >= kPesHeaderBytes) {
            const size_t n = std::min(size, size_t(MpegLength(d.data())) + kPesFrameOverhead);
            host_.DecodeMpeg(c - 1, header, d.data(), n);
        }
    } else if (header.partSize[0] > 4) {
        for (uint8_t byte : {header.channel, header.channel2}) {
            const int c = int8_t(byte);
            if (c >= 1 && c <= channelCount_)
                host_.ShowJpeg(c - 1, header, stream);
        }
    }
    BlankAbsent(header);
    host_.UpdateCaption(header);
    AdvancePosition(RecordSecond(header.time));
}

void PlayPath::Tick()
{
    const int count = channelCount_;
    const uint32_t fieldsPerSecond = ntsc_ ? 60 : 50;
    for (int pass = 0; pass < 8; ++pass) {
        if (!connected_) {
            StopScheduler();
            return;
        }
        const bool normal = NormalSpeed();
        const int current = current_;
        const bool paced = PacedByPosition();
        if (!paced && HoldBack()) {
            // Holding back ends with time too: the timer keeps running while frames wait.
            if (!HasWork())
                Idle();
            return;
        }

        int best = -1;
        uint32_t bestTime = 0, bestPts = 0;
        for (int i = 0; i < count; ++i) {
            const PlayFrame *f = rings_[size_t(i)].Front();
            if (!f)
                continue;
            const uint32_t t = f->header.timeValue & 0x7FFFFFFF;
            const uint32_t p = MpegPts(f->bytes.data());
            if (best < 0) {
                best = i;
            } else {
                const int cmp = CompareRecordTime(t, bestTime);
                if (!(cmp < 0 || (cmp == 0 && p <= bestPts)))
                    continue;
                best = i;
            }
            bestTime = t;
            bestPts = p;
        }
        if (best < 0) {
            Idle();
            return;
        }

        const uint32_t now = clock_.now();
        int &delay = delay_[size_t(best)];
        if (paced) {
            if (const int64_t d = deliveredSecond_; d != INT64_MIN)
                AdvancePosition(d);
            // The earliest picture waits for the play position; the timer keeps running.
            if (!hasPosition_ || rings_[size_t(best)].Front()->dueMs > PositionMs())
                return;
            delay = 0;
        }
        const uint32_t last = lastShown_[size_t(best)];
        // Also when no time passed since the last frame (several passes within one tick).
        const bool keep = !paced && current != 0 && !IsAfter(now, last) && uint32_t(delay) * 1000 / fieldsPerSecond > now - last;
        if (!keep)
            delay = 0;
        if (delay >= 1)
            continue;

        PlayRing &ring = rings_[size_t(best)];
        while (PlayFrame *f = ring.Front()) {
            const bool first = f->header.timeValue & kFrameTimeFirstMark;
            if (first)
                --tag_;
            if ((normal && direction_ != kDirectionBackward) || first) {
                delay = int(std::min<uint32_t>(MpegFrameDelay(f->bytes.data()), 60));
                lastShown_[size_t(best)] = now;
                if (current == 0 || current == best + 1)
                    host_.DecodeMpeg(best, f->header, f->bytes.data(), f->bytes.size());
                BlankAbsent(f->header);
                ring.PopFront();
                break;
            }
            ring.PopFront();
        }
    }
}

bool PlayPath::IsPlayBufferHigh() const
{
    for (const PlayRing &ring : rings_)
        if (ring.Distance() > 70)
            return true;
    return tag_ > 2 * channelCount_;
}

} // namespace strandel
