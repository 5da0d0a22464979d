#pragma once
// The configuration record a recorder of a kind holds when it leaves the factory: every page of
// the set-up editor filled with what such a recorder would show, the record programs within the
// frame budget of the page set its record variant selects.
#include <cstdint>
#include <vector>

namespace strandel::sim {

struct RecorderKind {
    int channels = 4;
    bool ntsc = false;
    int variant = 0; // the record variant (the model code of a reply 35), 0 for reply 11
    uint16_t port = 5400;
};

std::vector<uint8_t> BuildRecorderEnv(const RecorderKind &kind);

// The program a recorder records with in an hour of its schedule: 2 (0 on the variant pages of
// variants 1 and 2) in a scheduled hour, 6 outside it, as the editor opens them.
int ScheduledProgram(const std::vector<uint8_t> &env, int variant, int channels, int weekday, int hour);

// The cells of the custom split layouts as a recorder leaves them: each list counts up from
// channel 1, except the 9-split, which on more than nine channels shows the last nine, so that
// the two 9-splits between them show every channel. 0 = an empty cell.
uint8_t DefaultLayoutCell(int cells, int index, int channels);

} // namespace strandel::sim
