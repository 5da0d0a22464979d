#include "report/expr/functions.h"

#include <cmath>
#include <limits>

#include <QChar>
#include <QDateTime>

#include "report/base/format.h"
#include "report/base/strings.h"
#include "report/base/utf8.h"
#include "report/data/dataset.h"

namespace strandel::report {

// --- the function element ---

TPgxEvResult TPgxEvElementFunction::Value(TPgxFiFo &fifo)
{
    PgxEvalDepth depth;
    GetArguments(fifo);
    if (fifo.Aggregate)
        Aggregate();
    TPgxEvResult r = Calculate();
    FreeArguments();
    return r;
}

TPgxEvResult TPgxEvElementFunction::Calculate() { return TPgxEvResult::Error(""); }

std::string TPgxEvElementFunction::FunctionVendor() const { return PgxLoadStr(PgxVendorStringId); }

bool TPgxEvElementFunction::ArgumentOK(const TPgxEvElement *element)
{
    return element && !dynamic_cast<const TPgxEvElementArgumentEnd *>(element) &&
           !dynamic_cast<const TPgxEvElementError *>(element);
}

void TPgxEvElementFunction::GetArguments(TPgxFiFo &fifo)
{
    args_.clear();
    // Each argument element takes its own operands and nested calls from the queue, so the
    // end mark met here is this call's own.
    while (TPgxEvElement *e = fifo.Get()) {
        if (dynamic_cast<TPgxEvElementArgumentEnd *>(e))
            break;
        args_.push_back(e->Value(fifo));
    }
}

TPgxEvResult TPgxEvElementFunction::WrongArguments() const
{
    return TPgxEvResult::Error(PgxFmt(SpgxExpWrongArguments, {FunctionName()}));
}

// --- the registry ---

const TPgxLibraryEntry *TPgxFunctionLibrary::GetEntry(int index) const
{
    return index >= 0 && index < Count() ? &entries_[size_t(index)] : nullptr;
}

std::unique_ptr<TPgxEvElement> TPgxFunctionLibrary::GetFunction(std::string_view name) const
{
    for (const TPgxLibraryEntry &e : entries_)
        if (PgxSameName(e.name, name))
            return e.make();
    return std::make_unique<TPgxEvElementError>(PgxFmt(SpgxExpUnknownFunction, {name}));
}

void RegisterPgxFunction(PgxFunctionFactory make, std::string name, std::string description, std::string vendor,
                         std::string arguments)
{
    TPgxFunctionLibrary::Instance().Add(
        {std::move(description), std::move(arguments), std::move(make), std::move(name), std::move(vendor)});
}

// --- the built-ins ---
namespace {

bool Numeric(const TPgxEvResult &r) { return r.Kind == resInt || r.Kind == resDouble; }
double AsDouble(const TPgxEvResult &r) { return r.Kind == resInt ? double(r.IntResult) : r.DoubleResult; }

// Integer value of a double, halves to even; nothing outside 32 bits.
std::optional<int32_t> RoundToInt(double d)
{
    d = std::nearbyint(d);
    if (!(d >= -2147483648.0 && d <= 2147483647.0))
        return std::nullopt;
    return int32_t(d);
}

TPgxEvResult TooBig() { return TPgxEvResult::Error(PgxLoadStr(SpgxValueTooBig)); }

// Case is mapped one character to one character (a sharp s stays one letter), as a text's
// length in characters never changes with its case.
std::string MapCase(std::string_view s, bool upper)
{
    const QString q = QString::fromUtf8(s.data(), qsizetype(s.size()));
    QList<uint> chars = q.toUcs4();
    for (uint &c : chars)
        c = upper ? QChar::toUpper(char32_t(c)) : QChar::toLower(char32_t(c));
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), chars.size()).toStdString();
}

// A built-in: its name, call template, description id and signature.
template <const char *Name, const char *Template, uint16_t DescId, const char *Signature>
class Builtin : public TPgxEvElementFunction {
public:
    std::string FunctionName() const override { return Name; }
    std::string FunctionDescription() const override { return std::string(Template) + PgxLoadStr(DescId); }
    std::string FunctionArguments() const override { return Signature; }
};

#define PGX_NAMES(id, name, tmpl, sig)       \
    constexpr char id##Name[] = name;        \
    constexpr char id##Template[] = tmpl;    \
    constexpr char id##Signature[] = sig;
#define PGX_BASE(id, desc) Builtin<id##Name, id##Template, desc, id##Signature>

PGX_NAMES(If, "IF", "IF(<Exp>, <X>, <Y>)|", "5BVV")
PGX_NAMES(Str, "STR", "STR(<X>)|", "7N")
PGX_NAMES(Upper, "UPPER", "UPPER(<X>)|", "7S")
PGX_NAMES(Lower, "LOWER", "LOWER(<X>)|", "7S")
PGX_NAMES(Pretty, "PRETTY", "PRETTY(<X>)|", "7S")
PGX_NAMES(Time, "TIME", "TIME|", "1")
PGX_NAMES(Date, "DATE", "DATE|", "1")
PGX_NAMES(Copy, "COPY", "COPY(<X>, <St>,<Len>)|", "7SNN")
PGX_NAMES(Sum, "SUM", "SUM(<X>)|", "3N")
PGX_NAMES(Count, "COUNT", "COUNT|", "3")
PGX_NAMES(Max, "MAX", "MAX(<X>)|", "3V")
PGX_NAMES(Min, "MIN", "MIN( <V>) | ", "3N")
PGX_NAMES(Average, "AVERAGE", "AVERAGE(<X>)|", "3N")
PGX_NAMES(True, "TRUE", "TRUE|", "5")
PGX_NAMES(False, "FALSE", "FALSE|", "5")
PGX_NAMES(Int, "INT", "INT(<X>)|", "2N")
PGX_NAMES(Frac, "FRAC", "FRAC(<X>)|", "2N")
PGX_NAMES(Sqrt, "SQRT", "SQRT(<X>)|", "2N")
PGX_NAMES(Div, "DIV", "DIV(<X>, <Y>) | ", "2NN")
PGX_NAMES(TypeOf, "TYPEOF", "TYPEOF(<Exp>)|", "6N")
PGX_NAMES(FormatNumeric, "FORMATNUMERIC", "FORMATNUMERIC(<F>,<N>)|", "7SN")
PGX_NAMES(ArcCos, "ARCCOS", "ARCCOS(<X>)|", "2N")
PGX_NAMES(Cos, "COS", "COS(<X>)|", "2N")
PGX_NAMES(Sin, "SIN", "SIN(<X>)", "2N")
PGX_NAMES(Tan, "TAN", "TAN(<X>)|", "2N")
PGX_NAMES(CoTan, "COTAN", "COTAN(<X>)", "2N")

class TPgxEvTrue : public PGX_BASE(True, SpgxBoolDesc) {
public:
    TPgxEvResult Calculate() override
    {
        return ArgumentCount() ? TPgxEvResult::Error(PgxLoadStr(SpgxExpTooManyArgs)) : TPgxEvResult::Bool(true);
    }
};

class TPgxEvFalse : public PGX_BASE(False, SpgxBoolDesc) {
public:
    TPgxEvResult Calculate() override
    {
        return ArgumentCount() ? TPgxEvResult::Error(PgxLoadStr(SpgxExpTooManyArgs)) : TPgxEvResult::Bool(false);
    }
};

class TPgxEvIfFunction : public PGX_BASE(If, SpgxIfDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 3 || Argument(0).Kind != resBool)
            return WrongArguments();
        return Argument(0).BooleanResult ? Argument(1) : Argument(2);
    }
};

class TPgxEvTypeOfFunction : public PGX_BASE(TypeOf, SpgxTypeofDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 1)
            return TPgxEvResult::Error(PgxFmt(SpgxExpWrongArguments, {"TypeOf"}));
        switch (Argument(0).Kind) {
        case resInt: return TPgxEvResult::String("INTEGER");
        case resDouble: return TPgxEvResult::String("FLOAT");
        case resString: return TPgxEvResult::String("STRING");
        case resBool: return TPgxEvResult::String("BOOLEAN");
        case resError: return TPgxEvResult::String("ERROR");
        }
        return TPgxEvResult::Error(PgxLoadStr(SpgxExpUnknownType));
    }
};

class TPgxEvIntFunction : public PGX_BASE(Int, SpgxIntDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 1 || !Numeric(Argument(0)))
            return WrongArguments();
        if (Argument(0).Kind == resInt)
            return Argument(0);
        const double t = std::trunc(Argument(0).DoubleResult);
        if (!(t >= -2147483648.0 && t <= 2147483647.0))
            return TooBig();
        return TPgxEvResult::Int(int32_t(t));
    }
};

class TPgxEvFracFunction : public PGX_BASE(Frac, SpgxFracDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 1 || !Numeric(Argument(0)))
            return WrongArguments();
        if (Argument(0).Kind == resInt)
            return TPgxEvResult::Double(0.0);
        const double v = Argument(0).DoubleResult;
        return TPgxEvResult::Double(v - std::trunc(v));
    }
};

class TPgxEvSQRTFunction : public PGX_BASE(Sqrt, SpgxSqrtDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 1 || !Numeric(Argument(0)) || AsDouble(Argument(0)) < 0)
            return TPgxEvResult::Error(PgxLoadStr(SpgxSQRTInvalid));
        return TPgxEvResult::Double(std::sqrt(AsDouble(Argument(0))));
    }
};

class TPgxEvDivFunction : public PGX_BASE(Div, SpgxDivDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 2 || !Numeric(Argument(0)) || !Numeric(Argument(1)))
            return WrongArguments();
        const auto a = Argument(0).Kind == resInt ? std::optional<int32_t>(Argument(0).IntResult) : RoundToInt(Argument(0).DoubleResult);
        const auto b = Argument(1).Kind == resInt ? std::optional<int32_t>(Argument(1).IntResult) : RoundToInt(Argument(1).DoubleResult);
        if (!a || !b)
            return TooBig();
        if (*b == 0)
            return TPgxEvResult::Error(PgxLoadStr(SpgxDivisionByZero));
        if (*a == std::numeric_limits<int32_t>::min() && *b == -1)
            return TooBig();
        return TPgxEvResult::Int(*a / *b);
    }
};

class TPgxEvStrFunction : public PGX_BASE(Str, SpgxStrDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() == 1) {
            const TPgxEvResult &a = Argument(0);
            if (a.Kind == resInt)
                return TPgxEvResult::String(std::to_string(a.IntResult));
            if (a.Kind == resDouble)
                return TPgxEvResult::String(PgxFloatToStr(a.DoubleResult));
            if (a.Kind == resBool)
                return TPgxEvResult::String(a.BooleanResult ? "True" : "False");
        }
        return TPgxEvResult::Error(PgxLoadStr(SpgxConversionError));
    }
};

// UPPER, LOWER and PRETTY share their argument rules.
template <class Base>
class TextFunction : public Base {
public:
    TPgxEvResult Calculate() override
    {
        if (this->ArgumentCount() != 1)
            return TPgxEvResult::Error(PgxFmt(SpgxMissingArgument, {this->FunctionName()}));
        const TPgxEvResult &a = this->Argument(0);
        if (a.Kind != resString)
            return TPgxEvResult::Error(a.StringResult); // an error argument passes its message on
        return TPgxEvResult::String(Map(a.StringResult));
    }

protected:
    virtual std::string Map(const std::string &s) const = 0;
};

class TPgxEvUpperFunction : public TextFunction<PGX_BASE(Upper, SpgxUpperDesc)> {
    std::string Map(const std::string &s) const override { return MapCase(s, true); }
};

class TPgxEvLowerFunction : public TextFunction<PGX_BASE(Lower, SpgxLowerDesc)> {
    std::string Map(const std::string &s) const override { return MapCase(s, false); }
};

class TPgxEvPrettyFunction : public TextFunction<PGX_BASE(Pretty, SpgxPrettyDesc)> {
    std::string Map(const std::string &s) const override
    {
        if (s.empty())
            return s;
        const size_t first = PgxUtf8Prefix(s, 1);
        return MapCase(s.substr(0, first), true) + MapCase(s.substr(first), false);
    }
};

class TPgxEvTimeFunction : public PGX_BASE(Time, SpgxTimeDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount())
            return WrongArguments();
        return TPgxEvResult::String(PgxFormatDateTime(PgxCurrentFormat().longTimeFormat, QDateTime::currentDateTime()));
    }
};

class TPgxEvDateFunction : public PGX_BASE(Date, SpgxDateDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount())
            return WrongArguments();
        return TPgxEvResult::String(PgxFormatDateTime(PgxCurrentFormat().shortDateFormat, QDateTime::currentDateTime()));
    }
};

class TPgxEvCopyFunction : public PGX_BASE(Copy, SpgxCopyDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 3 || Argument(0).Kind != resString || Argument(1).Kind != resInt ||
            Argument(2).Kind != resInt)
            return WrongArguments();
        const std::string_view s = Argument(0).StringResult;
        // Counted in characters. A start before the string counts as 1; start and length
        // never reach past its end.
        const int64_t start = std::max<int64_t>(Argument(1).IntResult, 1);
        const int64_t length = Argument(2).IntResult;
        if (start > int64_t(PgxUtf8Length(s)) || length <= 0)
            return TPgxEvResult::String("");
        const std::string_view rest = s.substr(PgxUtf8Prefix(s, size_t(start - 1)));
        return TPgxEvResult::String(rest.substr(0, PgxUtf8Prefix(rest, size_t(length))));
    }
};

class TPgxEvFormatNumericFunction : public PGX_BASE(FormatNumeric, SpgxFormatNumericDesc) {
public:
    TPgxEvResult Calculate() override
    {
        if (ArgumentCount() != 2 || Argument(0).Kind != resString || !Numeric(Argument(1)))
            return WrongArguments();
        const auto text = PgxFormatFloat(Argument(0).StringResult, AsDouble(Argument(1)));
        if (!text)
            return TPgxEvResult::Error(PgxLoadStr(SpgxInvalidFormatnumeric));
        return TPgxEvResult::String(*text);
    }
};

template <class Base, double (*F)(double)>
class TrigFunction : public Base {
public:
    TPgxEvResult Calculate() override
    {
        if (this->ArgumentCount() != 1 || !Numeric(this->Argument(0)))
            return this->WrongArguments();
        return TPgxEvResult::Double(F(AsDouble(this->Argument(0))));
    }
};

double ArcCos(double v) { return std::acos(v); }
double Cos(double v) { return std::cos(v); }
double Sin(double v) { return std::sin(v); }
double Tan(double v) { return std::tan(v); }
double CoTan(double v) { return 1.0 / std::tan(v); }

class TPgxEvArcCosFunction : public TrigFunction<PGX_BASE(ArcCos, SpgxArcCosDesc), ArcCos> {};
class TPgxEvCosFunction : public TrigFunction<PGX_BASE(Cos, SpgxCosDesc), Cos> {};
class TPgxEvSinFunction : public TrigFunction<PGX_BASE(Sin, SpgxSinDesc), Sin> {};
class TPgxEvTanFunction : public TrigFunction<PGX_BASE(Tan, SpgxTanDesc), Tan> {};
class TPgxEvCoTanFunction : public TrigFunction<PGX_BASE(CoTan, SpgxCoTanDesc), CoTan> {};

// --- aggregates ---

// Feeds one value into a running sum. Mixed kinds never read the wrong part of a value: an
// integer sum meeting a float becomes a float sum; a value that is not a number ends in an error.
template <class Base>
class SumBase : public Base {
public:
    SumBase() { this->IsAggreg = true; }
    void Reset() override { has_ = false; }
    void Aggregate() override
    {
        if (this->ArgumentCount() != 1) {
            Store(this->WrongArguments());
            return;
        }
        const TPgxEvResult &v = this->Argument(0);
        if (has_ && stored_.Kind == resError)
            return;
        if (v.Kind == resError) {
            Store(v);
        } else if (!Numeric(v)) {
            Store(this->WrongArguments());
        } else if (!has_) {
            Store(v);
        } else if (stored_.Kind == resInt && v.Kind == resInt) {
            stored_.IntResult = int32_t(uint32_t(stored_.IntResult) + uint32_t(v.IntResult));
        } else {
            stored_ = TPgxEvResult::Double(AsDouble(stored_) + AsDouble(v));
        }
    }
    TPgxEvResult Calculate() override { return has_ ? stored_ : TPgxEvResult::Int(0); }

protected:
    void Store(TPgxEvResult v)
    {
        stored_ = std::move(v);
        has_ = true;
    }
    bool has_ = false;
    TPgxEvResult stored_;
};

class TPgxEvSumFunction : public SumBase<PGX_BASE(Sum, SpgxSumDesc)> {};

class TPgxEvAverageFunction : public SumBase<PGX_BASE(Average, SpgxAverageDesc)> {
public:
    TPgxEvAverageFunction() { average_ = TPgxEvResult::Double(0.0); }
    void Reset() override
    {
        SumBase::Reset();
        average_ = TPgxEvResult::Double(0.0);
        count_ = 0;
    }
    void Aggregate() override
    {
        SumBase::Aggregate();
        ++count_;
        if (Numeric(stored_))
            average_ = TPgxEvResult::Double(AsDouble(stored_) / double(count_));
        else
            average_ = stored_.Kind == resError ? stored_ : WrongArguments();
    }
    TPgxEvResult Calculate() override { return average_; }

private:
    TPgxEvResult average_;
    int64_t count_ = 0;
};

// -1, 0 or 1 for a against b: numbers by value whatever their kind, booleans with false below
// true, anything else as the operators compare (texts by their bytes).
int CompareValues(const TPgxEvResult &a, const TPgxEvResult &b)
{
    if (Numeric(a) && Numeric(b)) {
        if (a.Kind == resInt && b.Kind == resInt)
            return a.IntResult < b.IntResult ? -1 : a.IntResult > b.IntResult;
        const double x = AsDouble(a), y = AsDouble(b);
        return x < y ? -1 : x > y;
    }
    if (a.Kind == resBool && b.Kind == resBool)
        return int(a.BooleanResult) - int(b.BooleanResult);
    const std::string x = PgxEvResultToString(a), y = PgxEvResultToString(b);
    const int c = x.compare(y);
    return c < 0 ? -1 : c > 0;
}

template <class Base, int Sign>
class ExtremeBase : public Base {
public:
    ExtremeBase() { this->IsAggreg = true; }
    void Reset() override { has_ = false; }
    void Aggregate() override
    {
        if (this->ArgumentCount() != 1) {
            stored_ = this->WrongArguments();
            has_ = true;
            return;
        }
        const TPgxEvResult &v = this->Argument(0);
        if (!has_ || v.Kind == resError) {
            if (!(has_ && stored_.Kind == resError)) {
                stored_ = v;
                has_ = true;
            }
            return;
        }
        if (stored_.Kind != resError && CompareValues(v, stored_) * Sign > 0)
            stored_ = v;
    }
    TPgxEvResult Calculate() override { return has_ ? stored_ : TPgxEvResult::Int(0); }

private:
    bool has_ = false;
    TPgxEvResult stored_;
};

class TPgxEvMaxFunction : public ExtremeBase<PGX_BASE(Max, SpgxMaxDesc), 1> {};
class TPgxEvMinFunction : public ExtremeBase<PGX_BASE(Min, SpgxMinDesc), -1> {};

class TPgxEvCountFunction : public PGX_BASE(Count, SpgxCountDesc) {
public:
    TPgxEvCountFunction() { IsAggreg = true; }
    void Reset() override { counter_ = 0; }
    TPgxEvResult Value(TPgxFiFo &fifo) override
    {
        PgxEvalDepth depth;
        GetArguments(fifo);
        const bool any = ArgumentCount() > 0;
        FreeArguments();
        if (any)
            return TPgxEvResult::Error("COUNT - " + PgxLoadStr(SpgxExpTooManyArgs));
        if (fifo.Aggregate)
            counter_ = int32_t(uint32_t(counter_) + 1u);
        return TPgxEvResult::Int(counter_);
    }

private:
    int32_t counter_ = 0;
};

} // namespace

namespace {

template <class T>
void AddBuiltin(TPgxFunctionLibrary &library)
{
    const T probe;
    library.Add({probe.FunctionDescription(), probe.FunctionArguments(), [] { return std::make_unique<T>(); },
                 probe.FunctionName(), probe.FunctionVendor()});
}

} // namespace

TPgxFunctionLibrary &TPgxFunctionLibrary::Instance()
{
    // Lives as long as the process; the built-ins in their registration order.
    static TPgxFunctionLibrary *library = [] {
        auto *lib = new TPgxFunctionLibrary;
        AddBuiltin<TPgxEvIfFunction>(*lib);
        AddBuiltin<TPgxEvStrFunction>(*lib);
        AddBuiltin<TPgxEvUpperFunction>(*lib);
        AddBuiltin<TPgxEvLowerFunction>(*lib);
        AddBuiltin<TPgxEvPrettyFunction>(*lib);
        AddBuiltin<TPgxEvTimeFunction>(*lib);
        AddBuiltin<TPgxEvDateFunction>(*lib);
        AddBuiltin<TPgxEvCopyFunction>(*lib);
        AddBuiltin<TPgxEvSumFunction>(*lib);
        AddBuiltin<TPgxEvCountFunction>(*lib);
        AddBuiltin<TPgxEvMaxFunction>(*lib);
        AddBuiltin<TPgxEvMinFunction>(*lib);
        AddBuiltin<TPgxEvAverageFunction>(*lib);
        AddBuiltin<TPgxEvTrue>(*lib);
        AddBuiltin<TPgxEvFalse>(*lib);
        AddBuiltin<TPgxEvIntFunction>(*lib);
        AddBuiltin<TPgxEvFracFunction>(*lib);
        AddBuiltin<TPgxEvSQRTFunction>(*lib);
        AddBuiltin<TPgxEvDivFunction>(*lib);
        AddBuiltin<TPgxEvTypeOfFunction>(*lib);
        AddBuiltin<TPgxEvFormatNumericFunction>(*lib);
        AddBuiltin<TPgxEvArcCosFunction>(*lib);
        AddBuiltin<TPgxEvCosFunction>(*lib);
        AddBuiltin<TPgxEvSinFunction>(*lib);
        AddBuiltin<TPgxEvTanFunction>(*lib);
        AddBuiltin<TPgxEvCoTanFunction>(*lib);
        return lib;
    }();
    return *library;
}

} // namespace strandel::report
