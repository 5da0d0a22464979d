#pragma once
// Helpers of the viewer that need the GUI: JPEG pictures into bitmaps and the folder picker.
#include <QImage>
#include <QPoint>
#include <QSize>

#include <cstdint>
#include <vector>

class QWidget;

namespace strandel {

// A compressed JPEG picture, decoded when it is drawn.
struct JpegPicture {
    std::vector<uint8_t> data;
};

// Sizes bitmap to the picture and draws it at (0, 0). Returns bitmap, or null (with the log line
// "DecodeJpeg Error") when either is missing or the picture cannot be decoded; bitmap is then unchanged.
QImage *DecodeJpeg(const JpegPicture *graphic, QImage *bitmap);

struct FolderBrowseParams {
    char path[260] = {};
    int32_t x = 0, y = 0, width = 0, height = 0;

    void SetPath(const char *text);
    char *GetPath() { return path; }
};

// Where the folder dialog of size dialogSize goes: at (x, y) when the stored size is zero,
// else centred on the stored rectangle (division toward zero).
QPoint FolderDialogPosition(const FolderBrowseParams &params, QSize dialogSize);

// Shows the folder dialog; x or y other than -1 places it there, both -1 centres it on owner.
bool BrowseForFolder(FolderBrowseParams *params, QWidget *owner, int x, int y);

} // namespace strandel
