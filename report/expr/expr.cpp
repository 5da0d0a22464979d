// Running compiled expressions: values, the operators and their kind rules, data fields,
// conversions, and the evaluator's prepared state.
#include "report/expr/expr.h"

#include <cmath>

#include "report/base/format.h"
#include "report/base/strings.h"
#include "report/base/utf8.h"
#include "report/data/dataset.h"
#include "report/expr/environment.h"
#include "report/expr/functions.h"

namespace strandel::report {
namespace {

thread_local int g_evalDepth = 0;

std::string Cut(std::string_view s) { return PgxUtf8Left(s, PgxMaxText); }

TPgxEvResult ErrorFmt(uint16_t id, std::initializer_list<std::string_view> args)
{
    return TPgxEvResult::Error(PgxFmt(id, args));
}

const char *OperatorText(TPgxEvOperator op)
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

TPgxEvResult Combine(TPgxEvOperator op, TPgxEvResult l, TPgxEvResult r)
{
    if (l.Kind == resError)
        return l;
    if (r.Kind == resError)
        return r;
    if (l.Kind != r.Kind) {
        if (l.IsNumeric() && r.IsNumeric()) {
            l = TPgxEvResult::Double(PgxEvResultToFloat(l));
            r = TPgxEvResult::Double(PgxEvResultToFloat(r));
        } else {
            l = TPgxEvResult::String(PgxEvResultToString(l));
            r = TPgxEvResult::String(PgxEvResultToString(r));
        }
    }
    const TPgxEvResultType kind = l.Kind;
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
            return TPgxEvResult::Bool(false);
        return TPgxEvResult::Bool(op == opLess ? cmp < 0 : op == opLessOrEqual ? cmp <= 0 : op == opGreater ? cmp > 0 : cmp >= 0);
    case opEqual:
        return TPgxEvResult::Bool(!unordered && cmp == 0);
    case opUnequal:
        return TPgxEvResult::Bool(unordered || cmp != 0);
    case opPlus:
        if (kind == resInt)
            return TPgxEvResult::Int(int32_t(uint32_t(l.IntResult) + uint32_t(r.IntResult)));
        if (kind == resDouble)
            return TPgxEvResult::Double(l.DoubleResult + r.DoubleResult);
        if (kind == resString)
            return TPgxEvResult::String(l.StringResult + r.StringResult);
        return cannot(SpgxExpAdd);
    case opMinus:
        if (kind == resInt)
            return TPgxEvResult::Int(int32_t(uint32_t(l.IntResult) - uint32_t(r.IntResult)));
        if (kind == resDouble)
            return TPgxEvResult::Double(l.DoubleResult - r.DoubleResult);
        return cannot(SpgxExpSubtract);
    case opMul:
        if (kind == resInt)
            return TPgxEvResult::Int(int32_t(uint32_t(l.IntResult) * uint32_t(r.IntResult)));
        if (kind == resDouble)
            return TPgxEvResult::Double(l.DoubleResult * r.DoubleResult);
        return cannot(SpgxExpMultiply);
    case opDiv:
        if (kind == resInt) {
            if (r.IntResult == 0)
                return ErrorFmt(SpgxExpDivideByZero, {});
            return TPgxEvResult::Double(double(l.IntResult) / double(r.IntResult));
        }
        if (kind == resDouble) {
            if (r.DoubleResult == 0.0)
                return ErrorFmt(SpgxExpDivideByZero, {});
            return TPgxEvResult::Double(l.DoubleResult / r.DoubleResult);
        }
        return cannot(SpgxExpDivide);
    case opOr:
    case opAnd:
        if (kind == resInt)
            return TPgxEvResult::Int(op == opOr ? (l.IntResult | r.IntResult) : (l.IntResult & r.IntResult));
        if (kind == resBool)
            return TPgxEvResult::Bool(op == opOr ? (l.BooleanResult || r.BooleanResult) : (l.BooleanResult && r.BooleanResult));
        return notCompatible(kind == resString ? SpgxExpString : SpgxExpNumeric);
    }
    return TPgxEvResult::Error("");
}

TPgxEvResult Operand(TPgxFiFo &fifo)
{
    TPgxEvElement *e = fifo.Get();
    return e ? e->Value(fifo) : ErrorFmt(SpgxExpError, {""});
}

} // namespace

PgxEvalDepth::PgxEvalDepth() { ++g_evalDepth; }
PgxEvalDepth::~PgxEvalDepth() { --g_evalDepth; }
bool PgxEvalDepth::TooDeep() const { return g_evalDepth > Max; }

TPgxEvResult TPgxEvResult::Int(int32_t v)
{
    TPgxEvResult r;
    r.Kind = resInt;
    r.IntResult = v;
    return r;
}

TPgxEvResult TPgxEvResult::Double(double v)
{
    TPgxEvResult r;
    r.Kind = resDouble;
    r.DoubleResult = v;
    return r;
}

TPgxEvResult TPgxEvResult::String(std::string_view s)
{
    TPgxEvResult r;
    r.Kind = resString;
    r.StringResult = Cut(s);
    return r;
}

TPgxEvResult TPgxEvResult::Bool(bool v)
{
    TPgxEvResult r;
    r.Kind = resBool;
    r.BooleanResult = v;
    return r;
}

TPgxEvResult TPgxEvResult::Error(std::string_view message)
{
    TPgxEvResult r;
    r.Kind = resError;
    r.StringResult = Cut(message);
    return r;
}

std::unique_ptr<TPgxEvElement> TPgxFiFo::GetAndFree()
{
    if (items_.empty())
        return nullptr;
    std::unique_ptr<TPgxEvElement> e = std::move(items_.front());
    items_.erase(items_.begin());
    if (cursor_ > 0)
        --cursor_;
    return e;
}

TPgxEvResult TPgxEvElementOperator::Value(TPgxFiFo &fifo)
{
    PgxEvalDepth depth;
    TPgxEvResult l = Operand(fifo);
    TPgxEvResult r = Operand(fifo);
    return Combine(op_, std::move(l), std::move(r));
}

TPgxEvResult TPgxEvElementNot::Value(TPgxFiFo &fifo)
{
    PgxEvalDepth depth;
    const TPgxEvResult v = Operand(fifo);
    if (v.Kind != resBool)
        return ErrorFmt(SpgxInvalidNot, {});
    return TPgxEvResult::Bool(!v.BooleanResult);
}

TPgxEvResult TPgxEvElementDataField::Value(TPgxFiFo &)
{
    const PgxField *f = dataset_.Field(index_);
    if (!f)
        return ErrorFmt(SpgxExpUnknownFieldType, {""});
    switch (f->Kind()) {
    case PgxFieldKind::String:
        return TPgxEvResult::String(f->AsString());
    case PgxFieldKind::Integer: case PgxFieldKind::SmallInt: case PgxFieldKind::Word:
        // A stored integer beyond 32 bits is given as a float rather than cut.
        if (const auto n = f->AsInteger())
            return TPgxEvResult::Int(*n);
        return TPgxEvResult::Double(f->AsFloat());
    case PgxFieldKind::Float: case PgxFieldKind::Currency: case PgxFieldKind::BCD:
        return TPgxEvResult::Double(f->AsFloat());
    case PgxFieldKind::Boolean:
        return TPgxEvResult::Bool(f->AsBoolean());
    case PgxFieldKind::Date: case PgxFieldKind::Time: case PgxFieldKind::DateTime:
        return TPgxEvResult::String(f->AsString());
    default:
        return ErrorFmt(SpgxExpUnknownFieldType, {f->FieldName()});
    }
}

TPgxEvElementWrapper::TPgxEvElementWrapper(std::shared_ptr<TPgxEvEmbeddedFunction> entry) : entry_(std::move(entry)) {}

TPgxEvResult TPgxEvElementWrapper::Value(TPgxFiFo &fifo) { return entry_->Value(fifo); }

// --- conversions ---

std::string PgxEvResultToString(const TPgxEvResult &r)
{
    switch (r.Kind) {
    case resInt: return std::to_string(r.IntResult);
    case resDouble: return PgxFloatToStr(r.DoubleResult);
    case resString: return r.StringResult;
    case resBool: return PgxLoadStr(r.BooleanResult ? SpgxTrue : SpgxFalse);
    default: throw EPgxError(PgxFmt(SpgxExpError, {r.StringResult}));
    }
}

int32_t PgxEvResultToInt(const TPgxEvResult &r)
{
    if (r.Kind == resInt)
        return r.IntResult;
    if (r.Kind == resDouble) {
        const double d = std::nearbyint(r.DoubleResult); // halves to even
        if (!(d >= -2147483648.0 && d <= 2147483647.0))
            throw EPgxError(PgxLoadStr(SpgxValueTooBig));
        return int32_t(d);
    }
    throw EPgxError(PgxFmt(SpgxNotValue, {PgxLoadStr(SpgxExpNumeric)}));
}

double PgxEvResultToFloat(const TPgxEvResult &r)
{
    if (r.Kind == resInt)
        return r.IntResult;
    if (r.Kind == resDouble)
        return r.DoubleResult;
    throw EPgxError(PgxFmt(SpgxNotValue, {PgxLoadStr(SpgxExpNumeric)}));
}

bool PgxEvResultToBoolean(const TPgxEvResult &r)
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
    throw EPgxError(PgxFmt(SpgxNotValue, {PgxLoadStr(SpgxExpBoolean)}));
}

QVariant PgxEvResultToVariant(const TPgxEvResult &r)
{
    switch (r.Kind) {
    case resInt: return QVariant(int(r.IntResult));
    case resDouble: return QVariant(r.DoubleResult);
    case resString: return QVariant(QString::fromStdString(r.StringResult));
    case resBool: return QVariant(r.BooleanResult);
    default: throw EPgxError(PgxFmt(SpgxExpError, {r.StringResult}));
    }
}

// --- the evaluator ---

TPgxEvaluator::~TPgxEvaluator()
{
    if (prepared_)
        UnPrepare();
}

void TPgxEvaluator::Prepare(std::string_view expression)
{
    if (prepared_)
        UnPrepare();
    PgxGlobalEnvironment().Prepare();
    fifo_ = std::make_unique<TPgxFiFo>();
    const std::string text = expression.empty() ? std::string("' '") : std::string(expression);
    depth_ = 0;
    Evaluate(text);
    prepared_ = true;
}

void TPgxEvaluator::UnPrepare()
{
    fifo_.reset();
    if (prepared_)
        PgxGlobalEnvironment().Unprepare();
    prepared_ = false;
}

TPgxEvResult TPgxEvaluator::Value()
{
    if (!prepared_)
        throw EPgxError(PgxLoadStr(SpgxEvalNotPrepared));
    fifo_->Start();
    TPgxEvElement *first = fifo_->Get();
    if (!first)
        return TPgxEvResult::Error("");
    return first->Value(*fifo_);
}

void TPgxEvaluator::DoAggregate()
{
    if (!prepared_)
        throw EPgxError(PgxLoadStr(SpgxEvalNotPrepared));
    fifo_->Aggregate = true;
    try {
        Value();
    } catch (...) {
        fifo_->Aggregate = false;
        throw;
    }
    fifo_->Aggregate = false;
}

void TPgxEvaluator::Reset()
{
    if (!fifo_)
        return;
    for (size_t i = 0; i < fifo_->Count(); ++i)
        fifo_->At(i)->Reset();
}

bool TPgxEvaluator::IsAggreg() const
{
    if (!fifo_)
        return false;
    for (size_t i = 0; i < fifo_->Count(); ++i)
        if (fifo_->At(i)->IsAggreg)
            return true;
    return false;
}

void TPgxEvaluator::SetAggregate(bool on)
{
    if (fifo_)
        fifo_->Aggregate = on;
}

TPgxEvResult TPgxEvaluator::Calculate(std::string_view expression)
{
    Prepare(expression);
    TPgxEvResult r;
    try {
        r = Value();
    } catch (...) {
        UnPrepare();
        throw;
    }
    UnPrepare();
    return r;
}

std::string TPgxEvaluator::AsString() { return PgxEvResultToString(Value()); }
int32_t TPgxEvaluator::AsInteger() { return PgxEvResultToInt(Value()); }
double TPgxEvaluator::AsFloat() { return PgxEvResultToFloat(Value()); }
bool TPgxEvaluator::AsBoolean() { return PgxEvResultToBoolean(Value()); }
QVariant TPgxEvaluator::AsVariant() { return PgxEvResultToVariant(Value()); }

} // namespace strandel::report
