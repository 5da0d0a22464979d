#include "simcontrols.h"

#include <iterator>

namespace strandel::sim {

namespace {

// Camera actions as the pan/tilt window sends them.
constexpr uint8_t kPtzMove = 1;
constexpr uint8_t kPtzSetPreset = 2;
constexpr uint8_t kPtzGoPreset = 3;
constexpr uint8_t kPtzAutoFocus = 4;
constexpr uint8_t kPtzStop = 0x63;

// Key captions by bit; the first row of the digit block and the head of the function column
// carry no caption on the pad, so they are named by place.
constexpr const char *kKeys[] = {"1",      "2",     "3",    "4",    "5",      "6",    "7",    "8",
                                 "9",      "0",     "+10",  "Multi", "F1",    "Menu", "LV/PB", "PTZ",
                                 "STATUS", "ZOOM",  "AUTO", "PIP",  "FREEZE", "REC",  "SLOW", "PLAY",
                                 "FAST",   "DIR",   "SEARCHJ", "COPY", "ALM"};

} // namespace

std::string DescribePtz(const uint8_t p[4])
{
    static constexpr const char *kMoves[] = {"left", "right", "down", "up", "zoom in", "zoom out", "focus +", "focus -"};
    static constexpr const char *kSpeeds[] = {"1X", "2X", "4X"};
    std::string text = "ptz channel " + std::to_string(p[0] + 1) + " ";
    switch (p[1]) {
    case kPtzMove:
        text += p[2] < std::size(kMoves) ? kMoves[p[2]] : "move " + std::to_string(p[2]);
        break;
    case kPtzStop:
        text += "stop";
        break;
    case kPtzSetPreset:
        text += "store preset " + std::to_string(p[2] + 1);
        break;
    case kPtzGoPreset:
        text += "go to preset " + std::to_string(p[2] + 1);
        break;
    case kPtzAutoFocus:
        text += "auto focus";
        break;
    default:
        text += "action " + std::to_string(p[1]) + " argument " + std::to_string(p[2]);
        break;
    }
    text += " speed ";
    text += p[3] < std::size(kSpeeds) ? kSpeeds[p[3]] : std::to_string(p[3]);
    return text;
}

std::string DescribeKey(uint32_t bits)
{
    std::string names;
    for (int b = 0; b < 32; ++b) {
        if (!(bits & (1u << b)))
            continue;
        if (!names.empty())
            names += '+';
        names += size_t(b) < std::size(kKeys) ? kKeys[b] : "bit " + std::to_string(b);
    }
    return "key " + (names.empty() ? std::string("none") : names);
}

std::string DescribeControl(uint16_t word)
{
    const char *meaning = "unknown";
    switch (word) {
    case 0: meaning = "initialise recorder"; break;
    case 1: meaning = "initialise fixed disks"; break;
    case 2: meaning = "initialise backup disks"; break;
    case 11: meaning = "relay on"; break;
    case 12: meaning = "relay off"; break;
    case 100: meaning = "unassigned"; break;
    default: break;
    }
    return "control " + std::to_string(word) + " " + meaning;
}

} // namespace strandel::sim
