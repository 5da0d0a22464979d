#include "report/data/dataset_sql.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace strandel::report {
namespace {

PgxFieldKind KindOf(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
        return PgxFieldKind::Integer;
    case QMetaType::Short: return PgxFieldKind::SmallInt;
    case QMetaType::UShort: return PgxFieldKind::Word;
    case QMetaType::Double: case QMetaType::Float: return PgxFieldKind::Float;
    case QMetaType::Bool: return PgxFieldKind::Boolean;
    case QMetaType::QDate: return PgxFieldKind::Date;
    case QMetaType::QTime: return PgxFieldKind::Time;
    case QMetaType::QDateTime: return PgxFieldKind::DateTime;
    case QMetaType::QByteArray: return PgxFieldKind::Blob;
    case QMetaType::QString: return PgxFieldKind::String;
    default: return PgxFieldKind::Unknown;
    }
}

QVariant ParamValue(const PgxParam &p)
{
    switch (p.kind) {
    case PgxFieldKind::Integer: case PgxFieldKind::SmallInt: case PgxFieldKind::Word:
        return p.value.toLongLong();
    case PgxFieldKind::Float: case PgxFieldKind::Currency: case PgxFieldKind::BCD:
        return p.value.toDouble();
    case PgxFieldKind::Boolean:
        return p.value.toBool() ? 1 : 0;
    default:
        return p.value;
    }
}

} // namespace

PgxSqlDataSet::PgxSqlDataSet(std::string name, QSqlDatabase db, std::string sql)
    : PgxDataSet(std::move(name)), db_(std::move(db)), sql_(std::move(sql))
{
}

PgxSqlDataSet::~PgxSqlDataSet() = default;

void PgxSqlDataSet::SetFieldKind(std::string_view column, PgxFieldKind kind) { kinds_[PgxUpperAscii(column)] = kind; }

bool PgxSqlDataSet::Open()
{
    Close();
    QString text = QString::fromStdString(sql_).trimmed();
    if (!text.contains(' '))
        text = "SELECT * FROM " + db_.driver()->escapeIdentifier(text, QSqlDriver::TableName);
    auto q = std::make_unique<QSqlQuery>(db_);
    q->setForwardOnly(false);
    bool ok = q->prepare(text);
    if (ok) {
        for (const PgxParam &p : Params())
            q->bindValue(":" + QString::fromStdString(p.name), ParamValue(p));
        ok = q->exec() && q->isSelect();
    }
    if (!ok) {
        error_ = q->lastError().text().toStdString();
        return false;
    }
    error_.clear();
    const QSqlRecord rec = q->record();
    for (int i = 0; i < rec.count(); ++i) {
        PgxFieldDef def;
        def.name = rec.fieldName(i).toStdString();
        const auto k = kinds_.find(PgxUpperAscii(def.name));
        def.kind = k != kinds_.end() ? k->second : KindOf(rec.field(i).metaType());
        AddFieldDef(std::move(def));
    }
    // SQLite does not report the size of a result: count by going to its end.
    count_ = q->last() ? q->at() + 1 : 0;
    query_ = std::move(q);
    First();
    return true;
}

void PgxSqlDataSet::Close()
{
    query_.reset();
    ClearFields();
    count_ = pos_ = 0;
    eof_ = bof_ = true;
}

void PgxSqlDataSet::First()
{
    pos_ = 0;
    bof_ = true;
    eof_ = count_ == 0;
    if (query_ && count_ > 0)
        query_->seek(0);
}

void PgxSqlDataSet::Next()
{
    if (!query_)
        return;
    if (pos_ + 1 < count_) {
        query_->seek(++pos_);
        bof_ = false;
    } else {
        eof_ = true;
    }
}

void PgxSqlDataSet::Prior()
{
    if (!query_)
        return;
    eof_ = count_ == 0;
    if (pos_ > 0)
        query_->seek(--pos_);
    else
        bof_ = true;
}

QVariant PgxSqlDataSet::FieldValue(int index) const
{
    if (!query_ || count_ == 0 || index < 0 || index >= FieldCount())
        return {};
    return query_->value(index);
}

} // namespace strandel::report
