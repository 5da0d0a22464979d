#pragma once
// What the simulated recorder is and how it behaves: the command line of dvrsim and the
// settings tests pass to the library directly.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace strandel::sim {

// Deliberate faults on the wire, for tests of the viewer's receivers and reassembly. Each
// count is the number of times the fault is still to happen; faults wait until a session is
// logged in, so the login answer itself always arrives intact.
enum class FaultKind : uint8_t {
    LostSegment,  // a piece of a long transfer is not sent: a SegData packet of a long reply,
                  // or a chunk after the first of a record part (live, playback or copy)
    BadCrc,       // a frame goes out with its CRC inverted
    WrongFrameId, // a record header names another frame than its part ends
    Oversize,     // a frame header announcing more than 1024 payload bytes
    Garbage,      // junk bytes between two frames
};
constexpr int kFaultKindCount = 5;
const char *FaultName(FaultKind kind);
bool FaultFromName(const std::string &name, FaultKind &kind);

struct SimOptions {
    // TCP: address and port to listen on (port 0 = any free port); empty address = no TCP.
    std::string listenHost = "127.0.0.1";
    int listenPort = 5400;
    // Serial: a device to open, or a pseudo-terminal to create (its slave path is reported).
    std::string serialPath;
    bool pty = false;
    int baud = 115200; // line speed of a serial device (a pseudo-terminal has none)

    // Login answer. Result: 2 master, 1 slave, 3 master busy, 0 denied.
    int8_t loginResult = 2;
    int channels = 4;     // 1..16
    bool ntsc = false;
    uint8_t model = 0;    // 0..15, high nibble of the video byte
    // The record variant: the model code, which the configuration record's fetch is then
    // answered for with reply 35; -1 = none (reply 11, variant 0). It chooses the built-in
    // record's page set: 1, 2 (with 16 channels) and 4 (with 4 channels) have their own.
    int variant = -1;
    std::array<uint8_t, 6> mac{0x00, 0x1C, 0x5A, 0x00, 0x00, 0x01};
    // When either is set, a login must match: the user (or an empty user) and the password.
    std::string user;
    std::string password;
    bool checkLogin = false;

    // Video: records per second and channel, and where pictures come from: a directory, a
    // .dvr recording, or nothing for generated pictures.
    int fps = 5;
    std::string source;
    // Generated pictures at full size: two 704-wide fields a record.
    bool fullSize = false;

    // Drop a TCP connection this many seconds after its login (0 = never), or once nothing, not
    // even a keep-alive, has come from it for this many seconds (0 = never).
    int dropAfter = 0;
    int aliveTimeout = 0;
    // Configuration record file (9638 bytes); empty = the built-in default.
    std::string envFile;
    // Transcript of every packet received and sent; empty = none.
    std::string transcript;
    // Also print what the tool windows and control buttons sent, in words, on standard output
    // (the program does; tests keep quiet).
    bool announce = false;
    // Audio pushed while a viewer has audio receive on: a WAVE file, else a tone of this many Hz.
    std::string audioFile;
    double audioToneHz = 1000;
    // The audio viewers send, written as an IMA ADPCM WAVE file when the simulator stops.
    std::string audioSave;

    std::array<int, kFaultKindCount> faults{};

    // Write a firmware image for this model (--model / --variant) to this file and stop.
    std::string makeFirmware;
    long firmwareSize = 262144;

    uint8_t VideoByte() const { return uint8_t((model << 4) | (ntsc ? 1 : 0)); }
    uint32_t ChannelMask() const { return channels >= 32 ? 0xFFFFFFFFu : (1u << channels) - 1; }
};

// Parses the arguments after the program name. Returns false with a message for a bad one;
// sets *help for --help.
bool ParseSimOptions(const std::vector<std::string> &args, SimOptions &out, std::string &error,
                     bool *help = nullptr);
const char *SimUsage();

} // namespace strandel::sim
