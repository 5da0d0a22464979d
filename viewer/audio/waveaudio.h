#pragma once
// Microphone capture and speaker playback on Qt Multimedia, 8000 Hz mono 8-bit unsigned PCM
// (converted where a device wants 16-bit), with IMA ADPCM blocks on the recorder's side.
// Everything runs on the thread that owns the objects (the UI thread).
#include "platform/events.h"
#include "viewer/audio/imaadpcm.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAudioDevice;
class QAudioSink;
class QAudioSource;
class QIODevice;

namespace strandel {

// The last device result: 0 success, else why a device could not be opened.
enum WaveResult : int {
    kWaveOk = 0,
    kWaveError = 1,     // the device refused to start
    kWaveNoDevice = 2,  // the machine has no such device
    kWaveBadFormat = 32 // the device takes neither 8-bit nor 16-bit 8000 Hz mono
};

constexpr size_t kPcmBufferSize = 512;
constexpr size_t kPlaybackBufferCount = 40;
constexpr size_t kCaptureBufferCount = 6;
// Playback begins once this many blocks wait (about 1.45 s), so jitter does not starve it.
constexpr uint32_t kPlaybackStartIndex = 23;
constexpr int kWaveLockTimeoutMs = 5000;

// Whether the machine offers an input or an output device at all.
bool HasAudioInput();
bool HasAudioOutput();

// Calls `changed` on the owner's thread whenever an audio input or output device comes or goes;
// the watch lives as long as the owner.
void WatchAudioDevices(QObject *owner, std::function<void()> changed);

// Tests run the audio objects without devices: Open succeeds on a detached ring that the test
// reads (playback) or feeds (capture) itself. Process-wide; off by default.
void SetDetachedAudioDevices(bool on);
bool DetachedAudioDevices();

struct WaveHeader {
    std::array<uint8_t, kPcmBufferSize> data{};
    size_t length = 0; // bytes filled (capture) or to play (playback)
    bool queued = false;
};

class WaveAudio : public QObject {
public:
    explicit WaveAudio(QObject *owner) : QObject(owner) {}
    bool IsStarted() const { return started_; }
    uint32_t RingIndex() const { return ringIndex_; }
    int LastResult() const { return lastResult_; }
    // The device this object was opened on is still there (always, while closed or detached).
    bool DeviceAvailable() const;

protected:
    static QAudioFormat PcmFormat(QAudioFormat::SampleFormat sampleFormat);
    // 8-bit first, 16-bit where the device wants it; an invalid format when it takes neither.
    static QAudioFormat ChooseFormat(const QAudioDevice &device);

    TimedEvent lock_;
    QByteArray deviceId_; // of the device opened on; empty while closed or detached
    bool output_ = false;
    bool started_ = false;
    uint32_t ringIndex_ = 0;
    int lastResult_ = kWaveOk;
    AdpcmCodec codec_;
};

class PlaybackRing;

// Speaker output: received blocks are decoded into a ring of 40 buffers that the device plays in turn.
class WavePlayback : public WaveAudio {
public:
    explicit WavePlayback(QObject *owner);
    ~WavePlayback() override;

    bool Open();
    void Close();
    bool IsOpen() const { return open_; }
    // One received block: decoded and queued. Only whole 256-byte blocks play; a block that
    // finds the ring full is dropped, never overwriting one still waiting.
    void Play(const uint8_t *data, size_t length);

    // Blocks waiting to be played, and blocks dropped since the last open.
    size_t Queued() const;
    size_t Dropped() const { return dropped_; }
    // What the device would read next, as 8-bit PCM (tests on a detached ring).
    size_t ReadOut(uint8_t *pcm8, size_t count);

private:
    bool open_ = false;
    size_t dropped_ = 0;
    std::unique_ptr<PlaybackRing> ring_;
    QAudioSink *sink_ = nullptr;
};

// Microphone input: the device fills 512-byte buffers in turn (6 of them, kept while open);
// each filled buffer goes to the callback, which encodes it with OnData, and returns to the
// device afterwards whatever the callback did with it.
class WaveCapture : public WaveAudio {
public:
    using Callback = std::function<void(WaveHeader &header)>;

    explicit WaveCapture(QObject *owner);
    ~WaveCapture() override;

    bool Open(Callback callback);
    void Close();
    bool IsOpen() const { return open_; }
    bool Start();
    bool Stop();

    // Encodes the header's PCM as the continuation of the stream into `out`; returns the bytes
    // produced (0, 256 or 512: every 73rd buffer completes two blocks). Stopped: `out` is zeroed
    // (one block's worth) and nothing is produced.
    size_t OnData(WaveHeader &header, uint8_t *out, size_t outLength);

    // PCM as the device delivers it (8-bit unsigned); a detached capture is fed this way.
    void Deliver(const uint8_t *pcm8, size_t count);

private:
    void ReadDevice();

    bool open_ = false;
    Callback callback_;
    std::array<WaveHeader, kCaptureBufferCount> headers_{};
    QAudioSource *source_ = nullptr;
    QIODevice *input_ = nullptr;
    bool sixteenBit_ = false;
};

} // namespace strandel
