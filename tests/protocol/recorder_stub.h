#pragma once
// The recorder's side of a short session: answers a request with the packets a recorder sends
// back (unsegmented; a link segments long ones). Used in-process and behind a loopback socket.
#include "protocol_fakes.h"

namespace strandel::test {

class RecorderStub {
public:
    std::vector<Packet> Answer(const Packet &request)
    {
        const auto &in = request.payload;
        std::vector<Packet> out;
        switch (request.header.cmd) {
        case DvrCmdLogin:
            if (in.size() == 16 && std::string(in.begin() + 8, in.end()).c_str() == std::string("1234")) {
                out.push_back(MakePacket(DvrCmdLogin, 0, {DvrLoginMaster, 4, 0x01, 0, 1, 2, 3, 4, 5}));
                for (uint8_t id = 1; id <= 3; ++id)
                    Record(out, id, FrameKindLive);
            } else {
                out.push_back(MakePacket(DvrCmdLogin, 0, {DvrLoginDenied, 0, 0, 0, 0, 0, 0, 0, 0}));
            }
            break;
        case DvrCmdEnvGet:
            out.push_back(MakePacket(DvrCmdEnvGet, 0, envRecord));
            break;
        case DvrCmdEnvSet:
            if (request.header.flag == DvrFlagBlockBegin)
                upload.clear();
            else if (request.header.flag == DvrFlagBlockEnd)
                out.push_back(MakePacket(DvrCmdEnvSet, 0, {uint8_t(upload == envRecord ? 1 : 0)}));
            else
                upload.insert(upload.end(), in.begin(), in.end());
            break;
        case DvrCmdPlay:
            if (in.size() == 5 && in[0] == PT_PLAY) {
                out.push_back(MakePacket(DvrCmdPlay, 0, in));
            } else if (in.size() == 10 && in[0] == PLAY_TIME) {
                std::vector<uint8_t> info = {INFO_RECTIME, 0, 0, 0, 0, 50, 0, 0, 0};
                for (int k = 0; k < 2; ++k)
                    info.insert(info.end(), in.begin() + 3, in.end());
                out.push_back(MakePacket(DvrCmdPlayInfo, 0, info));
                Record(out, 10, FrameKindPlayback);
                Record(out, 11, FrameKindPlayback);
            }
            break;
        default:
            break;
        }
        return out;
    }

    std::vector<uint8_t> envRecord = std::vector<uint8_t>(kDvrEnvRecordSize, 0x24);
    std::vector<uint8_t> upload;

private:
    static void Record(std::vector<Packet> &out, uint8_t id, uint8_t kind)
    {
        FrameRecordHeader h;
        h.channel = 1;
        h.frameId = id;
        h.kind = kind;
        h.partSize = {3000, 20, 0};
        const std::vector<uint8_t> parts[3] = {std::vector<uint8_t>(3000, id), std::vector<uint8_t>(20, 0xEE), {}};
        const auto packets = RecordPackets(h, parts);
        out.insert(out.end(), packets.begin(), packets.end());
    }
};

// Serves the UI thread until cond holds; a hang guard, not a timing check.
template <typename Cond> bool Serve(FakeView &view, Cond cond)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        view.RunPending();
    }
    return true;
}

inline bool ViewSaw(FakeView &view, const std::string &line)
{
    std::lock_guard l(view.mutex);
    return std::find(view.calls.begin(), view.calls.end(), line) != view.calls.end();
}

inline size_t ShownCount(FakeView &view)
{
    std::lock_guard l(view.mutex);
    return view.shown.size();
}

} // namespace strandel::test
