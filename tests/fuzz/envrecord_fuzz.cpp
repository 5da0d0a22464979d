// Any configuration record from a recorder or an .env file: every field reads within its own
// bytes, and a value or text read and written back reads the same and touches no other byte.
#include "viewer/protocol/dvrenvrecord.h"
#include "viewer/protocol/dvrcommand.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace strandel;

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// Writes into a copy of the record and checks that only [at, at + width) changed.
template <typename Write> std::vector<uint8_t> WriteAlone(const std::vector<uint8_t> &rec, size_t at, size_t width, Write write)
{
    std::vector<uint8_t> copy = rec;
    write(copy.data() + at);
    Check(std::memcmp(copy.data(), rec.data(), at) == 0);
    Check(std::memcmp(copy.data() + at + width, rec.data() + at + width, rec.size() - at - width) == 0);
    return copy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> rec(kDvrEnvRecordSize, 0);
    std::memcpy(rec.data(), data, std::min(size, rec.size()));
    for (const DvrEnvField &f : DvrEnvFields()) {
        for (int i = 0; i < f.count; ++i) {
            const size_t at = EnvElementOffset(f, i);
            Check(at + f.width <= rec.size());
            const uint8_t *element = rec.data() + at;
            switch (f.encoding) {
            case EnvEncoding::Text:
            case EnvEncoding::Title: {
                const std::string text = DecodeEnvText(f, element);
                Check(text.size() <= f.width);
                const auto once = WriteAlone(rec, at, f.width, [&](uint8_t *p) { EncodeEnvText(f, text, p); });
                const std::string again = DecodeEnvText(f, once.data() + at);
                const auto twice = WriteAlone(once, at, f.width, [&](uint8_t *p) { EncodeEnvText(f, again, p); });
                Check(DecodeEnvText(f, twice.data() + at) == again);
                break;
            }
            case EnvEncoding::Ip:
                for (int k = 0; k < 4; ++k)
                    if (const auto octet = DecodeEnvOctet(element, k)) {
                        Check(*octet >= 0 && *octet <= 255);
                        const auto copy = WriteAlone(rec, at, f.width, [&](uint8_t *p) { EncodeEnvOctet(p, k, *octet); });
                        Check(DecodeEnvOctet(copy.data() + at, k) == octet);
                    }
                break;
            case EnvEncoding::Time:
            case EnvEncoding::Password:
            case EnvEncoding::Block:
                break;
            default:
                if (const auto value = DecodeEnvValue(f, element)) {
                    bool written = false;
                    const auto copy = WriteAlone(rec, at, f.width, [&](uint8_t *p) { written = EncodeEnvValue(f, *value, p); });
                    Check(written);
                    Check(DecodeEnvValue(f, copy.data() + at) == value);
                }
                break;
            }
        }
    }
    return 0;
}
