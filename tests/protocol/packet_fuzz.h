#pragma once
// Feeds arbitrary bytes to a logged-in view as a packet sequence: each packet is
// [cmd, flag, length low, length high] and up to that many payload bytes (at most 1024).
// Every dialog is open and a recording and a copy run, so every handler can be reached.
#include "protocol_fakes.h"

#include <algorithm>

namespace strandel::test {

// Returns whether, after the bytes, a well-formed record still reaches the picture path and a
// block-search reply still reaches its dialog: noise must not wedge the dispatcher.
inline bool FeedPacketBytes(const uint8_t *data, size_t size)
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

    core.OnPacket({DvrCmdLogin, 0, 9}, login);
    view.RunPending();
    const size_t shownBefore = view.shown.size();
    dialogs.Take();
    FrameRecordHeader h;
    h.channel = 1;
    h.frameId = 0x33;
    h.kind = FrameKindLive;
    h.time = {20, 26, 12, 10, 13, 14, 15};
    h.partSize = {200, 0, 0};
    const std::vector<uint8_t> parts[3] = {std::vector<uint8_t>(200, 7), {}, {}};
    for (const auto &p : RecordPackets(h, parts))
        core.OnPacket(p.header, p.payload.data());
    const uint8_t entry[kBlockEntrySize] = {1, 2, 3};
    core.OnPacket({DvrCmdBlockSearch, 0, uint16_t(kBlockEntrySize)}, entry);
    view.RunPending();
    const auto calls = dialogs.Take();
    const bool shown = view.shown.size() == shownBefore + 1 && view.shown.back().second == parts[0];
    const bool answered = std::find(calls.begin(), calls.end(), "block " + std::to_string(kBlockEntrySize)) != calls.end();
    return shown && answered;
}

} // namespace strandel::test
