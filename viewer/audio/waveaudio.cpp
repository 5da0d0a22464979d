#include "viewer/audio/waveaudio.h"

#include "platform/debuglog.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

namespace strandel {
namespace {

std::atomic<bool> detachedDevices{false};

} // namespace

void SetDetachedAudioDevices(bool on) { detachedDevices = on; }
bool DetachedAudioDevices() { return detachedDevices; }

bool HasAudioInput() { return detachedDevices || !QMediaDevices::defaultAudioInput().isNull(); }
bool HasAudioOutput() { return detachedDevices || !QMediaDevices::defaultAudioOutput().isNull(); }

namespace {

QByteArray DeviceList()
{
    QByteArray ids = "in";
    for (const QAudioDevice &d : QMediaDevices::audioInputs())
        ids += ' ' + d.id();
    ids += " default " + QMediaDevices::defaultAudioInput().id() + " out";
    for (const QAudioDevice &d : QMediaDevices::audioOutputs())
        ids += ' ' + d.id();
    return ids + " default " + QMediaDevices::defaultAudioOutput().id();
}

} // namespace

void WatchAudioDevices(QObject *owner, std::function<void()> changed)
{
    // The list is also compared once a second: Qt's PulseAudio backend keeps its list current
    // but does not always say so.
    constexpr int kPollMs = 1000;
    auto *devices = new QMediaDevices(owner);
    auto last = std::make_shared<QByteArray>(DeviceList());
    auto check = [last, changed] {
        QByteArray now = DeviceList();
        if (now == *last)
            return;
        *last = std::move(now);
        changed();
    };
    QObject::connect(devices, &QMediaDevices::audioInputsChanged, owner, check);
    QObject::connect(devices, &QMediaDevices::audioOutputsChanged, owner, check);
    auto *poll = new QTimer(devices);
    QObject::connect(poll, &QTimer::timeout, owner, check);
    poll->start(kPollMs);
}

bool WaveAudio::DeviceAvailable() const
{
    if (deviceId_.isEmpty())
        return true;
    for (const QAudioDevice &d : output_ ? QMediaDevices::audioOutputs() : QMediaDevices::audioInputs())
        if (d.id() == deviceId_)
            return true;
    return false;
}

QAudioFormat WaveAudio::PcmFormat(QAudioFormat::SampleFormat sampleFormat)
{
    QAudioFormat f;
    f.setSampleRate(kImaSampleRate);
    f.setChannelCount(1);
    f.setSampleFormat(sampleFormat);
    return f;
}

QAudioFormat WaveAudio::ChooseFormat(const QAudioDevice &device)
{
    for (QAudioFormat::SampleFormat s : {QAudioFormat::UInt8, QAudioFormat::Int16}) {
        const QAudioFormat f = PcmFormat(s);
        if (device.isFormatSupported(f))
            return f;
    }
    return {};
}

// --- Playback ---

// The ring of 40 decoded blocks, read by the output device in the order they were queued. An
// empty ring reads as silence so the device keeps its pace instead of stopping.
class PlaybackRing : public QIODevice {
public:
    explicit PlaybackRing(bool sixteenBit) : sixteenBit_(sixteenBit) {}

    // Queues slot `index` with `count` bytes of 8-bit PCM; false while that slot still waits.
    bool Queue(size_t index, const uint8_t *pcm8, size_t count)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        WaveHeader &h = headers_[index];
        if (h.queued)
            return false;
        count = std::min(count, h.data.size());
        std::memcpy(h.data.data(), pcm8, count);
        h.length = count;
        h.queued = true;
        order_.push_back(index);
        return true;
    }
    size_t Queued() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return order_.size();
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (WaveHeader &h : headers_)
            h.queued = false;
        order_.clear();
        offset_ = 0;
    }
    // Takes up to `count` bytes of 8-bit PCM; silence fills what the ring lacks when `fill`.
    size_t Take(uint8_t *out, size_t count, bool fill)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t done = 0;
        while (done < count && !order_.empty()) {
            WaveHeader &h = headers_[order_.front()];
            const size_t n = std::min(count - done, h.length - offset_);
            std::memcpy(out + done, h.data.data() + offset_, n);
            done += n;
            offset_ += n;
            if (offset_ >= h.length) {
                h.queued = false;
                order_.pop_front();
                offset_ = 0;
            }
        }
        if (fill) {
            std::memset(out + done, 0x80, count - done);
            done = count;
        }
        return done;
    }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 4096 + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (maxSize <= 0)
            return 0;
        auto *out = reinterpret_cast<uint8_t *>(data);
        if (!sixteenBit_)
            return qint64(Take(out, size_t(maxSize), true));
        const size_t samples = size_t(maxSize) / 2;
        uint8_t pcm8[1024];
        size_t done = 0;
        while (done < samples) {
            const size_t n = Take(pcm8, std::min(samples - done, sizeof pcm8), true);
            for (size_t i = 0; i < n; ++i) {
                const int16_t s = Pcm8ToPcm16(pcm8[i]);
                out[2 * (done + i)] = uint8_t(s);
                out[2 * (done + i) + 1] = uint8_t(uint16_t(s) >> 8);
            }
            done += n;
        }
        return qint64(samples * 2);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const bool sixteenBit_;
    mutable std::mutex mutex_;
    std::array<WaveHeader, kPlaybackBufferCount> headers_{};
    std::deque<size_t> order_;
    size_t offset_ = 0;
};

WavePlayback::WavePlayback(QObject *owner) : WaveAudio(owner) { output_ = true; }

WavePlayback::~WavePlayback() { Close(); }

bool WavePlayback::Open()
{
    EventGuard guard(lock_, kWaveLockTimeoutMs);
    if (open_)
        return true;
    started_ = false;
    ringIndex_ = 0;
    dropped_ = 0;
    if (detachedDevices) {
        ring_ = std::make_unique<PlaybackRing>(false);
    } else {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        const QAudioFormat format = device.isNull() ? QAudioFormat() : ChooseFormat(device);
        lastResult_ = device.isNull() ? kWaveNoDevice : !format.isValid() ? kWaveBadFormat : kWaveOk;
        if (lastResult_ != kWaveOk) {
            DebugPrint("Cannot open Wave Out: %d\n", lastResult_);
            if (lastResult_ == kWaveNoDevice)
                DebugPrint("No audio output device: received audio is not played\n");
            return false;
        }
        ring_ = std::make_unique<PlaybackRing>(format.sampleFormat() == QAudioFormat::Int16);
        sink_ = new QAudioSink(device, format, this);
        deviceId_ = device.id();
        // About a third of a second in the device; the ring holds the rest.
        sink_->setBufferSize(qsizetype(format.bytesForDuration(320000)));
    }
    ring_->open(QIODevice::ReadOnly);
    lastResult_ = kWaveOk;
    open_ = true;
    codec_.OpenDecoder();
    DebugPrint("Wave Out Opened\n");
    return true;
}

void WavePlayback::Close()
{
    EventGuard guard(lock_, kWaveLockTimeoutMs);
    if (!open_)
        return;
    if (sink_) {
        sink_->stop();
        delete sink_;
        sink_ = nullptr;
    }
    deviceId_.clear();
    ring_->Clear();
    ring_->close();
    ring_.reset();
    codec_.Close();
    open_ = false;
    started_ = false;
}

void WavePlayback::Play(const uint8_t *data, size_t length)
{
    EventGuard guard(lock_, kWaveLockTimeoutMs);
    if (!open_ || length != kImaBlockSize)
        return;
    uint8_t pcm[kPcmBufferSize];
    const size_t n = codec_.Convert(data, length, pcm, sizeof pcm);
    if (n == 0)
        return;
    if (!ring_->Queue(ringIndex_, pcm, n)) {
        ++dropped_;
        return;
    }
    ringIndex_ = (ringIndex_ + 1) % kPlaybackBufferCount;
    if (!started_ && ringIndex_ >= kPlaybackStartIndex) {
        if (sink_)
            sink_->start(ring_.get());
        started_ = true;
    }
}

size_t WavePlayback::Queued() const { return ring_ ? ring_->Queued() : 0; }

size_t WavePlayback::ReadOut(uint8_t *pcm8, size_t count)
{
    if (!ring_ || sink_)
        return 0;
    return ring_->Take(pcm8, count, false);
}

// --- Capture ---

WaveCapture::WaveCapture(QObject *owner) : WaveAudio(owner) {}

WaveCapture::~WaveCapture() { Close(); }

bool WaveCapture::Open(Callback callback)
{
    EventGuard guard(lock_, kWaveLockTimeoutMs);
    if (open_)
        return true;
    ringIndex_ = 0;
    started_ = false;
    if (!detachedDevices) {
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        const QAudioFormat format = device.isNull() ? QAudioFormat() : ChooseFormat(device);
        lastResult_ = device.isNull() ? kWaveNoDevice : !format.isValid() ? kWaveBadFormat : kWaveOk;
        if (lastResult_ == kWaveOk) {
            source_ = new QAudioSource(device, format, this);
            source_->setBufferSize(qsizetype(format.bytesForDuration(128000)));
            input_ = source_->start();
            if (!input_ || source_->error() != QAudio::NoError) {
                lastResult_ = kWaveError;
                delete source_;
                source_ = nullptr;
                input_ = nullptr;
            } else {
                source_->suspend(); // recording begins with Start
                sixteenBit_ = format.sampleFormat() == QAudioFormat::Int16;
                deviceId_ = device.id();
                connect(input_, &QIODevice::readyRead, this, &WaveCapture::ReadDevice);
            }
        }
        if (lastResult_ != kWaveOk) {
            DebugPrint("Cannot open WaveIn : %d\n", lastResult_);
            if (lastResult_ == kWaveNoDevice)
                DebugPrint("No audio input device: the microphone is not sent\n");
            return false;
        }
    }
    for (WaveHeader &h : headers_) {
        h.length = 0;
        h.queued = true;
    }
    callback_ = std::move(callback);
    codec_.OpenEncoder();
    lastResult_ = kWaveOk;
    open_ = true;
    DebugPrint("Wave In Opened\n");
    return true;
}

void WaveCapture::Close()
{
    EventGuard guard(lock_, kWaveLockTimeoutMs);
    started_ = false;
    if (!open_)
        return;
    if (source_) {
        // Stopped and gone before the buffers and the callback go, so nothing arrives after.
        if (input_)
            disconnect(input_, nullptr, this, nullptr);
        source_->stop();
        delete source_;
        source_ = nullptr;
        input_ = nullptr;
    }
    deviceId_.clear();
    callback_ = nullptr;
    codec_.Close();
    for (WaveHeader &h : headers_)
        h.queued = false;
    open_ = false;
}

bool WaveCapture::Start()
{
    EventGuard guard(lock_, kWaveLockTimeoutMs);
    if (!open_ || started_)
        return started_;
    if (source_) {
        source_->resume();
        if (source_->error() != QAudio::NoError) {
            lastResult_ = kWaveError;
            return false;
        }
    }
    codec_.OpenEncoder(); // a new stream: nothing left over from before the stop
    started_ = true;
    return true;
}

bool WaveCapture::Stop()
{
    EventGuard guard(lock_, kWaveLockTimeoutMs);
    if (!started_)
        return true;
    if (source_)
        source_->suspend();
    started_ = false;
    // What the device filled so far belongs to the stream that ends here.
    for (WaveHeader &h : headers_)
        h.length = 0;
    return true;
}

size_t WaveCapture::OnData(WaveHeader &header, uint8_t *out, size_t outLength)
{
    if (!out)
        return 0;
    if (!started_) {
        std::memset(out, 0, std::min(outLength, kImaBlockSize));
        return 0;
    }
    return codec_.Convert(header.data.data(), header.length, out, outLength);
}

void WaveCapture::Deliver(const uint8_t *pcm8, size_t count)
{
    while (open_ && count > 0) {
        WaveHeader &h = headers_[ringIndex_];
        const size_t n = std::min(count, h.data.size() - h.length);
        std::memcpy(h.data.data() + h.length, pcm8, n);
        h.length += n;
        pcm8 += n;
        count -= n;
        if (h.length < h.data.size())
            break;
        h.queued = false;
        if (callback_)
            callback_(h);
        if (!open_) // the callback closed the device
            return;
        // Back to the device whatever became of the block.
        h.length = 0;
        h.queued = true;
        ringIndex_ = uint32_t((ringIndex_ + 1) % kCaptureBufferCount);
    }
}

void WaveCapture::ReadDevice()
{
    if (!input_)
        return;
    const QByteArray bytes = input_->readAll();
    if (bytes.isEmpty() || !started_)
        return;
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.constData());
    if (!sixteenBit_) {
        Deliver(p, size_t(bytes.size()));
        return;
    }
    std::vector<uint8_t> pcm8(size_t(bytes.size()) / 2);
    for (size_t i = 0; i < pcm8.size(); ++i)
        pcm8[i] = Pcm16ToPcm8(int16_t(p[2 * i] | (p[2 * i + 1] << 8)));
    Deliver(pcm8.data(), pcm8.size());
}

} // namespace strandel
