#pragma once
// What the administration dialogs use of the recorder view that opened them and of the main
// window, in one place. The view implements DvrServices and the main window MainServices; a
// test implements DvrServices over a bare link, so every dialog runs against dvrsim and the
// real view alike. The shared helpers the dialogs call come with this header.
#include "platform/debuglog.h"     // DebugPrint
#include "platform/settings.h"     // RegReadInt, RegReadString, RegWriteInt, RegWriteString
#include "viewer/base/global.h"    // RecorderTime, DayOfWeek, TimeText, IpToString
#include "viewer/link/crc32.h"     // CheckCrc
#include "viewer/protocol/dvrcommand.h"

#include <QDate>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace strandel {

// The recorder view as the dialogs see it.
class DvrServices {
public:
    virtual ~DvrServices();
    // Tells the watchers (WatchDvrServicesGone) that this view is going, once. The view calls
    // it first thing in its destructor, while everything a send uses still exists; the
    // destructor calls it too.
    void NotifyGone();

    // One packet to the recorder. Holds the process-wide send lock ("SendEvent"), so the UI
    // thread and the upgrade thread may both call it. False when nothing went out; callers
    // that have nothing to do about it may ignore the result.
    virtual bool SendCommandEx(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) = 0;
    bool SendCommand(uint8_t cmd, const uint8_t *data = nullptr, int length = 0)
    {
        return SendCommandEx(cmd, DvrFlagNone, data, length);
    }
    // A block larger than one packet: an empty packet flagged DvrFlagBlockBegin, parts of at
    // most kUploadPartSize bytes, an empty packet flagged DvrFlagBlockEnd. A failed part ends
    // it without the end mark. The view's own framing is used, so it is the same everywhere.
    virtual bool SendUpload(uint8_t cmd, const uint8_t *data, size_t length) = 0;
    // DvrCmdRemoteKey with the code as 4 bytes, little-endian.
    bool SendRemoteKey(uint32_t code);

    // The view's state.
    virtual int GetChannelCount() const = 0;     // 1..16 once logged in
    virtual std::string GetRecordPath() const = 0; // folder of the address-book entry
    virtual bool IsLoggedIn() const = 0;
    virtual uint8_t GetModel() const = 0;         // model code of the login answer
    virtual uint8_t GetVideoStandard() const = 0; // video-standard byte; bit 0 set = NTSC
    // Opens the view's .dvr copy writer on the file (when none is open) and shows its copy panel.
    virtual bool StartNetCopy(const std::string &fileName) = 0;
    // True while the copy writer is open.
    virtual bool IsCopying() const = 0;
    // The copy request could not be sent: the writer closes, its file (still empty) goes, and
    // the view's copy panel hides again.
    virtual void CancelNetCopy() = 0;

    // Dialogs the view opens on a dialog's behalf (the set-up editor's firmware button).
    virtual void OpenUpgradeDialog() = 0;

private:
    bool gone_ = false;
};

// The main window as the tool windows (pan/tilt, key pad) and the options see it.
class MainServices {
public:
    virtual ~MainServices() = default;
    // The current recorder view, or null when none is open.
    virtual DvrServices *GetCurrentDvrWin() const = 0;
    // The directory that was current when the main window was created.
    virtual std::string GetStartDir() const = 0;
    // The program's folder picker centred over owner, starting at path; nothing on cancel.
    virtual std::optional<std::string> BrowseForFolder(const std::string &path, QWidget *owner) = 0;
    // The calendar dialog (TfrmSelCal) showing date; the chosen date, nothing on cancel.
    virtual std::optional<QDate> SelectDate(const QDate &date, QWidget *owner) = 0;
};

// The main window installs itself at start-up and removes itself (null) when it goes.
void SetMainServices(MainServices *services);
MainServices *GetMainServices();
// The main window's current view; null without a main window or a view.
DvrServices *GetCurrentDvrWin();
// The main window's start directory; the process's current directory without a main window.
std::string GetStartDir();
// The main window's folder picker and calendar; nothing without a main window.
std::optional<std::string> BrowseForFolder(const std::string &path, QWidget *owner);
std::optional<QDate> SelectDate(const QDate &date, QWidget *owner);

// Windows that remember a view between two sends (the pan/tilt stop) hear when it goes, so
// they never send through a view that is gone. UI thread only. Returns an id for Unwatch.
int WatchDvrServicesGone(std::function<void(DvrServices *)> gone);
void UnwatchDvrServicesGone(int id);

// Decimal text of an integer.
std::string IntToText(int value);

} // namespace strandel
