// A data set over Qt SQL: a table or a query of an open database connection (SQLite in the
// tests). The query is scrollable, so Prior works for group footers.
#pragma once

#include <map>
#include <memory>
#include <string>

#include <QSqlDatabase>
#include <QSqlDriver>

#include "report/data/dataset.h"

class QSqlQuery;

namespace strandel::report {

class PgxSqlDataSet : public PgxDataSet {
public:
    // `sql` is a SELECT statement (parameters written ":name") or a bare table name.
    PgxSqlDataSet(std::string name, QSqlDatabase db, std::string sql);
    ~PgxSqlDataSet() override;

    // The kind a column reads as when the database's own type says too little (dates and
    // memos are text in SQLite). Takes effect at the next Open.
    void SetFieldKind(std::string_view column, PgxFieldKind kind);
    // The database's message of the last failed Open.
    const std::string &LastError() const { return error_; }

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return query_ != nullptr; }
    int RecordCount() const override { return count_; }
    void First() override;
    void Next() override;
    void Prior() override;
    bool Eof() const override { return !query_ || eof_; }
    bool Bof() const override { return !query_ || bof_; }
    int RecNo() const override { return query_ && count_ > 0 ? pos_ + 1 : 0; }
    QVariant FieldValue(int index) const override;

private:
    QSqlDatabase db_;
    std::string sql_;
    std::map<std::string, PgxFieldKind> kinds_;
    std::unique_ptr<QSqlQuery> query_;
    std::string error_;
    int count_ = 0;
    int pos_ = 0;
    bool eof_ = true, bof_ = true;
};

} // namespace strandel::report
