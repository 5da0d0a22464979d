#include "viewer/app/uihelpers.h"

#include "platform/debuglog.h"
#include "platform/jpeg.h"

#include <QFileDialog>
#include <QWidget>

#include <cstring>

namespace strandel {

QImage *DecodeJpeg(const JpegPicture *graphic, QImage *bitmap)
{
    if (!graphic || !bitmap)
        return nullptr;
    JpegImage image;
    std::string why;
    if (!JpegDecode(graphic->data.data(), graphic->data.size(), image, &why)) {
        DebugPrint("DecodeJpeg Error");
        DebugPrint("%s", why.c_str());
        return nullptr;
    }
    QImage picture(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(picture.scanLine(y), &image.pixels[size_t(y) * size_t(image.width)], size_t(image.width) * 4);
    *bitmap = std::move(picture);
    return bitmap;
}

void FolderBrowseParams::SetPath(const char *text)
{
    std::memset(path, 0, sizeof path);
    if (text)
        std::strncpy(path, text, sizeof path - 1);
}

QPoint FolderDialogPosition(const FolderBrowseParams &p, QSize dialogSize)
{
    if (p.width == 0 && p.height == 0)
        return {p.x, p.y};
    return {p.x + (p.width - dialogSize.width()) / 2, p.y + (p.height - dialogSize.height()) / 2};
}

bool BrowseForFolder(FolderBrowseParams *params, QWidget *owner, int x, int y)
{
    if (!params)
        return false;
    if (x != -1 || y != -1) {
        params->x = x;
        params->y = y;
        params->width = params->height = 0;
    } else if (owner) {
        const QRect r = owner->frameGeometry();
        params->x = r.x();
        params->y = r.y();
        params->width = r.width();
        params->height = r.height();
    }
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(QString::fromLocal8Bit(params->path));
    dialog.adjustSize();
    dialog.move(FolderDialogPosition(*params, dialog.size()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    params->SetPath(dialog.selectedFiles().first().toLocal8Bit().constData());
    return true;
}

} // namespace strandel
