#pragma once
// The view as its core and its connection see it. Each call goes to the view's own operation of
// the same name, so the protocol and link areas reach the view only through their interfaces.
#include <optional>
#include <string>

#include "viewer/link/dvrviewlink.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/view/dvrwin.h"

namespace strandel {

class TfrmDvrWin::ViewBridge final : public DvrWinView, public DvrViewLink {
public:
    explicit ViewBridge(TfrmDvrWin &view) : v_(view) {}

    // DvrViewLink
    void OnConnected() override;
    void OnDisconnected() override;
    bool IsConnected() const override;
    void OnPacket(const PacketHeader &header, const uint8_t *payload) override;

    // Both
    void ShowMessageText(const std::string &text) override;

    // DvrWinView
    bool IsSwitchingLayout() const override;
    void ShowMessagePanel(bool visible) override;
    void ShowMsgWindow(const std::string &text) override;
    void SetStateText(const std::string &text) override;
    void SetTrackBarRange(uint32_t base, uint32_t count) override;
    void SetTrackBarPosition(uint32_t base, uint32_t position) override;
    void MoveTrackBarToEnd() override;
    void SetTimeLabels(const std::string &start, const std::string &end) override;
    void SetChannelMask(uint16_t mask) override;
    void DrawTitle(int pane, const uint8_t *bitmap, uint8_t mode) override;
    void ApplyScreenLayouts(const ScreenLayoutInfo &info) override;
    void PlayAudio(const uint8_t *adpcm, size_t length) override;
    void UpdateToolbar() override;
    void PostOpenSetup() override;
    void ShowCopyPanel(bool visible) override;
    void SetCopyProgress(const std::string &timeText, const std::string &percentText) override;
    void OnLoggedIn(const LoginAnswer &answer) override;
    std::optional<std::string> AskLogFileName() override;
    std::optional<std::string> AskPassword(const std::string &reason) override;
    void ShowMessageBox(const std::string &text) override;
    void CloseView() override;
    void OfferMpegRecord(FrameRecordHeader &header, const std::vector<uint8_t> &part0) override;

private:
    TfrmDvrWin &v_;
};

} // namespace strandel
