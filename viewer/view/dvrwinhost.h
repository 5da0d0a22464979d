#pragma once
// What a recorder view needs of the program around it: the main window's register of views and
// its toolbar, the notice window and the address book. The program installs one host; without
// one (a view on its own, as in tests) a view keeps to itself.
#include <QString>

#include <cstddef>
#include <cstdint>

namespace strandel {

class TfrmDvrWin;
struct DvrListRecord;

class DvrWinHost {
public:
    virtual ~DvrWinHost() = default;

    // The main window's register; a host without a main window answers as if alone.
    virtual bool IsSwitchingLayout() = 0;
    virtual int GetDvrWinCount() const = 0;
    virtual bool AddDvrWin(TfrmDvrWin *view) = 0;
    virtual void RemoveDvrWin(TfrmDvrWin *view) = 0;
    virtual void SetCurrentDvrWin(TfrmDvrWin *view) = 0;
    virtual void SetDvrCaption(TfrmDvrWin *view, const QString &text) = 0;
    virtual void UpdateToolbar(TfrmDvrWin *view) = 0;
    // A received audio block of the view; the main window plays it when the view is current.
    virtual void PlayAudio(TfrmDvrWin *view, const uint8_t *data, size_t length)
    {
        (void)view, (void)data, (void)length;
    }

    // Shows the pan/tilt window or the remote key pad, with the main window's button down.
    virtual void ShowPanTilt() = 0;
    virtual void ShowKeyPad() = 0;

    // The program's notice window.
    virtual void ShowNotice(const QString &text) = 0;
    // Writes a recorder's MAC address into its address-book entry, while the entry is still listed.
    virtual void UpdateListedMac(DvrListRecord *record, const uint8_t mac[6]) = 0;
};

DvrWinHost *GetDvrWinHost();
void SetDvrWinHost(DvrWinHost *host);

} // namespace strandel
