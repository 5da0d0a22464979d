// Stored-form entries of the text, expression and shape printables: their own properties after
// the common ones every printable shares.
#include "report/stored/formclasses.h"
#include <type_traits>

#include "report/data/dataset.h"
#include "report/printables/printables_data.h"
#include "report/printables/printables_richtext.h"
#include "report/printables/printables_shape.h"
#include "report/printables/printables_text.h"
#include "report/stored/formclasses_internal.h"

namespace strandel {

namespace {

bool Is(const TPgxFormProperty &p, const char *name)
{
    return p.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}
QString Bad(const TPgxFormProperty &p) { return QStringLiteral("bad value of %1").arg(p.name); }

template <class T> TPgxFormClass PrintableClass(const char *name)
{
    TPgxFormClass c;
    c.className = QLatin1String(name);
    c.kind = TPgxFormKind::Printable;
    c.type = typeid(T);
    c.create = [](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.band)
            o.printable = parent.band->AddPrintable<T>();
        else if (parent.report)
            o.printable = parent.report->AddPrintable<T>();
        return o;
    };
    return c;
}

// ---- text

void WriteLabel(const TPgxCustomLabel &l, TPgxFormNode &n)
{
    // Written first and always: a form read later sets the size once everything else is in.
    n.Add(PgxFontSizeProperty, TPgxFormValue::Int(l.WriteFontSize()));
    n.Add("Font.Name", TPgxFormValue::Str(l.Font().Name));
    n.Add("Font.Bold", TPgxFormValue::Bool(l.Font().Bold));
    n.Add("Font.Italic", TPgxFormValue::Bool(l.Font().Italic));
    n.Add("Font.Underline", TPgxFormValue::Bool(l.Font().Underline));
    n.Add("Font.StrikeOut", TPgxFormValue::Bool(l.Font().StrikeOut));
    n.Add("Font.Color", TPgxFormValue::Int(l.Font().Color));
    n.Add("AutoSize", TPgxFormValue::Bool(l.AutoSize()));
    n.Add("AutoStretch", TPgxFormValue::Bool(l.AutoStretch()));
    n.Add("WordWrap", TPgxFormValue::Bool(l.WordWrap()));
    if (l.GetCaptionBased())
        n.Add("Caption", TPgxFormValue::Str(l.Caption()));
    else {
        std::vector<std::string> lines;
        for (const QString &s : l.Lines())
            lines.push_back(s.toStdString());
        n.Add("Lines.Strings", TPgxFormValue::Strings(lines));
    }
}

bool ReadLabel(TPgxCustomLabel &l, const TPgxFormProperty &p, QString &why)
{
    bool b;
    int64_t i;
    QString s;
    TPgxFont f = l.Font();
    auto font = [&](bool ok) {
        if (!ok)
            why = Bad(p);
        else
            l.SetFont(f);
        return true;
    };
    if (Is(p, "FontSize")) {
        if (!p.value.ToInt(i, 0, 1638))
            why = Bad(p);
        else
            l.ReadFontSize(int32_t(i));
        return true;
    }
    if (Is(p, "Font.Name"))
        return font(p.value.ToString(f.Name) && !f.Name.isEmpty() && f.Name.size() <= 255);
    if (Is(p, "Font.Bold"))
        return font(p.value.ToBool(f.Bold));
    if (Is(p, "Font.Italic"))
        return font(p.value.ToBool(f.Italic));
    if (Is(p, "Font.Underline"))
        return font(p.value.ToBool(f.Underline));
    if (Is(p, "Font.StrikeOut"))
        return font(p.value.ToBool(f.StrikeOut));
    if (Is(p, "Font.Color")) {
        if (!p.value.ToInt(i, 0, 0xffffffffLL))
            why = Bad(p);
        else {
            f.Color = QRgb(i);
            l.SetFont(f);
        }
        return true;
    }
    if (Is(p, "AutoSize") || Is(p, "AutoStretch") || Is(p, "WordWrap")) {
        if (!p.value.ToBool(b))
            why = Bad(p);
        else if (Is(p, "AutoSize"))
            l.SetAutoSize(b);
        else if (Is(p, "AutoStretch"))
            l.SetAutoStretch(b);
        else
            l.SetWordWrap(b);
        return true;
    }
    if (Is(p, "Caption") && l.GetCaptionBased()) {
        if (!p.value.ToString(s))
            why = Bad(p);
        else
            l.SetCaption(s);
        return true;
    }
    if (Is(p, "Lines.Strings") && !l.GetCaptionBased()) {
        std::vector<std::string> lines;
        if (!p.value.ToStrings(lines))
            why = Bad(p);
        else {
            QStringList list;
            for (const std::string &x : lines)
                list << QString::fromStdString(x);
            l.SetLines(list);
        }
        return true;
    }
    return false;
}

template <class T> TPgxFormClass TextClass(const char *name)
{
    TPgxFormClass c = PrintableClass<T>(name);
    c.write = [](const TPgxFormObject &o, TPgxFormNode &n) { WriteLabel(static_cast<T &>(*o.printable), n); };
    c.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        return ReadLabel(static_cast<T &>(*o.printable), p, why);
    };
    c.loaded = [](const TPgxFormObject &o) { static_cast<T &>(*o.printable).Loaded(); };
    return c;
}

TPgxFormClass ExprClass()
{
    TPgxFormClass c = TextClass<TPgxExpr>("TPgxExpr");
    c.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto &e = static_cast<TPgxExpr &>(*o.printable);
        WriteLabel(e, n);
        n.Add("Expression", TPgxFormValue::Str(QString::fromStdString(e.Expression())));
        n.Add("Mask", TPgxFormValue::Str(QString::fromStdString(e.Mask())));
        n.Add("ResetAfterPrint", TPgxFormValue::Bool(e.ResetAfterPrint));
    };
    c.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto &e = static_cast<TPgxExpr &>(*o.printable);
        QString s;
        if (Is(p, "Expression") || Is(p, "Mask")) {
            if (!p.value.ToString(s))
                why = Bad(p);
            else if (Is(p, "Expression"))
                e.SetExpression(s.toStdString());
            else
                e.SetMask(s.toStdString());
            return true;
        }
        if (Is(p, "ResetAfterPrint")) {
            if (!p.value.ToBool(e.ResetAfterPrint))
                why = Bad(p);
            return true;
        }
        // The caption of an expression is what it printed last, not a stored value.
        if (Is(p, "Caption"))
            return true;
        return ReadLabel(e, p, why);
    };
    return c;
}

// ---- shape

constexpr const char *ShapeNames[] = {"pgxsRectangle", "pgxsCircle", "pgxsVertLine", "pgxsHorLine",
    "pgxsTopAndBottom", "pgxsRightAndLeft", "pgxsRoundRect"};
constexpr const char *BrushNames[] = {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
    "bsBDiagonal", "bsCross", "bsDiagCross"};

TPgxFormClass ShapeClass()
{
    TPgxFormClass c = PrintableClass<TPgxShape>("TPgxShape");
    c.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto &s = static_cast<TPgxShape &>(*o.printable);
        n.Add("Shape", PgxEnumValue(ShapeNames, int(s.Shape)));
        n.Add("Brush.Color", TPgxFormValue::Int(s.Brush.color));
        n.Add("Brush.Style", PgxEnumValue(BrushNames, int(s.Brush.style)));
        n.Add("Pen.Color", TPgxFormValue::Int(s.Pen.color));
        n.Add("Pen.Width", TPgxFormValue::Int(s.Pen.width));
        n.Add("Pen.Style", PgxEnumValue(PgxPenStyleNames, int(s.Pen.style)));
        n.Add("RoundFactor", TPgxFormValue::Float(s.RoundFactor));
        n.Add("VertAdjust", TPgxFormValue::Int(s.VertAdjust));
    };
    c.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto &s = static_cast<TPgxShape &>(*o.printable);
        int e;
        int64_t i;
        double d;
        if (Is(p, "Shape")) {
            if (!PgxEnumFrom(p.value, ShapeNames, e)) why = Bad(p); else s.Shape = TPgxShapeType(e);
        } else if (Is(p, "Brush.Style")) {
            if (!PgxEnumFrom(p.value, BrushNames, e)) why = Bad(p); else s.Brush.style = PgxBrushStyle(e);
        } else if (Is(p, "Pen.Style")) {
            if (!PgxEnumFrom(p.value, PgxPenStyleNames, e)) why = Bad(p); else s.Pen.style = PgxPenStyle(e);
        } else if (Is(p, "Brush.Color") || Is(p, "Pen.Color")) {
            if (!p.value.ToInt(i, 0, 0xffffffffLL)) why = Bad(p);
            else (Is(p, "Pen.Color") ? s.Pen.color : s.Brush.color) = QRgb(i);
        } else if (Is(p, "Pen.Width")) {
            if (!p.value.ToInt(i, 0, 1000)) why = Bad(p); else s.Pen.width = int32_t(i);
        } else if (Is(p, "RoundFactor")) {
            if (!p.value.ToDouble(d) || d < 0 || d > 1) why = Bad(p); else s.RoundFactor = float(d);
        } else if (Is(p, "VertAdjust")) {
            if (!p.value.ToInt(i, INT32_MIN, INT32_MAX)) why = Bad(p); else s.VertAdjust = int32_t(i);
        } else {
            return false;
        }
        return true;
    };
    return c;
}

// ---- data and system data

TPgxFormClass DBTextClass()
{
    TPgxFormClass c = TextClass<TPgxDBText>("TPgxDBText");
    c.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto &t = static_cast<TPgxDBText &>(*o.printable);
        WriteLabel(t, n);
        if (t.DataSet())
            n.Add("DataSet", TPgxFormValue::Str(QString::fromStdString(t.DataSet()->Name())));
        n.Add("DataField", TPgxFormValue::Str(QString::fromStdString(t.DataField())));
        n.Add("Mask", TPgxFormValue::Str(QString::fromStdString(t.Mask)));
    };
    c.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto &t = static_cast<TPgxDBText &>(*o.printable);
        QString s;
        if (Is(p, "DataSet") || Is(p, "DataField") || Is(p, "Mask")) {
            if (!p.value.ToString(s))
                why = Bad(p);
            else if (Is(p, "DataSet"))
                PgxFormResolveDataSet(s, [&t](report::PgxDataSet *ds) { t.SetDataSet(ds); });
            else if (Is(p, "DataField"))
                t.SetDataField(s.toStdString());
            else
                t.Mask = s.toStdString();
            return true;
        }
        // What a data text shows comes from its field, not from a stored caption.
        if (Is(p, "Caption") || Is(p, "Lines.Strings"))
            return true;
        return ReadLabel(t, p, why);
    };
    return c;
}

constexpr const char *SysDataNames[] = {"pgxsTime", "pgxsDate", "pgxsDateTime", "pgxsPageNumber", "pgxsReportTitle",
    "pgxsDetailCount", "pgxsDetailNo"};

TPgxFormClass SysDataClass()
{
    TPgxFormClass c = TextClass<TPgxSysData>("TPgxSysData");
    c.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto &d = static_cast<TPgxSysData &>(*o.printable);
        WriteLabel(d, n);
        n.Add("Data", PgxEnumValue(SysDataNames, int(d.Data())));
        n.Add("Text", TPgxFormValue::Str(d.Text()));
    };
    c.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto &d = static_cast<TPgxSysData &>(*o.printable);
        int e;
        QString s;
        if (Is(p, "Data")) {
            if (!PgxEnumFrom(p.value, SysDataNames, e)) why = Bad(p); else d.SetData(TPgxSysDataType(e));
            return true;
        }
        if (Is(p, "Text")) {
            if (!p.value.ToString(s)) why = Bad(p); else d.SetText(s);
            return true;
        }
        if (Is(p, "Caption"))
            return true;
        return ReadLabel(d, p, why);
    };
    return c;
}

// ---- rich text

template <class T> TPgxFormClass RichClass(const char *name)
{
    TPgxFormClass c = PrintableClass<T>(name);
    c.write = [](const TPgxFormObject &o, TPgxFormNode &n) {
        auto &r = static_cast<T &>(*o.printable);
        const QFont f = r.Font();
        n.Add("Font.Name", TPgxFormValue::Str(f.family()));
        n.Add("Font.Size", TPgxFormValue::Int(f.pointSize() > 0 ? f.pointSize() : 10));
        n.Add("Font.Bold", TPgxFormValue::Bool(f.bold()));
        n.Add("Font.Italic", TPgxFormValue::Bool(f.italic()));
        n.Add("TextAlignment", PgxEnumValue(PgxAlignmentNames, int(r.TextAlignment())));
        n.Add("RichColor", TPgxFormValue::Int(r.RichColor()));
        n.Add("AutoStretch", TPgxFormValue::Bool(r.AutoStretch));
        if constexpr (std::is_same_v<T, TPgxDBRichText>) {
            if (r.DataSet())
                n.Add("DataSet", TPgxFormValue::Str(QString::fromStdString(r.DataSet()->Name())));
            n.Add("DataField", TPgxFormValue::Str(QString::fromStdString(r.DataField)));
        } else {
            n.Add("Lines", TPgxFormValue::Str(r.Lines()));
        }
    };
    c.read = [](const TPgxFormObject &o, const TPgxFormProperty &p, QString &why) {
        auto &r = static_cast<T &>(*o.printable);
        QFont f = r.Font();
        QString s;
        int64_t i;
        bool b;
        int e;
        if (Is(p, "Font.Name")) {
            if (!p.value.ToString(s) || s.isEmpty() || s.size() > 255) why = Bad(p); else { f.setFamily(s); r.SetFont(f); }
        } else if (Is(p, "Font.Size")) {
            if (!p.value.ToInt(i, 1, 1638)) why = Bad(p); else { f.setPointSize(int(i)); r.SetFont(f); }
        } else if (Is(p, "Font.Bold") || Is(p, "Font.Italic")) {
            if (!p.value.ToBool(b))
                why = Bad(p);
            else {
                Is(p, "Font.Bold") ? f.setBold(b) : f.setItalic(b);
                r.SetFont(f);
            }
        } else if (Is(p, "TextAlignment")) {
            if (!PgxEnumFrom(p.value, PgxAlignmentNames, e)) why = Bad(p); else r.SetTextAlignment(TPgxAlignment(e));
        } else if (Is(p, "RichColor")) {
            if (!p.value.ToInt(i, 0, 0xffffffffLL)) why = Bad(p); else r.SetRichColor(QRgb(i));
        } else if (Is(p, "AutoStretch")) {
            if (!p.value.ToBool(r.AutoStretch)) why = Bad(p);
        } else if constexpr (std::is_same_v<T, TPgxDBRichText>) {
            if (Is(p, "DataSet")) {
                if (!p.value.ToString(s))
                    why = Bad(p);
                else
                    PgxFormResolveDataSet(s, [&r](report::PgxDataSet *ds) { r.SetDataSet(ds); });
            } else if (Is(p, "DataField")) {
                if (!p.value.ToString(s)) why = Bad(p); else r.DataField = s.toStdString();
            } else {
                return false;
            }
        } else {
            if (!Is(p, "Lines"))
                return false;
            if (!p.value.ToString(s)) why = Bad(p); else r.SetLines(s);
        }
        return true;
    };
    return c;
}

} // namespace

void PgxAddPrintableFormClasses(std::vector<TPgxFormClass> &classes)
{
    classes.push_back(ExprClass());
    classes.push_back(ShapeClass());
    classes.push_back(TextClass<TPgxLabel>("TPgxLabel"));
    classes.push_back(TextClass<TPgxMemo>("TPgxMemo"));
    classes.push_back(DBTextClass());
    classes.push_back(SysDataClass());
    classes.push_back(RichClass<TPgxRichText>("TPgxRichText"));
    classes.push_back(RichClass<TPgxDBRichText>("TPgxDBRichText"));
}

} // namespace strandel
