#pragma once
// The stored report form: a versioned text of our own that holds a tree of components, each a
// class name, a component name and a list of properties, nested components inside. It reads:
//
//   strandel-report-form 1
//   object Pagorra1: TPagorra
//     ReportTitle = 'Sales'
//     Page.Values = (100 2970 100 2100 100 100 0)
//     object DetailBand1: TPgxBand
//       BandType = rbDetail
//       Size.Values = (50 1900)
//     end
//   end
//
// Values are integers, floats (with a point or an exponent), single-quoted strings (a quote
// doubled; control characters outside the quotes as #n, pieces joined), identifiers (True,
// False, enumeration names) and one-level lists in parentheses. Text is UTF-8.
//
// The parser reads untrusted files: every size it accepts is bounded and any violation is
// refused with the line it was found on.
#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QString>

namespace strandel {

struct TPgxFormValue {
    enum class Kind : uint8_t { Integer, Float, String, Ident, List };
    Kind kind = Kind::Integer;
    int64_t integer = 0;
    double real = 0;
    QString text; // string or identifier
    std::vector<TPgxFormValue> items;

    static TPgxFormValue Int(int64_t v) { TPgxFormValue r; r.kind = Kind::Integer; r.integer = v; return r; }
    static TPgxFormValue Float(double v) { TPgxFormValue r; r.kind = Kind::Float; r.real = v; return r; }
    static TPgxFormValue Str(const QString &s) { TPgxFormValue r; r.kind = Kind::String; r.text = s; return r; }
    static TPgxFormValue Ident(const QString &s) { TPgxFormValue r; r.kind = Kind::Ident; r.text = s; return r; }
    static TPgxFormValue Bool(bool b) { return Ident(b ? QStringLiteral("True") : QStringLiteral("False")); }
    static TPgxFormValue Floats(const std::vector<double> &v);
    static TPgxFormValue Strings(const std::vector<std::string> &v);

    // Typed reads; false when the value is of another kind or out of range.
    bool ToBool(bool &out) const;
    bool ToInt(int64_t &out, int64_t min, int64_t max) const;
    bool ToDouble(double &out) const; // an integer or a float
    bool ToString(QString &out) const;
    bool ToFloats(std::vector<double> &out) const;
    bool ToStrings(std::vector<std::string> &out) const;
};

struct TPgxFormProperty {
    QString name;
    TPgxFormValue value;
    int line = 0; // where the property stands in the text, for messages
};

struct TPgxFormNode {
    QString className, name;
    std::vector<TPgxFormProperty> properties;
    std::vector<TPgxFormNode> children;
    int line = 0; // where the object starts in the text, for messages

    void Add(const QString &property, TPgxFormValue value) { properties.push_back({property, std::move(value)}); }
};

struct TPgxFormDocument {
    int version = 1;
    std::vector<TPgxFormNode> components;
};

inline constexpr int PgxFormVersion = 1;
inline constexpr int64_t PgxFormMaxBytes = 4 << 20;
inline constexpr int PgxFormMaxDepth = 16;
inline constexpr int PgxFormMaxObjects = 20000;
inline constexpr int PgxFormMaxString = 64 << 10;
inline constexpr int PgxFormMaxListItems = 65536;

QByteArray PgxWriteForm(const TPgxFormDocument &doc);
// False with a message ("line 3: ...") when the text is not a stored report form we can read.
bool PgxParseForm(const QByteArray &text, TPgxFormDocument &doc, QString *error);

} // namespace strandel
