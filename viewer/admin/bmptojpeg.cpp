#include "viewer/admin/bmptojpeg.h"

#include "platform/jpeg.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSaveFile>

#include <string>
#include <vector>

namespace strandel {

namespace {

void SetError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

bool EncodeJpegPicture(const QImage &picture, int quality, QByteArray &out, QString *error)
{
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1) {
        SetError(error, QStringLiteral("There is no picture to save."));
        return false;
    }
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<uint8_t> data;
    std::string why;
    if (!JpegEncode(reinterpret_cast<const uint32_t *>(rgb.constBits()), rgb.width(), rgb.height(),
                    int(rgb.bytesPerLine() / 4), quality, data, &why)) {
        SetError(error, QStringLiteral("The picture cannot be encoded as JPEG: %1").arg(QString::fromStdString(why)));
        return false;
    }
    out = QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
    return true;
}

bool EncodeBitmapPicture(const QImage &picture, QByteArray &out, QString *error)
{
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1) {
        SetError(error, QStringLiteral("There is no picture to save."));
        return false;
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "BMP")) {
        SetError(error, QStringLiteral("The picture cannot be written as a bitmap."));
        return false;
    }
    out = std::move(data);
    return true;
}

bool WriteWholeFile(const QString &fileName, const QByteArray &data, QString *error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        SetError(error, QStringLiteral("Cannot create \"%1\": %2").arg(QFileInfo(fileName).fileName(), file.errorString()));
        return false;
    }
    // A short write leaves the file in error, so commit discards it and keeps the old one.
    file.write(data);
    if (!file.commit()) {
        SetError(error, QStringLiteral("Cannot write \"%1\": %2").arg(QFileInfo(fileName).fileName(), file.errorString()));
        return false;
    }
    return true;
}

bool TBmpToJpeg::Convert(QString *error)
{
    if (!Image) {
        SetError(error, QStringLiteral("There is no picture to save."));
        return false;
    }
    if (JpegFile.isEmpty()) {
        SetError(error, QStringLiteral("No file name was given."));
        return false;
    }
    QByteArray data;
    return EncodeJpegPicture(*Image, kDefaultQuality, data, error) && WriteWholeFile(JpegFile, data, error);
}

} // namespace strandel
