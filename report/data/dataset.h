// The report engine's view of tabular data: a data set with named fields, a cursor and query
// parameters. Controllers walk it, data printables and expressions read its fields. Texts are
// single-byte (Latin-1) like every text of the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QVariant>

namespace strandel::report {

enum class PgxFieldKind : uint8_t {
    String,
    Integer,
    SmallInt,
    Word,
    Float,
    Currency,
    BCD,
    Boolean,
    Date,
    Time,
    DateTime,
    Memo,
    Blob,
    Unknown,
};

enum class PgxAlignment : uint8_t { Left, Right, Center };

struct PgxFieldDef {
    PgxFieldDef() = default;
    PgxFieldDef(std::string name_, PgxFieldKind kind_ = PgxFieldKind::String, std::string label = {}, int width = 0,
                std::optional<PgxAlignment> align = {}, bool visible_ = true)
        : name(std::move(name_)), kind(kind_), displayLabel(std::move(label)), displayWidth(width),
          alignment(align), visible(visible_)
    {
    }
    std::string name;
    PgxFieldKind kind = PgxFieldKind::String;
    std::string displayLabel;   // empty: the field name
    int displayWidth = 0;       // characters; 0: the kind's default
    std::optional<PgxAlignment> alignment; // unset: numbers right, the rest left
    bool visible = true;
};

class PgxDataSet;

// A column of a data set; its value is the one of the data set's current record.
class PgxField {
public:
    PgxField(const PgxDataSet &owner, int index, PgxFieldDef def);

    const std::string &FieldName() const { return def_.name; }
    PgxFieldKind Kind() const { return def_.kind; }
    int Index() const { return index_; }
    const PgxDataSet &DataSet() const { return owner_; }
    std::string DisplayLabel() const;
    int DisplayWidth() const;
    PgxAlignment Alignment() const;
    bool Visible() const { return def_.visible; }
    bool IsBlob() const { return def_.kind == PgxFieldKind::Memo || def_.kind == PgxFieldKind::Blob; }

    QVariant Value() const;
    bool IsNull() const;
    std::string AsString() const;
    // 32-bit value; nothing when the value is not a number or does not fit.
    std::optional<int32_t> AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    QDateTime AsDateTime() const;
    QByteArray AsBytes() const;
    // The text a report prints for the field: dates, times and numbers in the engine's
    // current format settings, booleans as True/False, blobs as "(BLOB)".
    std::string DisplayText() const;

private:
    const PgxDataSet &owner_;
    int index_;
    PgxFieldDef def_;
};

struct PgxParam {
    std::string name;
    PgxFieldKind kind = PgxFieldKind::String;
    QVariant value;
};

class PgxDataSet {
public:
    explicit PgxDataSet(std::string name) : name_(std::move(name)) {}
    virtual ~PgxDataSet() = default;
    PgxDataSet(const PgxDataSet &) = delete;
    PgxDataSet &operator=(const PgxDataSet &) = delete;

    // The name by which expressions write DATASET.FIELD.
    const std::string &Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual int RecordCount() const = 0;
    // Cursor: First goes to the first record; Next past the last sets Eof; Prior before the
    // first sets Bof (group footers step back one record this way).
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual void Prior() = 0;
    virtual bool Eof() const = 0;
    virtual bool Bof() const = 0;
    // 1-based number of the current record, 0 when there is none.
    virtual int RecNo() const = 0;
    // Value of a field of the current record; invalid when closed or empty.
    virtual QVariant FieldValue(int index) const = 0;

    int FieldCount() const { return int(fields_.size()); }
    const PgxField *Field(int index) const;
    // Name compare without regard to (ASCII) case; nothing when absent.
    const PgxField *FindField(std::string_view name) const;

    // Query parameters by name and kind; a data set that has no query ignores them.
    void SetParam(std::string name, PgxFieldKind kind, QVariant value);
    const PgxParam *ParamByName(std::string_view name) const;
    const std::vector<PgxParam> &Params() const { return params_; }

protected:
    void ClearFields() { fields_.clear(); }
    void AddFieldDef(PgxFieldDef def);

private:
    std::string name_;
    std::vector<std::unique_ptr<PgxField>> fields_;
    std::vector<PgxParam> params_;
};

// Rows held in memory: test tables and small lists.
class PgxMemoryDataSet : public PgxDataSet {
public:
    explicit PgxMemoryDataSet(std::string name) : PgxDataSet(std::move(name)) {}

    // Fields may be added while closed only.
    bool AddField(PgxFieldDef def);
    // A row of values in field order; missing values are null, extra ones are dropped.
    void AppendRecord(std::vector<QVariant> values);

    bool Open() override;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    int RecordCount() const override { return open_ ? int(rows_.size()) : 0; }
    void First() override;
    void Next() override;
    void Prior() override;
    bool Eof() const override { return !open_ || eof_; }
    bool Bof() const override { return !open_ || bof_; }
    int RecNo() const override { return open_ && !rows_.empty() ? int(cur_) + 1 : 0; }
    QVariant FieldValue(int index) const override;

private:
    std::vector<std::vector<QVariant>> rows_;
    size_t cur_ = 0;
    bool open_ = false, eof_ = true, bof_ = true;
};

// Case-insensitive (ASCII) compare of names.
bool PgxSameName(std::string_view a, std::string_view b);
std::string PgxUpperAscii(std::string_view s);

} // namespace strandel::report
