#pragma once
// Image printables: a picture the report holds, or the picture in a blob field of the current
// record. Unstretched pictures print at the size they have on the screen (a screen inch is a
// printed inch), cut at the printable's edges; stretched ones fill the printable.
#include <cstdint>
#include <string>

#include <QByteArray>
#include <QImage>

#include "report/bands/band.h"

namespace strandel {

namespace report {
class PgxDataSet;
class PgxField;
} // namespace report

// Decodes a picture from bytes of any format Qt reads; false (and a null image) for bytes that
// are not a picture, are damaged, or would need more memory than Qt's reader allows.
bool PgxDecodePicture(const QByteArray &bytes, QImage &picture);

// The rectangle, in device pixels, of a picture printed at its natural size at (left, top).
PgxRect PgxNaturalPictureRect(const TPgxPrinter &printer, const QImage &picture, int32_t left, int32_t top);

class TPgxImage : public TPgxPrintable
{
public:
    TPgxImage();

    // Never null; a null image while there is no picture.
    const QImage *Picture() const override { return &m_picture; }
    void SetPicture(const QImage &picture);
    // False, leaving the picture as it was, when the bytes are not a picture.
    bool LoadPicture(const QByteArray &bytes);
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool on);
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool on);
    bool Center() const { return m_center; }
    void SetCenter(bool on);

    void Print(int32_t ofsX, int32_t ofsY) override;

private:
    void PictureChanged();
    QImage m_picture;
    bool m_autoSize = false, m_stretch = false, m_center = false;
};

class TPgxDBImage : public TPgxPrintable
{
public:
    TPgxDBImage();

    report::PgxDataSet *DataSet() const { return m_dataSet; }
    // Clear it (null) before the data set goes away.
    void SetDataSet(report::PgxDataSet *ds) { m_dataSet = ds; }
    const std::string &DataField() const { return m_dataField; }
    void SetDataField(const std::string &name) { m_dataField = name; }
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool on) { m_stretch = on; }
    bool Center() const { return m_center; }
    void SetCenter(bool on) { m_center = on; }
    // The design-time picture.
    const QImage &DesignPicture() const { return m_picture; }
    void SetDesignPicture(const QImage &picture);
    // Takes the current record's picture as the design-time one, unless one was set already.
    void LoadPicture();

    void Prepare() override;
    void UnPrepare() override;
    void Print(int32_t ofsX, int32_t ofsY) override;
    // The natural height of the current record's picture, in tenths of a millimetre.
    void GetExpandedHeight(double &height) override;
    void GetFieldString(QString &) override {}

    // The bound blob field of the current run, or null.
    const report::PgxField *Field() const;

private:
    bool FieldPicture(QImage &picture) const;
    report::PgxDataSet *m_dataSet = nullptr;
    std::string m_dataField;
    int m_fieldIndex = -1;
    QImage m_picture;
    bool m_stretch = false, m_center = true, m_pictureLoaded = false;
};

} // namespace strandel
