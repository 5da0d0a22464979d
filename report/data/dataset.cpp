#include "report/data/dataset.h"

#include <cmath>

#include "report/base/format.h"

namespace strandel::report {

bool PgxSameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}

std::string PgxUpperAscii(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return out;
}

PgxField::PgxField(const PgxDataSet &owner, int index, PgxFieldDef def)
    : owner_(owner), index_(index), def_(std::move(def))
{
}

std::string PgxField::DisplayLabel() const { return def_.displayLabel.empty() ? def_.name : def_.displayLabel; }

int PgxField::DisplayWidth() const
{
    if (def_.displayWidth > 0)
        return def_.displayWidth;
    switch (def_.kind) {
    case PgxFieldKind::String: return 20;
    case PgxFieldKind::Integer: return 11;
    case PgxFieldKind::SmallInt: return 6;
    case PgxFieldKind::Word: return 5;
    case PgxFieldKind::Boolean: return 5;
    case PgxFieldKind::Date: case PgxFieldKind::Time: return 10;
    case PgxFieldKind::DateTime: return 18;
    case PgxFieldKind::Memo: case PgxFieldKind::Blob: return 10;
    default: return 10;
    }
}

PgxAlignment PgxField::Alignment() const
{
    if (def_.alignment)
        return *def_.alignment;
    switch (def_.kind) {
    case PgxFieldKind::Integer: case PgxFieldKind::SmallInt: case PgxFieldKind::Word:
    case PgxFieldKind::Float: case PgxFieldKind::Currency: case PgxFieldKind::BCD:
        return PgxAlignment::Right;
    default:
        return PgxAlignment::Left;
    }
}

QVariant PgxField::Value() const { return owner_.FieldValue(index_); }

bool PgxField::IsNull() const
{
    const QVariant v = Value();
    return !v.isValid() || v.isNull();
}

std::string PgxField::AsString() const
{
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return {};
    switch (def_.kind) {
    case PgxFieldKind::Float: case PgxFieldKind::Currency: case PgxFieldKind::BCD:
        return PgxFloatToStr(AsFloat());
    case PgxFieldKind::Boolean:
        return AsBoolean() ? "True" : "False";
    case PgxFieldKind::Date:
        return PgxFormatDateTime(PgxCurrentFormat().shortDateFormat, AsDateTime());
    case PgxFieldKind::Time:
        return PgxFormatDateTime(PgxCurrentFormat().longTimeFormat, AsDateTime());
    case PgxFieldKind::DateTime:
        return PgxFormatDateTime("c", AsDateTime());
    case PgxFieldKind::Blob:
        return v.toByteArray().toStdString();
    default:
        if (v.typeId() == QMetaType::QByteArray)
            return v.toByteArray().toStdString();
        return v.toString().toStdString();
    }
}

std::optional<int32_t> PgxField::AsInteger() const
{
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return 0;
    bool ok = false;
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        const double d = std::nearbyint(v.toDouble());
        if (!(d >= -2147483648.0 && d <= 2147483647.0))
            return std::nullopt;
        return int32_t(d);
    }
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > INT32_MAX)
        return std::nullopt;
    return int32_t(n);
}

double PgxField::AsFloat() const
{
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        PgxFormatSettings c;
        return PgxStrToFloat(v.toString().toStdString(), c).value_or(0.0);
    }
    return v.toDouble();
}

bool PgxField::AsBoolean() const
{
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toUpper();
        return s == "TRUE" || s == "T" || s == "1";
    }
    return v.toBool();
}

QDateTime PgxField::AsDateTime() const
{
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    if (v.typeId() == QMetaType::QTime)
        return QDateTime(QDate(1899, 12, 30), v.toTime());
    if (v.typeId() == QMetaType::QString) {
        // Stored text such as SQLite's "2024-03-05 14:07:09" or "2024-03-05".
        QDateTime dt = QDateTime::fromString(v.toString(), Qt::ISODate);
        if (!dt.isValid())
            dt = QDateTime(QDate::fromString(v.toString(), Qt::ISODate), QTime(0, 0));
        if (!dt.isValid() && QTime::fromString(v.toString(), Qt::ISODate).isValid())
            dt = QDateTime(QDate(1899, 12, 30), QTime::fromString(v.toString(), Qt::ISODate));
        return dt;
    }
    return v.toDateTime();
}

QByteArray PgxField::AsBytes() const
{
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return v.toString().toLatin1();
}

std::string PgxField::DisplayText() const
{
    if (IsNull())
        return {};
    switch (def_.kind) {
    case PgxFieldKind::Integer: case PgxFieldKind::SmallInt: case PgxFieldKind::Word: {
        const auto n = AsInteger();
        return n ? std::to_string(*n) : AsString();
    }
    case PgxFieldKind::Memo: return "(MEMO)";
    case PgxFieldKind::Blob: return "(BLOB)";
    default: return AsString();
    }
}

const PgxField *PgxDataSet::Field(int index) const
{
    return index >= 0 && size_t(index) < fields_.size() ? fields_[size_t(index)].get() : nullptr;
}

const PgxField *PgxDataSet::FindField(std::string_view name) const
{
    for (const auto &f : fields_)
        if (PgxSameName(f->FieldName(), name))
            return f.get();
    return nullptr;
}

void PgxDataSet::SetParam(std::string name, PgxFieldKind kind, QVariant value)
{
    for (PgxParam &p : params_)
        if (PgxSameName(p.name, name)) {
            p.kind = kind;
            p.value = std::move(value);
            return;
        }
    params_.push_back({std::move(name), kind, std::move(value)});
}

const PgxParam *PgxDataSet::ParamByName(std::string_view name) const
{
    for (const PgxParam &p : params_)
        if (PgxSameName(p.name, name))
            return &p;
    return nullptr;
}

void PgxDataSet::AddFieldDef(PgxFieldDef def)
{
    fields_.push_back(std::make_unique<PgxField>(*this, int(fields_.size()), std::move(def)));
}

bool PgxMemoryDataSet::AddField(PgxFieldDef def)
{
    if (open_ || def.name.empty() || FindField(def.name))
        return false;
    AddFieldDef(std::move(def));
    return true;
}

void PgxMemoryDataSet::AppendRecord(std::vector<QVariant> values)
{
    values.resize(size_t(FieldCount()));
    rows_.push_back(std::move(values));
    if (open_ && rows_.size() == 1)
        First();
}

bool PgxMemoryDataSet::Open()
{
    open_ = FieldCount() > 0;
    First();
    return open_;
}

void PgxMemoryDataSet::First()
{
    cur_ = 0;
    bof_ = true;
    eof_ = rows_.empty();
}

void PgxMemoryDataSet::Next()
{
    if (!open_)
        return;
    if (cur_ + 1 < rows_.size()) {
        ++cur_;
        bof_ = false;
    } else {
        eof_ = true;
    }
}

void PgxMemoryDataSet::Prior()
{
    if (!open_)
        return;
    eof_ = rows_.empty();
    if (cur_ > 0)
        --cur_;
    else
        bof_ = true;
}

QVariant PgxMemoryDataSet::FieldValue(int index) const
{
    if (!open_ || cur_ >= rows_.size() || index < 0 || index >= FieldCount())
        return {};
    return rows_[cur_][size_t(index)];
}

} // namespace strandel::report
