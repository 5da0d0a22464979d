// libFuzzer target: any bytes as splay-tree code. The first two bytes ask for a length; the
// expansion either ends early or gives exactly that many bytes, which compress back to a code
// that expands to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "report/pages/splay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t want = size_t(data[0]) | (size_t(data[1]) << 8);
    std::vector<uint8_t> out;
    size_t consumed = 0;
    bool ok = strandel::PgxExpandBytes(data + 2, size - 2, want, out, &consumed);
    if (!ok)
        return 0;
    if (out.size() != want || consumed > size - 2)
        abort();
    std::vector<uint8_t> code = strandel::PgxCompressBytes(out.data(), out.size());
    std::vector<uint8_t> back;
    if (!strandel::PgxExpandBytes(code.data(), code.size(), want, back) || back != out)
        abort();
    // The code of what came out is at most as long as the code it came from.
    if (code.size() > consumed)
        abort();
    return 0;
}
