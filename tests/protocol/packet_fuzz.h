#pragma once
// Feeds arbitrary bytes to a logged-in view as a packet sequence: each packet is
// [cmd, flag, length low, length high] and up to that many payload bytes (at most 1024).
// Every dialog is open and a recording and a copy run, so every handler can be reached.
#include "protocol_fakes.h"

namespace strandel::test {

inline void FeedPacketBytes(const uint8_t *data, size_t size)
{
    FakeView view;
    FakeSender sender;
    FakeWriterState writer;
    FakeDialogs dialogs;
    DvrWinCore core(view, FakeWriterFactory(writer));
    core.SetConnection(&sender);
    core.Dialogs() = {&dialogs, &dialogs, &dialogs, &dialogs, &dialogs, &dialogs, &dialogs, &dialogs};
    const uint8_t login[9] = {DvrLoginMaster, 16, 0x11, 0, 0, 0, 0, 0, 0};
    core.OnPacket({DvrCmdLogin, 0, 9}, login);
    core.StartRecord("Save/fuzz.dvr");
    core.StartNetCopy("Copy/fuzz.dvr");
    core.SetAudioReceive(true);
    core.SetModeState(DvrModePlayback);

    size_t at = 0;
    while (size - at >= 4) {
        PacketHeader h;
        h.cmd = uint8_t(data[at] % 40);
        h.flag = data[at + 1];
        size_t length = size_t(data[at + 2] | (data[at + 3] << 8)) % (kMaxPayload + 1);
        at += 4;
        length = std::min(length, size - at);
        h.length = uint16_t(length);
        // The payload is copied so the sanitizer sees its exact end.
        const std::vector<uint8_t> payload(data + at, data + at + length);
        core.OnPacket(h, payload.data());
        at += length;
        if (h.cmd == DvrCmdLogin)
            core.OnPacket({DvrCmdLogin, 0, 9}, login);
        view.RunPending();
        if (writer.bytesWritten > 1000) // exercise the roll-over now and then
            writer.bytesWritten = DvrWinCore::kRollOverBytes + 1;
    }
    view.RunPending();
}

} // namespace strandel::test
