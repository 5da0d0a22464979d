#pragma once
// Helpers of the printable tests: a canvas that records what a page draws, and a one-record
// report on A4 with 10 mm margins.
#include <ostream>
#include <string>
#include <vector>

#include <QImage>
#include <QString>

#include "report/bands/pagorra.h"
#include "report/data/dataset.h"
#include "report/pages/metafile.h"

// Readable texts in test failures.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace strandel::test {

struct DrawOp {
    std::string kind; // "Text", "Rectangle", "Ellipse", "RoundRect", "Line", "FillRect", "Clip", "NoClip", "Image"
    PgxRect rect;
    int32_t a = 0, b = 0; // RoundRect corners
    uint32_t flags = 0;
    QString text;
    QSize imageSize;
    PgxPen pen;
    PgxBrush brush;
    PgxFont font;
};

// Records every operation with the pen, brush and font in force.
class RecordingCanvas : public TPgxPageCanvas
{
public:
    std::vector<DrawOp> ops;
    void SetPen(const PgxPen &p) override { m_pen = p; }
    void SetBrush(const PgxBrush &b) override { m_brush = b; }
    void SetFont(const PgxFont &f) override { m_font = f; }
    void Rectangle(const PgxRect &r) override { Add("Rectangle", r); }
    void FillRect(const PgxRect &r) override { Add("FillRect", r); }
    void Ellipse(const PgxRect &r) override { Add("Ellipse", r); }
    void RoundRect(const PgxRect &r, int32_t w, int32_t h) override
    {
        Add("RoundRect", r);
        ops.back().a = w;
        ops.back().b = h;
    }
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override { Add("Line", {x1, y1, x2, y2}); }
    void Text(const PgxRect &r, uint32_t flags, const QString &text) override
    {
        Add("Text", r);
        ops.back().flags = flags;
        ops.back().text = text;
    }
    void SetClipRect(const PgxRect &r) override { Add("Clip", r); }
    void ResetClip() override { Add("NoClip", {}); }
    void StretchDraw(const PgxRect &r, const QImage &image) override
    {
        Add("Image", r);
        ops.back().imageSize = image.size();
    }
    void DrawMetafile(const PgxRect &, const TPgxMetafile &mf) override { mf.Play(*this); }

    std::vector<DrawOp> Of(const std::string &kind) const
    {
        std::vector<DrawOp> r;
        for (const DrawOp &o : ops)
            if (o.kind == kind)
                r.push_back(o);
        return r;
    }

private:
    void Add(const char *kind, const PgxRect &r)
    {
        DrawOp o;
        o.kind = kind;
        o.rect = r;
        o.pen = m_pen;
        o.brush = m_brush;
        o.font = m_font;
        ops.push_back(o);
    }
    PgxPen m_pen;
    PgxBrush m_brush;
    PgxFont m_font;
};

inline RecordingCanvas RecordPage(TPgxPrinter &printer, int page)
{
    RecordingCanvas c;
    if (auto mf = printer.GetPage(page))
        mf->Play(c);
    return c;
}

// A report over a data set of the given rows (one integer field N and one text field T).
struct OneBandReport {
    TPagorra rep;
    report::PgxMemoryDataSet ds{"T"};
    TPgxCustomBand *detail = nullptr;

    explicit OneBandReport(int rows = 1, double detailHeight = 100)
    {
        ds.AddField({"N", report::PgxFieldKind::Integer});
        ds.AddField({"S", report::PgxFieldKind::String});
        for (int i = 0; i < rows; ++i)
            ds.AppendRecord({i + 1, QStringLiteral("row %1").arg(i + 1)});
        ds.Open();
        rep.SetDataSet(&ds);
        detail = rep.CreateBand(TPgxBandType::rbDetail);
        detail->SetHeight(detailHeight);
    }
    int Pages() { return rep.Printer() ? rep.Printer()->PageList().PageCount() : 0; }
};

} // namespace strandel::test
