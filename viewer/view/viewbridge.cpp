#include "viewer/view/viewbridge.h"

namespace strandel {

namespace {
QString Q(const std::string &text) { return QString::fromStdString(text); }
} // namespace

void TfrmDvrWin::ViewBridge::OnConnected() { v_.OnConnected(); }
void TfrmDvrWin::ViewBridge::OnDisconnected() { v_.OnDisconnected(); }
bool TfrmDvrWin::ViewBridge::IsConnected() const { return v_.IsConnected(); }
void TfrmDvrWin::ViewBridge::OnPacket(const PacketHeader &header, const uint8_t *payload) { v_.OnPacket(header, payload); }
void TfrmDvrWin::ViewBridge::ShowMessageText(const std::string &text) { v_.ShowMessageText(Q(text)); }
bool TfrmDvrWin::ViewBridge::IsSwitchingLayout() const { return v_.IsSwitchingLayout(); }
void TfrmDvrWin::ViewBridge::ShowMessagePanel(bool visible) { v_.ShowMessagePanel(visible); }
void TfrmDvrWin::ViewBridge::ShowMsgWindow(const std::string &text) { v_.ShowMsgWindow(Q(text)); }
void TfrmDvrWin::ViewBridge::SetStateText(const std::string &text) { v_.SetStateText(Q(text)); }
void TfrmDvrWin::ViewBridge::SetTrackBarRange(uint32_t base, uint32_t count) { v_.SetTrackBarRange(base, count); }
void TfrmDvrWin::ViewBridge::SetTrackBarPosition(uint32_t base, uint32_t position)
{
    v_.SetTrackBarPosition(base, position);
}
void TfrmDvrWin::ViewBridge::MoveTrackBarToEnd() { v_.MoveTrackBarToEnd(); }
void TfrmDvrWin::ViewBridge::SetTimeLabels(const std::string &start, const std::string &end)
{
    v_.SetTimeLabels(Q(start), Q(end));
}
void TfrmDvrWin::ViewBridge::SetChannelMask(uint16_t mask) { v_.SetChannelMask(mask); }
void TfrmDvrWin::ViewBridge::DrawTitle(int pane, const uint8_t *bitmap, uint8_t mode) { v_.DrawTitle(pane, bitmap, mode); }
void TfrmDvrWin::ViewBridge::ApplyScreenLayouts(const ScreenLayoutInfo &info) { v_.ApplyScreenLayouts(info); }
void TfrmDvrWin::ViewBridge::PlayAudio(const uint8_t *adpcm, size_t length) { v_.PlayAudio(adpcm, length); }
void TfrmDvrWin::ViewBridge::UpdateToolbar() { v_.UpdateToolbar(); }
void TfrmDvrWin::ViewBridge::PostOpenSetup() { v_.PostOpenSetup(); }
void TfrmDvrWin::ViewBridge::ShowCopyPanel(bool visible) { v_.ShowCopyPanel(visible); }
void TfrmDvrWin::ViewBridge::SetCopyProgress(const std::string &timeText, const std::string &percentText)
{
    v_.SetCopyProgress(Q(timeText), Q(percentText));
}
void TfrmDvrWin::ViewBridge::OnLoggedIn(const LoginAnswer &answer) { v_.OnLoggedIn(answer); }

std::optional<std::string> TfrmDvrWin::ViewBridge::AskLogFileName()
{
    if (auto name = v_.AskLogFileName())
        return name->toStdString();
    return std::nullopt;
}

std::optional<std::string> TfrmDvrWin::ViewBridge::AskPassword(const std::string &reason)
{
    if (auto password = v_.AskPassword(Q(reason)))
        return password->toStdString();
    return std::nullopt;
}

void TfrmDvrWin::ViewBridge::ShowMessageBox(const std::string &text) { v_.ShowMessageBox(Q(text)); }
void TfrmDvrWin::ViewBridge::CloseView() { v_.CloseView(); }
void TfrmDvrWin::ViewBridge::OfferMpegRecord(FrameRecordHeader &header, const std::vector<uint8_t> &part0)
{
    v_.OfferMpegRecord(header, part0);
}

} // namespace strandel
