// libFuzzer target: random packet sequences into the view's dispatcher and record push.
#include "tests/protocol/packet_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    strandel::test::FeedPacketBytes(data, size);
    return 0;
}
