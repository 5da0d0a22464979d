#pragma once
// One connection to the simulated recorder: login, live push, playback, copy, the
// administration and search commands, uploads and the firmware upgrade, as a recorder answers
// them. Transport-free: packets come in through OnPacket, go out through a SimLink, and Tick
// pushes the video that is due.
//
// The exchange, as a reader of this file meets it:
//   login (1)        -> LoginAnswer; when accepted also the channel mask (10) and, on 8 and 16
//                       channels, the custom layouts (36); live records follow at --fps.
//   record push (3)  -> per part with bytes: chunks of 1024 (first 0x40|p, then p), an end mark
//                       0x20|p {u32 size, frame id}; then the 128-byte header with 0x80.
//   mode (5) 1, play (7) PLAY_TIME / EVENT / BLOCK
//                    -> INFO_RECTIME (9), PlayStatus, playback records (kind 1), INFO_PLAYPOS
//                       each second, and at either end PlayStatus and PLAY_END: paused there, the
//                       next PT_PLAY plays on.
//   copy (22)        -> records of kind 2, one per channel and recorded second, then 23.
//   uploads (12, 31) -> begin 0x80, parts of at most 1000 bytes, end 0x40; one result byte.
//   long replies     -> SegStart {u32 total}, SegData chunks of 1024, SegEnd {u32 total}.
#include "simoptions.h"
#include "simrecorder.h"
#include "videosource.h"
#include "viewer/link/dvrviewlink.h"
#include "viewer/protocol/framerecord.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace strandel::sim {

class Transcript;

// Damage a link does to one frame on request.
enum class FrameFault : uint8_t { None, BadCrc, Oversize, Garbage };

// The wire side of a session: frames packets (payload at most 1024 bytes) and queues them.
class SimLink {
public:
    virtual ~SimLink() = default;
    virtual void SendPacket(uint8_t cmd, uint8_t flag, const uint8_t *data, size_t length,
                            FrameFault fault = FrameFault::None) = 0;
    // Bytes framed but not yet written.
    virtual size_t Backlog() const = 0;
    virtual const std::string &Name() const = 0;
};

using SimFaults = std::array<int, kFaultKindCount>;

class SimSession {
public:
    using Clock = std::chrono::steady_clock;

    SimSession(SimRecorder &recorder, VideoSource &source, const SimOptions &options, SimLink &link,
               SimFaults &faults, Transcript *transcript);

    void OnPacket(const PacketHeader &header, const uint8_t *payload);
    // Pushes what is due at now; call at least every NextWake().
    void Tick(Clock::time_point now);
    Clock::time_point NextWake(Clock::time_point now) const;
    // True once the connection should be dropped (--drop-after, --alive-timeout).
    bool DropDue(Clock::time_point now) const;

    bool LoggedIn() const { return loggedIn_; }
    bool AudioReceiveOn() const { return audioReceive_; }
    bool AudioSendOn() const { return audioSend_; }
    uint8_t Mode() const { return mode_; }
    int AliveCount() const { return aliveCount_; }
    uint64_t RecordsPushed() const { return recordsPushed_; }

    // Live records are skipped while more than this is waiting on the link.
    static constexpr size_t kMaxBacklog = size_t(2) << 20;

private:
    // Sends a reply: up to 1024 bytes as one packet, longer ones segmented.
    void Reply(uint8_t cmd, const uint8_t *data, size_t length);
    void Reply(uint8_t cmd, const std::vector<uint8_t> &data) { Reply(cmd, data.data(), data.size()); }
    void Send(uint8_t cmd, uint8_t flag, const uint8_t *data, size_t length);
    bool TakeFault(FaultKind kind);
    // A line for the transcript (and the terminal) about what the viewer asked for.
    void Announce(const std::string &text);

    void OnLogin(const uint8_t *p, size_t n);
    void OnPlay(const uint8_t *p, size_t n);
    void OnPlayControl(uint8_t play, uint8_t fast, uint8_t slow, uint8_t direction);
    void ApplyPlayControl(uint8_t fast, uint8_t slow, uint8_t direction);
    void OnUpload(const PacketHeader &h, const uint8_t *p);
    void OnSegment(const PacketHeader &h, const uint8_t *p);
    void OnCommand(uint8_t cmd, const uint8_t *p, size_t n);
    void OnUpgrade(const uint8_t *p, size_t n);
    void OnCopy(const uint8_t *p, size_t n);

    void StartPlay(int64_t offset, uint8_t channel);
    void SendPlayStatus();
    void SendPlayPosition();
    void StopPlay();
    void PlayStep();
    void CopyStep();
    void LiveStep();
    // Channels a push covers: the one chosen, else every channel of the mask.
    std::vector<int> PushChannels(uint8_t chosen) const;
    // Record k of a channel's source, as a record of that kind and time.
    void PushRecord(int channel, uint64_t k, uint8_t kind, const RecorderTime &time, uint32_t delay);

    SimRecorder &recorder_;
    VideoSource &source_;
    // Live: how far the source has run for this session, and the records it took of each
    // channel: a channel's next record comes when its time is reached.
    int64_t sourceMs_ = 0;
    std::array<uint64_t, 16> served_{};
    const SimOptions &options_;
    SimLink &link_;
    SimFaults &faults_;
    Transcript *transcript_;

    bool loggedIn_ = false;
    Clock::time_point loginAt_{};
    Clock::time_point lastHeard_{};
    uint8_t mode_ = DvrModeLive;
    uint8_t channel_ = 0; // DvrCmdChannel: 0 = all
    int aliveCount_ = 0;
    uint8_t frameId_ = 0;
    uint64_t recordsPushed_ = 0;
    Clock::time_point nextLive_{};

    // Playback, modelled on the recorder's play control.
    bool playing_ = false;
    uint8_t playState_ = 0; // 1 playing, 0 paused
    bool singleStep_ = false;
    uint8_t fast_ = 0, slow_ = 0, direction_ = PlayDirForward;
    uint8_t playChannel_ = 0;
    int64_t playMs_ = 0; // position in the recorded hour; the source's timeline repeats over it
    std::array<int64_t, 16> playShown_{}; // the source record each channel showed last
    int64_t lastPosition_ = -1;
    Clock::time_point nextPlay_{};

    // Audio: blocks pushed while the viewer has audio receive on, one every 63.125 ms.
    bool audioReceive_ = false;
    bool audioSend_ = false;
    size_t audioAt_ = 0;
    Clock::time_point nextAudio_{};
    void AudioStep(Clock::time_point now);

    // Copy of a span as kind-2 records, one per channel and recorded second.
    bool copying_ = false;
    uint8_t copyChannel_ = 0;
    uint32_t copyAt_ = 0, copyEnd_ = 0;
    size_t copyChannelIndex_ = 0;

    // Uploads (commands 12 and 31) and segmented requests.
    bool uploadOpen_[2] = {};
    std::vector<uint8_t> upload_[2];
    std::vector<uint8_t> segment_;
    bool segmentOpen_ = false;

    // Firmware upgrade.
    enum class Upgrade { Idle, Receiving, Checked };
    Upgrade upgrade_ = Upgrade::Idle;
    std::vector<uint8_t> firmware_;
    uint32_t firmwareReceived_ = 0;
};

} // namespace strandel::sim
