// libFuzzer target: random packet sequences into the view's dispatcher and record push.
#include "tests/protocol/packet_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!strandel::test::FeedPacketBytes(data, size))
        __builtin_trap(); // the dispatcher was left unable to take a well-formed reply
    return 0;
}
