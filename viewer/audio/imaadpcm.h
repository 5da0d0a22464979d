#pragma once
// IMA ADPCM in the block layout of WAVE format tag 0x11 (mono): a 4-byte header (the first
// sample as little-endian int16, the step index, a reserved zero byte) and 252 bytes of
// nibbles, low nibble first, giving 1 + 504 = 505 samples per 256-byte block.
// Plain C++: no Qt, no allocation on the block paths.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace strandel {

constexpr uint16_t kImaFormatTag = 0x11;
constexpr int kImaSampleRate = 8000;
constexpr size_t kImaBlockSize = 256;
constexpr size_t kImaSamplesPerBlock = 505;
constexpr int kImaMaxStepIndex = 88;

// The devices run 8-bit unsigned PCM; the codec works on 16-bit signed samples.
inline int16_t Pcm8ToPcm16(uint8_t v) { return int16_t((int(v) - 128) * 256); }
inline uint8_t Pcm16ToPcm8(int16_t v) { return uint8_t((int(v) + 32768) >> 8); }

// Encoder state carried from block to block (the header resets the predictor; the step index
// goes on, as a continuous encoder's would).
struct ImaEncoderState {
    int stepIndex = 0;
};

// Encodes exactly kImaSamplesPerBlock samples into one kImaBlockSize block.
void EncodeImaBlock(const int16_t *samples, ImaEncoderState &state, uint8_t *block);

// Decodes one block into kImaSamplesPerBlock samples. A block of another size or with a step
// index above 88 is refused (false, nothing written).
bool DecodeImaBlock(const uint8_t *block, size_t length, int16_t *samples);

// A continuous 8-bit PCM stream cut into blocks: the samples that do not fill a block wait for
// the next input, so no sample is lost at buffer boundaries.
class ImaStreamEncoder {
public:
    // Appends every block completed by `count` more samples to `out`; returns how many.
    size_t Encode(const uint8_t *pcm8, size_t count, std::vector<uint8_t> &out);
    size_t Pending() const { return pending_; }
    void Reset();

private:
    std::array<int16_t, kImaSamplesPerBlock> samples_{};
    size_t pending_ = 0;
    ImaEncoderState state_;
};

// The conversion object of the capture (encoder) and playback (decoder) paths.
class AdpcmCodec {
public:
    void OpenEncoder();
    void OpenDecoder();
    void Close();
    bool IsOpen() const { return mode_ != Mode::Closed; }
    // Encoder: 8-bit PCM in, whole blocks out (the remainder waits for the next call).
    // Decoder: one 256-byte block in, 505 bytes of 8-bit PCM out.
    // Returns the bytes produced; 0 when closed, when the destination is too small or the
    // block is refused. The encoder never produces more than the destination holds: blocks
    // that do not fit are dropped.
    size_t Convert(const uint8_t *source, size_t sourceLength, uint8_t *destination, size_t destinationLength);

private:
    enum class Mode { Closed, Encoder, Decoder };
    Mode mode_ = Mode::Closed;
    ImaStreamEncoder encoder_;
    std::vector<uint8_t> blocks_;
};

// A WAVE file of IMA ADPCM blocks (8000 Hz mono), as outside tools read and write it.
std::vector<uint8_t> WriteImaWav(const std::vector<uint8_t> &blocks, uint32_t sampleCount);
// The data chunk of such a file; false when it is not mono 8000 Hz IMA ADPCM with 256-byte blocks.
bool ReadImaWav(const std::vector<uint8_t> &file, std::vector<uint8_t> &blocks, uint32_t &sampleCount);

} // namespace strandel
