#include "simoptions.h"

#include <cerrno>
#include <cstdlib>

namespace strandel::sim {

namespace {

constexpr const char *kFaultNames[kFaultKindCount] = {"lost-segment", "bad-crc", "wrong-frame-id", "oversize",
                                                      "garbage"};

bool ParseInt(const std::string &text, long lo, long hi, long &out)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ParseMac(const std::string &text, std::array<uint8_t, 6> &mac)
{
    // "00:1C:5A:00:00:01" or with '-' between the bytes.
    if (text.size() != 17)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[size_t(i * 3 - 1)] != ':' && text[size_t(i * 3 - 1)] != '-')
            return false;
        const std::string byte = text.substr(size_t(i * 3), 2);
        char *end = nullptr;
        const long v = std::strtol(byte.c_str(), &end, 16);
        if (*end != '\0' || byte[0] == '-' || byte[0] == '+')
            return false;
        mac[size_t(i)] = uint8_t(v);
    }
    return true;
}

bool ParseListen(const std::string &text, std::string &host, int &port)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    long p = 0;
    if (!ParseInt(text.substr(colon + 1), 0, 65535, p))
        return false;
    host = text.substr(0, colon);
    port = int(p);
    return true;
}

} // namespace

const char *FaultName(FaultKind kind) { return kFaultNames[int(kind)]; }

bool FaultFromName(const std::string &name, FaultKind &kind)
{
    for (int i = 0; i < kFaultKindCount; ++i)
        if (name == kFaultNames[i]) {
            kind = FaultKind(i);
            return true;
        }
    return false;
}

const char *SimUsage()
{
    return "usage: dvrsim [options]\n"
           "  --listen HOST:PORT     TCP address (default 127.0.0.1:5400; port 0 = any free port)\n"
           "  --no-tcp               do not listen on TCP\n"
           "  --serial PATH          speak the serial framing on a device\n"
           "  --pty                  create a pseudo-terminal and print its slave path\n"
           "  --baud N               line speed of the serial device (default 115200)\n"
           "  --login RESULT         master | slave | busy | deny (default master)\n"
           "  --channels N           1..16 (default 4)\n"
           "  --ntsc                 NTSC video (default PAL)\n"
           "  --model N              model code 0..15 (default 0); a firmware image must carry its tag\n"
           "  --variant N            record variant 0..15: the model code, and the configuration\n"
           "                         record answered as reply 35 with a built-in record of its page\n"
           "                         set (1; 2 with 16 channels; 4 with 4 channels; others default)\n"
           "  --mac XX:XX:XX:XX:XX:XX  MAC address in the login answer\n"
           "  --user NAME            user a login must name (or leave empty)\n"
           "  --password TEXT        password a login must give\n"
           "  --fps N                records per second and channel, 1..30 (default 5)\n"
           "  --source DIR|FILE.dvr  pictures per channel (chNN.jpg, chNN-*.jpg or chNN.m4v),\n"
           "                         or the records of a recording\n"
           "  --full-size            generated pictures as two 704-wide fields a record\n"
           "  --drop-after SECONDS   drop a TCP connection that long after its login\n"
           "  --alive-timeout SECONDS  drop a logged-in connection silent that long (no keep-alive)\n"
           "  --env FILE             configuration record (9638 bytes) to start from\n"
           "  --transcript FILE      write every packet received and sent to FILE\n"
           "  --audio FILE           WAVE file (8000 Hz PCM or IMA ADPCM) pushed while a viewer\n"
           "                         has audio receive on, looping (default: a tone)\n"
           "  --audio-tone HZ        frequency of the tone, 50..3900 (default 1000)\n"
           "  --audio-save FILE      write the audio viewers send to FILE (IMA ADPCM WAVE) at exit\n"
           "  --fault KIND[:COUNT]   lost-segment | bad-crc | wrong-frame-id | oversize | garbage\n"
           "  --make-firmware FILE   write a firmware image this recorder takes (its model's tag and\n"
           "                         CRC-32) to FILE and stop; --model 1 makes one another recorder takes\n"
           "  --size N               bytes of that image, 20..67108864 (default 262144)\n"
           "  --help                 this text\n";
}

bool ParseSimOptions(const std::vector<std::string> &args, SimOptions &out, std::string &error, bool *help)
{
    if (help)
        *help = false;
    bool modelGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string &v) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        auto number = [&](long lo, long hi, long &n) {
            std::string v;
            if (!value(v))
                return false;
            if (!ParseInt(v, lo, hi, n)) {
                error = a + ": bad value '" + v + "'";
                return false;
            }
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            if (help)
                *help = true;
        } else if (a == "--listen") {
            if (!value(v))
                return false;
            if (!ParseListen(v, out.listenHost, out.listenPort)) {
                error = "--listen: expected HOST:PORT, got '" + v + "'";
                return false;
            }
        } else if (a == "--no-tcp") {
            out.listenHost.clear();
        } else if (a == "--serial") {
            if (!value(out.serialPath))
                return false;
        } else if (a == "--pty") {
            out.pty = true;
        } else if (a == "--baud") {
            if (!number(50, 4000000, n))
                return false;
            out.baud = int(n);
        } else if (a == "--login") {
            if (!value(v))
                return false;
            if (v == "master")
                out.loginResult = 2;
            else if (v == "slave")
                out.loginResult = 1;
            else if (v == "busy")
                out.loginResult = 3;
            else if (v == "deny")
                out.loginResult = 0;
            else {
                error = "--login: expected master, slave, busy or deny";
                return false;
            }
        } else if (a == "--channels") {
            if (!number(1, 16, n))
                return false;
            out.channels = int(n);
        } else if (a == "--ntsc") {
            out.ntsc = true;
        } else if (a == "--model") {
            if (!number(0, 15, n))
                return false;
            out.model = uint8_t(n);
            modelGiven = true;
        } else if (a == "--variant") {
            if (!number(0, 15, n))
                return false;
            out.variant = int(n);
        } else if (a == "--mac") {
            if (!value(v))
                return false;
            if (!ParseMac(v, out.mac)) {
                error = "--mac: expected six hex bytes like 00:1C:5A:00:00:01";
                return false;
            }
        } else if (a == "--user") {
            if (!value(out.user))
                return false;
            out.checkLogin = true;
        } else if (a == "--password") {
            if (!value(out.password))
                return false;
            out.checkLogin = true;
        } else if (a == "--fps") {
            if (!number(1, 30, n))
                return false;
            out.fps = int(n);
        } else if (a == "--source") {
            if (!value(out.source))
                return false;
        } else if (a == "--full-size") {
            out.fullSize = true;
        } else if (a == "--drop-after") {
            if (!number(0, 86400, n))
                return false;
            out.dropAfter = int(n);
        } else if (a == "--alive-timeout") {
            if (!number(0, 86400, n))
                return false;
            out.aliveTimeout = int(n);
        } else if (a == "--env") {
            if (!value(out.envFile))
                return false;
        } else if (a == "--transcript") {
            if (!value(out.transcript))
                return false;
        } else if (a == "--audio") {
            if (!value(out.audioFile))
                return false;
        } else if (a == "--audio-tone") {
            if (!number(50, 3900, n))
                return false;
            out.audioToneHz = double(n);
        } else if (a == "--audio-save") {
            if (!value(out.audioSave))
                return false;
        } else if (a == "--make-firmware") {
            if (!value(out.makeFirmware))
                return false;
        } else if (a == "--size") {
            if (!number(20, 64L << 20, n))
                return false;
            out.firmwareSize = n;
        } else if (a == "--fault") {
            if (!value(v))
                return false;
            const size_t colon = v.find(':');
            long count = 1;
            FaultKind kind{};
            if (!FaultFromName(v.substr(0, colon), kind) ||
                (colon != std::string::npos && !ParseInt(v.substr(colon + 1), 1, 1000000, count))) {
                error = "--fault: expected KIND[:COUNT], got '" + v + "'";
                return false;
            }
            out.faults[size_t(kind)] += int(count);
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (out.variant >= 0) {
        // The viewer reads the variant from the model code of the login answer.
        if (modelGiven && out.model != out.variant) {
            error = "--variant is the model code: --model " + std::to_string(out.model) + " names another";
            return false;
        }
        out.model = uint8_t(out.variant);
    }
    if (!out.makeFirmware.empty())
        return true; // nothing is served
    if (out.listenHost.empty() && out.serialPath.empty() && !out.pty) {
        error = "nothing to listen on: give --listen, --serial or --pty";
        return false;
    }
    if (!out.serialPath.empty() && out.pty) {
        error = "--serial and --pty exclude each other";
        return false;
    }
    return true;
}

} // namespace strandel::sim
