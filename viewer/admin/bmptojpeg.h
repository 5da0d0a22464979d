#pragma once
// Writes a picture as a JPEG file. The whole file is made in memory first, so a picture that
// cannot be encoded, or a file that cannot be written, leaves any file of that name as it was
// and says why.
#include <QImage>
#include <QObject>
#include <QString>

namespace strandel {

class TBmpToJpeg : public QObject {
    Q_OBJECT
public:
    // The quality a JPEG gets when nobody chose one.
    static constexpr int kDefaultQuality = 90;

    explicit TBmpToJpeg(QObject *owner = nullptr) : QObject(owner) {}

    // The picture to write; not owned.
    const QImage *Image = nullptr;
    // Kept for callers that name the source; the conversion does not read it.
    QString BmpFile;
    QString JpegFile;

    // Encodes Image and writes it to JpegFile; false with the reason in *error.
    bool Convert(QString *error = nullptr);
};

// The picture as JPEG data; false (and why) for an empty picture or a failed encoding.
bool EncodeJpegPicture(const QImage &picture, int quality, QByteArray &out, QString *error = nullptr);
// The picture as a Windows bitmap file in memory; false (and why) when there is none.
bool EncodeBitmapPicture(const QImage &picture, QByteArray &out, QString *error = nullptr);
// Writes data to fileName through a temporary file that replaces it only when everything was
// written; false with the system's reason otherwise.
bool WriteWholeFile(const QString &fileName, const QByteArray &data, QString *error = nullptr);

} // namespace strandel
