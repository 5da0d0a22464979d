#include "viewer/audio/imaadpcm.h"

#include "platform/endian.h"

#include <algorithm>
#include <cstring>

namespace strandel {
namespace {

constexpr int16_t kStepTable[kImaMaxStepIndex + 1] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr size_t kHeaderSize = 4;

// One nibble applied to the predictor and step index, as every IMA decoder does it.
inline void Expand(int nibble, int &predictor, int &index)
{
    const int step = kStepTable[index];
    int diff = step >> 3;
    if (nibble & 4)
        diff += step;
    if (nibble & 2)
        diff += step >> 1;
    if (nibble & 1)
        diff += step >> 2;
    predictor = std::clamp(nibble & 8 ? predictor - diff : predictor + diff, -32768, 32767);
    index = std::clamp(index + kIndexTable[nibble], 0, kImaMaxStepIndex);
}

inline int Quantise(int sample, int predictor, int index)
{
    const int step = kStepTable[index];
    int diff = sample - predictor;
    int nibble = 0;
    if (diff < 0) {
        nibble = 8;
        diff = -diff;
    }
    if (diff >= step) {
        nibble |= 4;
        diff -= step;
    }
    if (diff >= step >> 1) {
        nibble |= 2;
        diff -= step >> 1;
    }
    if (diff >= step >> 2)
        nibble |= 1;
    return nibble;
}

} // namespace

void EncodeImaBlock(const int16_t *samples, ImaEncoderState &state, uint8_t *block)
{
    int predictor = samples[0];
    int index = std::clamp(state.stepIndex, 0, kImaMaxStepIndex);
    PutLe16(block, uint16_t(samples[0]));
    block[2] = uint8_t(index);
    block[3] = 0;
    uint8_t *out = block + kHeaderSize;
    for (size_t i = 1; i < kImaSamplesPerBlock; i += 2) {
        const int lo = Quantise(samples[i], predictor, index);
        Expand(lo, predictor, index);
        const int hi = Quantise(samples[i + 1], predictor, index);
        Expand(hi, predictor, index);
        *out++ = uint8_t(lo | (hi << 4));
    }
    state.stepIndex = index;
}

bool DecodeImaBlock(const uint8_t *block, size_t length, int16_t *samples)
{
    if (!block || length != kImaBlockSize || block[2] > kImaMaxStepIndex)
        return false;
    int predictor = int16_t(GetLe16(block));
    int index = block[2];
    samples[0] = int16_t(predictor);
    const uint8_t *in = block + kHeaderSize;
    for (size_t i = 1; i < kImaSamplesPerBlock; i += 2) {
        const uint8_t byte = *in++;
        Expand(byte & 0x0F, predictor, index);
        samples[i] = int16_t(predictor);
        Expand(byte >> 4, predictor, index);
        samples[i + 1] = int16_t(predictor);
    }
    return true;
}

size_t ImaStreamEncoder::Encode(const uint8_t *pcm8, size_t count, std::vector<uint8_t> &out)
{
    size_t blocks = 0;
    for (size_t i = 0; i < count; ++i) {
        samples_[pending_++] = Pcm8ToPcm16(pcm8[i]);
        if (pending_ == kImaSamplesPerBlock) {
            const size_t at = out.size();
            out.resize(at + kImaBlockSize);
            EncodeImaBlock(samples_.data(), state_, out.data() + at);
            pending_ = 0;
            ++blocks;
        }
    }
    return blocks;
}

void ImaStreamEncoder::Reset()
{
    pending_ = 0;
    state_ = {};
}

void AdpcmCodec::OpenEncoder()
{
    encoder_.Reset();
    mode_ = Mode::Encoder;
}

void AdpcmCodec::OpenDecoder() { mode_ = Mode::Decoder; }

void AdpcmCodec::Close()
{
    encoder_.Reset();
    blocks_.clear();
    mode_ = Mode::Closed;
}

size_t AdpcmCodec::Convert(const uint8_t *source, size_t sourceLength, uint8_t *destination, size_t destinationLength)
{
    if (!source || !destination)
        return 0;
    if (mode_ == Mode::Encoder) {
        blocks_.clear();
        encoder_.Encode(source, sourceLength, blocks_);
        const size_t n = std::min(blocks_.size(), destinationLength / kImaBlockSize * kImaBlockSize);
        std::memcpy(destination, blocks_.data(), n);
        return n;
    }
    if (mode_ == Mode::Decoder) {
        int16_t samples[kImaSamplesPerBlock];
        if (destinationLength < kImaSamplesPerBlock || !DecodeImaBlock(source, sourceLength, samples))
            return 0;
        for (size_t i = 0; i < kImaSamplesPerBlock; ++i)
            destination[i] = Pcm16ToPcm8(samples[i]);
        return kImaSamplesPerBlock;
    }
    return 0;
}

std::vector<uint8_t> WriteImaWav(const std::vector<uint8_t> &blocks, uint32_t sampleCount)
{
    const uint32_t dataSize = uint32_t(blocks.size());
    uint8_t h[60];
    std::memcpy(h, "RIFF", 4);
    PutLe32(h + 4, uint32_t(sizeof h - 8) + dataSize + (dataSize & 1));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLe32(h + 16, 20);
    PutLe16(h + 20, kImaFormatTag);
    PutLe16(h + 22, 1);
    PutLe32(h + 24, kImaSampleRate);
    PutLe32(h + 28, uint32_t(kImaSampleRate * kImaBlockSize / kImaSamplesPerBlock)); // 4055 bytes a second
    PutLe16(h + 32, uint16_t(kImaBlockSize));
    PutLe16(h + 34, 4);
    PutLe16(h + 36, 2);
    PutLe16(h + 38, uint16_t(kImaSamplesPerBlock));
    std::memcpy(h + 40, "fact", 4);
    PutLe32(h + 44, 4);
    PutLe32(h + 48, sampleCount);
    std::memcpy(h + 52, "data", 4);
    PutLe32(h + 56, dataSize);
    std::vector<uint8_t> f(sizeof h + dataSize + (dataSize & 1), 0);
    std::memcpy(f.data(), h, sizeof h);
    if (dataSize)
        std::memcpy(f.data() + sizeof h, blocks.data(), dataSize);
    return f;
}

bool ReadImaWav(const std::vector<uint8_t> &file, std::vector<uint8_t> &blocks, uint32_t &sampleCount)
{
    const size_t n = file.size();
    if (n < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return false;
    bool formatOk = false;
    sampleCount = 0;
    size_t at = 12;
    while (at + 8 <= n) {
        const uint8_t *chunk = file.data() + at;
        const size_t size = GetLe32(chunk + 4);
        const size_t body = at + 8;
        const size_t avail = std::min(size, n - body);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && avail >= 16) {
            const uint8_t *p = chunk + 8;
            formatOk = GetLe16(p) == kImaFormatTag && GetLe16(p + 2) == 1 && GetLe32(p + 4) == kImaSampleRate &&
                       GetLe16(p + 12) == kImaBlockSize;
            if (formatOk && avail >= 20 && GetLe16(p + 16) >= 2)
                formatOk = GetLe16(p + 18) == kImaSamplesPerBlock;
        } else if (std::memcmp(chunk, "fact", 4) == 0 && avail >= 4) {
            sampleCount = GetLe32(chunk + 8);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!formatOk)
                return false;
            blocks.assign(file.begin() + long(body), file.begin() + long(body + avail / kImaBlockSize * kImaBlockSize));
            return true;
        }
        if (size > n - body)
            break;
        at = body + size + (size & 1);
    }
    return false;
}

} // namespace strandel
