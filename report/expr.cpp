// Running compiled expressions: values, the operators and their kind rules, data fields,
// conversions, and the evaluator's prepared state.
#include "report/expr.h"

#include <cmath>

#include "report/dataset.h"
#include "report/environment.h"
#include "report/format.h"
#include "report/functions.h"
#include "report/strings.h"

namespace strandel::report {
namespace {

thread_local int g_evalDepth = 0;

std::string Cut(std::string_view s) { return std::string(s.substr(0, PgxMaxText)); }

PgxEvResult ErrorFmt(uint16_t id, std::initializer_list<std::string_view> args)
{
    return PgxEvResult::Error(PgxFmt(id, args));
}

const char *OperatorText(PgxEvOperator op)
{
    switch (op) {
    case opLess: return "<";
    case opLessOrEqual: return "<=";
    case opGreater: return ">";
    case opGreaterOrEqual: return ">=";
    case opOr: return "OR";
    case opAnd: return "AND";
    default: return "";
    }
}

PgxEvResult Combine(PgxEvOperator op, PgxEvResult l, PgxEvResult r)
{
    if (l.Kind == resError)
        return l;
    if (r.Kind == resError)
        return r;
    if (l.Kind != r.Kind) {
        if (l.IsNumeric() && r.IsNumeric()) {
            l = PgxEvResult::Double(PgxEvResultToFloat(l));
            r = PgxEvResult::Double(PgxEvResultToFloat(r));
        } else {
            l = PgxEvResult::String(PgxEvResultToString(l));
            r = PgxEvResult::String(PgxEvResultToString(r));
        }
    }
    const PgxEvResultType kind = l.Kind;
    const auto cannot = [&](uint16_t verb) {
        return ErrorFmt(SpgxExpCannotOperator,
                        {PgxLoadStr(verb), PgxLoadStr(kind == resString ? SpgxExpString : SpgxExpBoolean)});
    };
    const auto notCompatible = [&](uint16_t what) {
        return ErrorFmt(SpgxExpOperatorNotCompatible, {OperatorText(op), PgxLoadStr(what)});
    };
    int cmp = 0; // for the relational operators
    switch (kind) {
    case resInt: cmp = l.IntResult < r.IntResult ? -1 : l.IntResult > r.IntResult ? 1 : 0; break;
    case resDouble: cmp = l.DoubleResult < r.DoubleResult ? -1 : l.DoubleResult > r.DoubleResult ? 1 : 0; break;
    case resString: cmp = l.StringResult.compare(r.StringResult); break;
    case resBool: cmp = int(l.BooleanResult) - int(r.BooleanResult); break;
    default: break;
    }
    const bool unordered = kind == resDouble && (std::isnan(l.DoubleResult) || std::isnan(r.DoubleResult));
    switch (op) {
    case opLess: case opLessOrEqual: case opGreater: case opGreaterOrEqual:
        if (kind == resBool)
            return notCompatible(SpgxExpBoolean);
        if (unordered)
            return PgxEvResult::Bool(false);
        return PgxEvResult::Bool(op == opLess ? cmp < 0 : op == opLessOrEqual ? cmp <= 0 : op == opGreater ? cmp > 0 : cmp >= 0);
    case opEqual:
        return PgxEvResult::Bool(!unordered && cmp == 0);
    case opUnequal:
        return PgxEvResult::Bool(unordered || cmp != 0);
    case opPlus:
        if (kind == resInt)
            return PgxEvResult::Int(int32_t(uint32_t(l.IntResult) + uint32_t(r.IntResult)));
        if (kind == resDouble)
            return PgxEvResult::Double(l.DoubleResult + r.DoubleResult);
        if (kind == resString)
            return PgxEvResult::String(l.StringResult + r.StringResult);
        return cannot(SpgxExpAdd);
    case opMinus:
        if (kind == resInt)
            return PgxEvResult::Int(int32_t(uint32_t(l.IntResult) - uint32_t(r.IntResult)));
        if (kind == resDouble)
            return PgxEvResult::Double(l.DoubleResult - r.DoubleResult);
        return cannot(SpgxExpSubtract);
    case opMul:
        if (kind == resInt)
            return PgxEvResult::Int(int32_t(uint32_t(l.IntResult) * uint32_t(r.IntResult)));
        if (kind == resDouble)
            return PgxEvResult::Double(l.DoubleResult * r.DoubleResult);
        return cannot(SpgxExpMultiply);
    case opDiv:
        if (kind == resInt) {
            if (r.IntResult == 0)
                return ErrorFmt(SpgxExpDivideByZero, {});
            return PgxEvResult::Double(double(l.IntResult) / double(r.IntResult));
        }
        if (kind == resDouble) {
            if (r.DoubleResult == 0.0)
                return ErrorFmt(SpgxExpDivideByZero, {});
            return PgxEvResult::Double(l.DoubleResult / r.DoubleResult);
        }
        return cannot(SpgxExpDivide);
    case opOr:
    case opAnd:
        if (kind == resInt)
            return PgxEvResult::Int(op == opOr ? (l.IntResult | r.IntResult) : (l.IntResult & r.IntResult));
        if (kind == resBool)
            return PgxEvResult::Bool(op == opOr ? (l.BooleanResult || r.BooleanResult) : (l.BooleanResult && r.BooleanResult));
        return notCompatible(kind == resString ? SpgxExpString : SpgxExpNumeric);
    }
    return PgxEvResult::Error("");
}

PgxEvResult Operand(PgxFiFo &fifo)
{
    PgxEvElement *e = fifo.Get();
    return e ? e->Value(fifo) : ErrorFmt(SpgxExpError, {""});
}

} // namespace

PgxEvalDepth::PgxEvalDepth() { ++g_evalDepth; }
PgxEvalDepth::~PgxEvalDepth() { --g_evalDepth; }
bool PgxEvalDepth::TooDeep() const { return g_evalDepth > Max; }

PgxEvResult PgxEvResult::Int(int32_t v)
{
    PgxEvResult r;
    r.Kind = resInt;
    r.IntResult = v;
    return r;
}

PgxEvResult PgxEvResult::Double(double v)
{
    PgxEvResult r;
    r.Kind = resDouble;
    r.DoubleResult = v;
    return r;
}

PgxEvResult PgxEvResult::String(std::string_view s)
{
    PgxEvResult r;
    r.Kind = resString;
    r.StringResult = Cut(s);
    return r;
}

PgxEvResult PgxEvResult::Bool(bool v)
{
    PgxEvResult r;
    r.Kind = resBool;
    r.BooleanResult = v;
    return r;
}

PgxEvResult PgxEvResult::Error(std::string_view message)
{
    PgxEvResult r;
    r.Kind = resError;
    r.StringResult = Cut(message);
    return r;
}

std::unique_ptr<PgxEvElement> PgxFiFo::GetAndFree()
{
    if (items_.empty())
        return nullptr;
    std::unique_ptr<PgxEvElement> e = std::move(items_.front());
    items_.erase(items_.begin());
    if (cursor_ > 0)
        --cursor_;
    return e;
}

PgxEvResult PgxEvElementOperator::Value(PgxFiFo &fifo)
{
    PgxEvalDepth depth;
    PgxEvResult l = Operand(fifo);
    PgxEvResult r = Operand(fifo);
    return Combine(op_, std::move(l), std::move(r));
}

PgxEvResult PgxEvElementNot::Value(PgxFiFo &fifo)
{
    PgxEvalDepth depth;
    const PgxEvResult v = Operand(fifo);
    if (v.Kind != resBool)
        return ErrorFmt(SpgxInvalidNot, {});
    return PgxEvResult::Bool(!v.BooleanResult);
}

PgxEvResult PgxEvElementDataField::Value(PgxFiFo &)
{
    const PgxField *f = dataset_.Field(index_);
    if (!f)
        return ErrorFmt(SpgxExpUnknownFieldType, {""});
    switch (f->Kind()) {
    case PgxFieldKind::String:
        return PgxEvResult::String(f->AsString());
    case PgxFieldKind::Integer: case PgxFieldKind::SmallInt: case PgxFieldKind::Word:
        // A stored integer beyond 32 bits is given as a float rather than cut.
        if (const auto n = f->AsInteger())
            return PgxEvResult::Int(*n);
        return PgxEvResult::Double(f->AsFloat());
    case PgxFieldKind::Float: case PgxFieldKind::Currency: case PgxFieldKind::BCD:
        return PgxEvResult::Double(f->AsFloat());
    case PgxFieldKind::Boolean:
        return PgxEvResult::Bool(f->AsBoolean());
    case PgxFieldKind::Date: case PgxFieldKind::Time: case PgxFieldKind::DateTime:
        return PgxEvResult::String(f->AsString());
    default:
        return ErrorFmt(SpgxExpUnknownFieldType, {f->FieldName()});
    }
}

PgxEvElementWrapper::PgxEvElementWrapper(std::shared_ptr<PgxEvEmbeddedFunction> entry) : entry_(std::move(entry)) {}

PgxEvResult PgxEvElementWrapper::Value(PgxFiFo &fifo) { return entry_->Value(fifo); }

// --- conversions ---

std::string PgxEvResultToString(const PgxEvResult &r)
{
    switch (r.Kind) {
    case resInt: return std::to_string(r.IntResult);
    case resDouble: return PgxFloatToStr(r.DoubleResult);
    case resString: return r.StringResult;
    case resBool: return PgxLoadStr(r.BooleanResult ? SpgxTrue : SpgxFalse);
    default: throw PgxError(PgxFmt(SpgxExpError, {r.StringResult}));
    }
}

int32_t PgxEvResultToInt(const PgxEvResult &r)
{
    if (r.Kind == resInt)
        return r.IntResult;
    if (r.Kind == resDouble) {
        const double d = std::nearbyint(r.DoubleResult); // halves to even
        if (!(d >= -2147483648.0 && d <= 2147483647.0))
            throw PgxError(PgxLoadStr(SpgxValueTooBig));
        return int32_t(d);
    }
    throw PgxError(PgxFmt(SpgxNotValue, {PgxLoadStr(SpgxExpNumeric)}));
}

double PgxEvResultToFloat(const PgxEvResult &r)
{
    if (r.Kind == resInt)
        return r.IntResult;
    if (r.Kind == resDouble)
        return r.DoubleResult;
    throw PgxError(PgxFmt(SpgxNotValue, {PgxLoadStr(SpgxExpNumeric)}));
}

bool PgxEvResultToBoolean(const PgxEvResult &r)
{
    if (r.Kind == resBool)
        return r.BooleanResult;
    if (r.Kind == resString) {
        const std::string up = PgxUpperAscii(r.StringResult);
        if (up == "TRUE")
            return true;
        if (up == "FALSE")
            return false;
    }
    throw PgxError(PgxFmt(SpgxNotValue, {PgxLoadStr(SpgxExpBoolean)}));
}

QVariant PgxEvResultToVariant(const PgxEvResult &r)
{
    switch (r.Kind) {
    case resInt: return QVariant(int(r.IntResult));
    case resDouble: return QVariant(r.DoubleResult);
    case resString: return QVariant(QString::fromLatin1(r.StringResult.data(), qsizetype(r.StringResult.size())));
    case resBool: return QVariant(r.BooleanResult);
    default: throw PgxError(PgxFmt(SpgxExpError, {r.StringResult}));
    }
}

// --- the evaluator ---

PgxEvaluator::~PgxEvaluator()
{
    if (prepared_)
        UnPrepare();
}

void PgxEvaluator::Prepare(std::string_view expression)
{
    if (prepared_)
        UnPrepare();
    PgxGlobalEnvironment().Prepare();
    fifo_ = std::make_unique<PgxFiFo>();
    const std::string text = expression.empty() ? std::string("' '") : std::string(expression);
    depth_ = 0;
    Evaluate(text);
    prepared_ = true;
}

void PgxEvaluator::UnPrepare()
{
    fifo_.reset();
    if (prepared_)
        PgxGlobalEnvironment().Unprepare();
    prepared_ = false;
}

PgxEvResult PgxEvaluator::Value()
{
    if (!prepared_)
        throw PgxError(PgxLoadStr(SpgxEvalNotPrepared));
    fifo_->Start();
    PgxEvElement *first = fifo_->Get();
    if (!first)
        return PgxEvResult::Error("");
    return first->Value(*fifo_);
}

void PgxEvaluator::DoAggregate()
{
    if (!prepared_)
        throw PgxError(PgxLoadStr(SpgxEvalNotPrepared));
    fifo_->Aggregate = true;
    try {
        Value();
    } catch (...) {
        fifo_->Aggregate = false;
        throw;
    }
    fifo_->Aggregate = false;
}

void PgxEvaluator::Reset()
{
    if (!fifo_)
        return;
    for (size_t i = 0; i < fifo_->Count(); ++i)
        fifo_->At(i)->Reset();
}

bool PgxEvaluator::IsAggreg() const
{
    if (!fifo_)
        return false;
    for (size_t i = 0; i < fifo_->Count(); ++i)
        if (fifo_->At(i)->IsAggreg)
            return true;
    return false;
}

void PgxEvaluator::SetAggregate(bool on)
{
    if (fifo_)
        fifo_->Aggregate = on;
}

PgxEvResult PgxEvaluator::Calculate(std::string_view expression)
{
    Prepare(expression);
    PgxEvResult r;
    try {
        r = Value();
    } catch (...) {
        UnPrepare();
        throw;
    }
    UnPrepare();
    return r;
}

std::string PgxEvaluator::AsString() { return PgxEvResultToString(Value()); }
int32_t PgxEvaluator::AsInteger() { return PgxEvResultToInt(Value()); }
double PgxEvaluator::AsFloat() { return PgxEvResultToFloat(Value()); }
bool PgxEvaluator::AsBoolean() { return PgxEvResultToBoolean(Value()); }
QVariant PgxEvaluator::AsVariant() { return PgxEvResultToVariant(Value()); }

} // namespace strandel::report
