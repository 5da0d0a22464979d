#include "simaudio.h"

#include "platform/endian.h"
#include "viewer/audio/imaadpcm.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace strandel::sim {

std::vector<uint8_t> ToneBlocks(double hz, size_t blockCount)
{
    std::vector<uint8_t> pcm(blockCount * kImaSamplesPerBlock);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = uint8_t(std::lround(128 + 100 * std::sin(2 * M_PI * hz * double(i) / kImaSampleRate)));
    ImaStreamEncoder encoder;
    std::vector<uint8_t> blocks;
    encoder.Encode(pcm.data(), pcm.size(), blocks);
    return blocks;
}

namespace {

// 8000 Hz PCM of 8 or 16 bits from a WAVE file, first channel, as 8-bit unsigned samples.
bool ReadPcmWav(const std::vector<uint8_t> &f, std::vector<uint8_t> &pcm8, std::string &error)
{
    const size_t n = f.size();
    uint16_t channels = 0, bits = 0, tag = 0;
    uint32_t rate = 0;
    size_t at = 12;
    while (at + 8 <= n) {
        const uint8_t *c = f.data() + at;
        const size_t size = GetLe32(c + 4);
        const size_t body = at + 8;
        const size_t avail = std::min(size, n - body);
        if (std::memcmp(c, "fmt ", 4) == 0 && avail >= 16) {
            tag = GetLe16(c + 8);
            channels = GetLe16(c + 10);
            rate = GetLe32(c + 12);
            bits = GetLe16(c + 22);
        } else if (std::memcmp(c, "data", 4) == 0) {
            if (tag != 1 || channels == 0 || rate != kImaSampleRate || (bits != 8 && bits != 16)) {
                error = "expected 8000 Hz PCM of 8 or 16 bits or IMA ADPCM in 256-byte blocks";
                return false;
            }
            const size_t frame = size_t(channels) * bits / 8;
            for (size_t i = body; i + frame <= body + avail; i += frame)
                pcm8.push_back(bits == 8 ? f[i] : Pcm16ToPcm8(int16_t(GetLe16(&f[i]))));
            return true;
        }
        if (size > n - body)
            break;
        at = body + size + (size & 1);
    }
    error = "no audio data";
    return false;
}

} // namespace

bool LoadSimAudio(const SimOptions &options, std::vector<uint8_t> &blocks, std::string &error)
{
    blocks.clear();
    if (options.audioFile.empty()) {
        blocks = ToneBlocks(options.audioToneHz, 64);
        return true;
    }
    std::ifstream in(options.audioFile, std::ios::binary);
    const std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && f.empty()) {
        error = "--audio: cannot read " + options.audioFile;
        return false;
    }
    if (f.size() < 12 || std::memcmp(f.data(), "RIFF", 4) != 0 || std::memcmp(f.data() + 8, "WAVE", 4) != 0) {
        error = "--audio: " + options.audioFile + " is no WAVE file";
        return false;
    }
    uint32_t samples = 0;
    if (!ReadImaWav(f, blocks, samples)) {
        std::vector<uint8_t> pcm8;
        if (!ReadPcmWav(f, pcm8, error)) {
            error = "--audio: " + options.audioFile + ": " + error;
            return false;
        }
        ImaStreamEncoder encoder;
        encoder.Encode(pcm8.data(), pcm8.size(), blocks);
    }
    if (blocks.empty()) {
        error = "--audio: " + options.audioFile + " holds less than one block (505 samples)";
        return false;
    }
    return true;
}

} // namespace strandel::sim
