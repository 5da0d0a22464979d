#pragma once
// The calls the packet dispatcher makes on the administration and search dialogs. Each dialog
// implements its interface; the view holds a reference only while the dialog is open.
#include <cstddef>
#include <cstdint>
#include <string>

namespace strandel {

// Modal result that ends a dialog as cancelled when the link drops.
constexpr int kModalResultCancel = 2;

class DvrEnvDialog {
public:
    virtual ~DvrEnvDialog() = default;
    // 0 for a DvrCmdEnvGet reply, the model code for DvrCmdEnvGetEx.
    virtual void SetRecordVariant(uint8_t variant) = 0;
    // The view's NTSC flag (1 = 480-line video, 0 = 576-line) and its channel count.
    virtual void SetModel(uint8_t standard, int channelCount) = 0;
    // The 9638-byte configuration record; direction 1 = record to controls.
    virtual void TransferRecord(const uint8_t *record, int direction) = 0;
    virtual void SetHddMap(const uint8_t *map) = 0;          // 16 bytes
    virtual void SetTitleBitmaps(const uint8_t *bitmaps) = 0; // 2304 bytes
    virtual void SetModalResult(int result) = 0;
};

class TimeSearchDialog {
public:
    virtual ~TimeSearchDialog() = default;
    virtual void AddIndexEntry(const uint8_t *diskHeader) = 0; // 394 bytes
    virtual void SetMessage(const std::string &text) = 0;
    virtual void SetHddMap(const uint8_t *map) = 0;
    virtual void SetModalResult(int result) = 0;
};

class EventSearchDialog {
public:
    virtual ~EventSearchDialog() = default;
    virtual void AddEventEntry(const uint8_t *payload, size_t length) = 0; // one 20-byte entry
    virtual void SetHddMap(const uint8_t *map) = 0;
};

class BlockSearchDialog {
public:
    virtual ~BlockSearchDialog() = default;
    virtual void AddBlockEntry(const uint8_t *payload, size_t length) = 0; // one 18-byte entry
    virtual void SetHddMap(const uint8_t *map) = 0;
    virtual void SetModalResult(int result) = 0;
};

class LogSearchDialog {
public:
    virtual ~LogSearchDialog() = default;
    virtual void AddLogEntry(const uint8_t *payload, size_t length) = 0; // one 9-byte entry
    virtual void SetMessage(const std::string &text) = 0;
};

class CopyDialog {
public:
    virtual ~CopyDialog() = default;
    virtual void AddIndexEntry(const uint8_t *diskHeader) = 0;
    virtual void SetHddMap(const uint8_t *map) = 0;
};

class UpgradeDialog {
public:
    virtual ~UpgradeDialog() = default;
    // Status byte first (at least one byte).
    virtual void OnUpgradeReply(const uint8_t *payload, size_t length) = 0;
    virtual void SetModalResult(int result) = 0;
    // Stops the worker that sends the image and waits for it: the link is about to close.
    virtual void StopSending() = 0;
};

class StatusDialog {
public:
    virtual ~StatusDialog() = default;
    virtual void ShowStatus(const uint8_t *status) = 0; // 927 bytes
};

// The open dialogs of one view; the launchers set a slot before the modal show and clear it after.
struct DvrDialogRefs {
    TimeSearchDialog *timeSearch = nullptr;
    EventSearchDialog *eventSearch = nullptr;
    BlockSearchDialog *blockSearch = nullptr;
    LogSearchDialog *logSearch = nullptr;
    CopyDialog *copy = nullptr;
    UpgradeDialog *upgrade = nullptr;
    DvrEnvDialog *setup = nullptr;
    StatusDialog *status = nullptr;
};

} // namespace strandel
