// Writes 8-bit unsigned 8000 Hz mono PCM as a WAVE file of our IMA ADPCM blocks, for the
// fixtures that outside tools decode (make_fixtures.sh).
#include "viewer/audio/imaadpcm.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

using namespace strandel;

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.u8 OUT.wav\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> pcm((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ImaStreamEncoder encoder;
    std::vector<uint8_t> blocks;
    const size_t count = encoder.Encode(pcm.data(), pcm.size(), blocks);
    const std::vector<uint8_t> wav = WriteImaWav(blocks, uint32_t(count * kImaSamplesPerBlock));
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char *>(wav.data()), std::streamsize(wav.size()));
    return out ? 0 : 1;
}
