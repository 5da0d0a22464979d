#include "report/stored/formstream.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include <QStringList>

namespace strandel {

// ---- values

TPgxFormValue TPgxFormValue::Floats(const std::vector<double> &v)
{
    TPgxFormValue r;
    r.kind = Kind::List;
    for (double d : v)
        r.items.push_back(Float(d));
    return r;
}

TPgxFormValue TPgxFormValue::Strings(const std::vector<std::string> &v)
{
    TPgxFormValue r;
    r.kind = Kind::List;
    for (const std::string &s : v)
        r.items.push_back(Str(QString::fromStdString(s)));
    return r;
}

bool TPgxFormValue::ToBool(bool &out) const
{
    if (kind != Kind::Ident)
        return false;
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        out = true;
    else if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        out = false;
    else
        return false;
    return true;
}

bool TPgxFormValue::ToInt(int64_t &out, int64_t min, int64_t max) const
{
    if (kind != Kind::Integer || integer < min || integer > max)
        return false;
    out = integer;
    return true;
}

bool TPgxFormValue::ToDouble(double &out) const
{
    if (kind == Kind::Integer)
        out = double(integer);
    else if (kind == Kind::Float)
        out = real;
    else
        return false;
    return true;
}

bool TPgxFormValue::ToString(QString &out) const
{
    if (kind != Kind::String)
        return false;
    out = text;
    return true;
}

bool TPgxFormValue::ToFloats(std::vector<double> &out) const
{
    if (kind != Kind::List)
        return false;
    std::vector<double> v;
    for (const TPgxFormValue &i : items) {
        double d;
        if (!i.ToDouble(d))
            return false;
        v.push_back(d);
    }
    out = std::move(v);
    return true;
}

bool TPgxFormValue::ToStrings(std::vector<std::string> &out) const
{
    if (kind != Kind::List)
        return false;
    std::vector<std::string> v;
    for (const TPgxFormValue &i : items) {
        if (i.kind != Kind::String)
            return false;
        v.push_back(i.text.toStdString());
    }
    out = std::move(v);
    return true;
}

// ---- writer

namespace {

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

bool IsIdent(const QString &s)
{
    const QByteArray b = s.toUtf8();
    if (b.isEmpty() || !IsIdentStart(b[0]))
        return false;
    for (char c : b)
        if (!IsIdentChar(c))
            return false;
    return true;
}

void PutString(QByteArray &out, const QString &s)
{
    const QByteArray b = s.toUtf8();
    if (b.isEmpty()) {
        out += "''";
        return;
    }
    bool quoted = false;
    for (char c : b) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) {
            if (quoted)
                out += '\'';
            quoted = false;
            out += '#';
            out += QByteArray::number(u);
            continue;
        }
        if (!quoted)
            out += '\'';
        quoted = true;
        out += c;
        if (c == '\'')
            out += '\'';
    }
    if (quoted)
        out += '\'';
}

void PutValue(QByteArray &out, const TPgxFormValue &v)
{
    switch (v.kind) {
    case TPgxFormValue::Kind::Integer:
        out += QByteArray::number(qlonglong(v.integer));
        break;
    case TPgxFormValue::Kind::Float: {
        char buf[64];
        // Shortest text that reads back to the same double; not-a-number cannot be stored.
        const double d = std::isfinite(v.real) ? v.real : 0.0;
        auto res = std::to_chars(buf, buf + sizeof buf, d);
        std::string t(buf, res.ptr);
        if (t.find_first_of(".e") == std::string::npos)
            t += ".0";
        out += t.c_str();
        break;
    }
    case TPgxFormValue::Kind::String:
        PutString(out, v.text);
        break;
    case TPgxFormValue::Kind::Ident:
        out += IsIdent(v.text) ? v.text.toUtf8() : QByteArray("False");
        break;
    case TPgxFormValue::Kind::List: {
        out += '(';
        bool first = true;
        for (const TPgxFormValue &i : v.items) {
            if (i.kind == TPgxFormValue::Kind::List)
                continue; // lists do not nest
            if (!first)
                out += ' ';
            first = false;
            PutValue(out, i);
        }
        out += ')';
        break;
    }
    }
}

bool IsPropertyName(const QString &s)
{
    // Identifiers joined by points: Page.Values, Frame.DrawBottom.
    for (const QString &part : s.split(QLatin1Char('.')))
        if (!IsIdent(part))
            return false;
    return true;
}

void PutNode(QByteArray &out, const TPgxFormNode &n, int depth)
{
    const QByteArray indent(depth * 2, ' ');
    out += indent + "object ";
    if (!n.name.isEmpty()) {
        if (IsIdent(n.name))
            out += n.name.toUtf8();
        else
            PutString(out, n.name);
        out += ": ";
    }
    out += n.className.toUtf8() + '\n';
    for (const TPgxFormProperty &p : n.properties) {
        if (!IsPropertyName(p.name))
            continue;
        out += indent + "  " + p.name.toUtf8() + " = ";
        PutValue(out, p.value);
        out += '\n';
    }
    for (const TPgxFormNode &c : n.children)
        PutNode(out, c, depth + 1);
    out += indent + "end\n";
}

} // namespace

QByteArray PgxWriteForm(const TPgxFormDocument &doc)
{
    QByteArray out = "strandel-report-form " + QByteArray::number(PgxFormVersion) + '\n';
    for (const TPgxFormNode &n : doc.components)
        PutNode(out, n, 0);
    return out;
}

// ---- parser

namespace {

enum class Tok : uint8_t { End, Ident, Integer, Float, String, Colon, Equals, Open, Close };

class Parser
{
public:
    Parser(const QByteArray &text) : m_p(text.constData()), m_end(text.constData() + text.size()) {}

    bool Run(TPgxFormDocument &doc, QString *error)
    {
        if (!Header(doc) || !Next())
            return Fail(error);
        while (m_tok != Tok::End) {
            doc.components.emplace_back();
            if (!Object(doc.components.back(), 0))
                return Fail(error);
        }
        return true;
    }

private:
    bool Fail(QString *error)
    {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(m_line).arg(m_error);
        return false;
    }
    bool Error(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = what;
        return false;
    }

    bool Header(TPgxFormDocument &doc)
    {
        static const char magic[] = "strandel-report-form ";
        const size_t n = sizeof magic - 1;
        if (size_t(m_end - m_p) < n || std::memcmp(m_p, magic, n) != 0)
            return Error(QStringLiteral("not a stored report form"));
        m_p += n;
        int version = 0;
        auto res = std::from_chars(m_p, m_end, version);
        if (res.ec != std::errc() || res.ptr == m_p)
            return Error(QStringLiteral("the form's version is missing"));
        m_p = res.ptr;
        if (version < 1 || version > PgxFormVersion)
            return Error(QStringLiteral("the form's version %1 is not one this program reads").arg(version));
        doc.version = version;
        if (m_p < m_end && *m_p == '\r')
            ++m_p;
        if (m_p < m_end && *m_p != '\n')
            return Error(QStringLiteral("the form's first line goes on after its version"));
        return true;
    }

    // Reads the next token into m_tok (and m_text / m_int / m_real).
    bool Next()
    {
        for (;;) {
            while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\r' || *m_p == '\n')) {
                if (*m_p == '\n')
                    ++m_line;
                ++m_p;
            }
            break;
        }
        if (m_p >= m_end) {
            m_tok = Tok::End;
            return true;
        }
        const char c = *m_p;
        switch (c) {
        case ':': ++m_p; m_tok = Tok::Colon; return true;
        case '=': ++m_p; m_tok = Tok::Equals; return true;
        case '(': ++m_p; m_tok = Tok::Open; return true;
        case ')': ++m_p; m_tok = Tok::Close; return true;
        default: break;
        }
        if (IsIdentStart(c)) {
            const char *s = m_p;
            while (m_p < m_end && (IsIdentChar(*m_p) || *m_p == '.'))
                ++m_p;
            if (m_p - s > 255)
                return Error(QStringLiteral("a name longer than 255 characters"));
            m_tok = Tok::Ident;
            m_text = QString::fromLatin1(s, int(m_p - s));
            return true;
        }
        if (c == '\'' || c == '#')
            return StringToken();
        if ((c >= '0' && c <= '9') || c == '-' || c == '+')
            return NumberToken();
        return Error(QStringLiteral("unexpected character (code %1)").arg(int(static_cast<unsigned char>(c))));
    }

    bool StringToken()
    {
        QByteArray bytes;
        while (m_p < m_end && (*m_p == '\'' || *m_p == '#')) {
            if (*m_p == '#') {
                ++m_p;
                unsigned code = 0;
                auto res = std::from_chars(m_p, m_end, code);
                if (res.ec != std::errc() || res.ptr == m_p || code > 255)
                    return Error(QStringLiteral("a character code must be 0 to 255"));
                m_p = res.ptr;
                bytes += char(code);
            } else {
                ++m_p;
                for (;;) {
                    if (m_p >= m_end || *m_p == '\n' || *m_p == '\r')
                        return Error(QStringLiteral("a string is not closed on its line"));
                    if (*m_p == '\'') {
                        if (m_p + 1 < m_end && m_p[1] == '\'') {
                            bytes += '\'';
                            m_p += 2;
                            continue;
                        }
                        ++m_p;
                        break;
                    }
                    bytes += *m_p++;
                }
            }
            if (bytes.size() > PgxFormMaxString)
                return Error(QStringLiteral("a string longer than %1 bytes").arg(PgxFormMaxString));
        }
        m_tok = Tok::String;
        m_text = QString::fromUtf8(bytes);
        return true;
    }

    bool NumberToken()
    {
        const char *s = m_p;
        while (m_p < m_end && ((*m_p >= '0' && *m_p <= '9') || *m_p == '.' || *m_p == 'e' || *m_p == 'E'
                               || *m_p == '-' || *m_p == '+'))
            ++m_p;
        const char *b = s;
        if (*b == '+')
            ++b;
        const bool isFloat = std::memchr(b, '.', size_t(m_p - b)) || std::memchr(b, 'e', size_t(m_p - b))
                             || std::memchr(b, 'E', size_t(m_p - b));
        if (isFloat) {
            auto res = std::from_chars(b, m_p, m_real);
            if (res.ec != std::errc() || res.ptr != m_p || !std::isfinite(m_real))
                return Error(QStringLiteral("not a number: %1").arg(QString::fromLatin1(s, int(m_p - s))));
            m_tok = Tok::Float;
        } else {
            auto res = std::from_chars(b, m_p, m_int);
            if (res.ec != std::errc() || res.ptr != m_p)
                return Error(QStringLiteral("not a whole number in range: %1").arg(QString::fromLatin1(s, int(m_p - s))));
            m_tok = Tok::Integer;
        }
        return true;
    }

    bool IsWord(const char *w) const
    {
        return m_tok == Tok::Ident && m_text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
    }

    bool Object(TPgxFormNode &node, int depth)
    {
        if (depth >= PgxFormMaxDepth)
            return Error(QStringLiteral("components nest deeper than %1").arg(PgxFormMaxDepth));
        if (++m_objects > PgxFormMaxObjects)
            return Error(QStringLiteral("more than %1 components").arg(PgxFormMaxObjects));
        if (!IsWord("object"))
            return Error(QStringLiteral("\"object\" expected"));
        node.line = m_line;
        if (!Next())
            return false;
        if (m_tok != Tok::Ident && m_tok != Tok::String)
            return Error(QStringLiteral("a component's name or class expected"));
        QString first = m_text;
        const bool quoted = m_tok == Tok::String;
        if (!Next())
            return false;
        if (m_tok == Tok::Colon) {
            node.name = first;
            if (!Next())
                return false;
            if (m_tok != Tok::Ident || m_text.contains(QLatin1Char('.')))
                return Error(QStringLiteral("a class name expected"));
            node.className = m_text;
            if (!Next())
                return false;
        } else {
            if (quoted || first.contains(QLatin1Char('.')))
                return Error(QStringLiteral("a class name expected"));
            node.className = first;
        }
        for (;;) {
            if (m_tok == Tok::End)
                return Error(QStringLiteral("\"end\" of %1 missing").arg(node.className));
            if (IsWord("end"))
                return Next();
            if (IsWord("object")) {
                node.children.emplace_back();
                if (!Object(node.children.back(), depth + 1))
                    return false;
                continue;
            }
            if (m_tok != Tok::Ident)
                return Error(QStringLiteral("a property name expected"));
            TPgxFormProperty prop;
            prop.name = m_text;
            prop.line = m_line;
            if (!Next())
                return false;
            if (m_tok != Tok::Equals)
                return Error(QStringLiteral("\"=\" expected after %1").arg(prop.name));
            if (!Next() || !Value(prop.value, true))
                return false;
            node.properties.push_back(std::move(prop));
        }
    }

    // Takes the value at the current token and moves past it.
    bool Value(TPgxFormValue &v, bool listAllowed)
    {
        switch (m_tok) {
        case Tok::Integer: v = TPgxFormValue::Int(m_int); return Next();
        case Tok::Float: v = TPgxFormValue::Float(m_real); return Next();
        case Tok::String: v = TPgxFormValue::Str(m_text); return Next();
        case Tok::Ident:
            if (IsWord("object") || IsWord("end"))
                return Error(QStringLiteral("a value expected"));
            v = TPgxFormValue::Ident(m_text);
            return Next();
        case Tok::Open: {
            if (!listAllowed)
                return Error(QStringLiteral("lists do not nest"));
            v = TPgxFormValue();
            v.kind = TPgxFormValue::Kind::List;
            if (!Next())
                return false;
            while (m_tok != Tok::Close) {
                if (m_tok == Tok::End)
                    return Error(QStringLiteral("a list is not closed"));
                if (v.items.size() >= size_t(PgxFormMaxListItems))
                    return Error(QStringLiteral("a list longer than %1 items").arg(PgxFormMaxListItems));
                v.items.emplace_back();
                if (!Value(v.items.back(), false))
                    return false;
            }
            return Next();
        }
        default:
            return Error(QStringLiteral("a value expected"));
        }
    }

    const char *m_p, *m_end;
    int m_line = 1;
    int m_objects = 0;
    Tok m_tok = Tok::End;
    QString m_text;
    int64_t m_int = 0;
    double m_real = 0;
    QString m_error;
};

} // namespace

bool PgxParseForm(const QByteArray &text, TPgxFormDocument &doc, QString *error)
{
    doc = TPgxFormDocument();
    if (text.size() > PgxFormMaxBytes) {
        if (error)
            *error = QStringLiteral("a stored report form larger than %1 bytes").arg(PgxFormMaxBytes);
        return false;
    }
    Parser p(text);
    if (!p.Run(doc, error)) {
        doc = TPgxFormDocument();
        return false;
    }
    return true;
}

} // namespace strandel
