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

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool WordAt(std::string_view text, size_t i, std::string_view word)
{
    if (i + word.size() > text.size())
        return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (Lower(text[i + k]) != word[k])
            return false;
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Walks the text as the splitting scan does: quotes, square brackets and parenthesis depth.
// Calls at(i) for each index 1 .. size-2 that stands at the top level (the first character is
// never a two-operand operator, the last never an operator). Stops when at returns true.
template <class F>
void ScanTopLevel(std::string_view text, F at)
{
    bool quote = false, bracket = false;
    int depth = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        const char c = text[i];
        if (c == '[' && !quote && !bracket) {
            bracket = true;
        } else if (c == ']' && bracket && !quote) {
            bracket = false;
        } else if (c == '\'' && !bracket) {
            quote = !quote;
        } else if (c == '(' && !quote && !bracket) {
            ++depth;
        } else if (c == ')' && !quote && !bracket) {
            --depth;
        } else if (i >= 1 && depth == 0 && !quote && !bracket) {
            if (at(i))
                return;
        }
    }
}

// A sign straight after the E of a number constant ("1.5E-3") belongs to the constant.
bool IsExponentSign(std::string_view text, size_t i)
{
    if (i < 2 || (text[i - 1] != 'E' && text[i - 1] != 'e'))
        return false;
    size_t k = i - 1;
    while (k > 0 && (IsDigit(text[k - 1]) || text[k - 1] == '.'))
        --k;
    if (k == i - 1 || !IsDigit(text[k]))
        return false;
    return k == 0 || !(IsLetter(text[k - 1]) || IsDigit(text[k - 1]) || text[k - 1] == '_' || text[k - 1] == '.');
}

// A "+" or "-" is a two-operand operator only after an operand; after another operator, an
// opening parenthesis or the words or/and/not it is a sign.
bool IsBinarySign(std::string_view text, size_t i)
{
    if (IsExponentSign(text, i))
        return false;
    size_t j = i;
    while (j > 0 && text[j - 1] == ' ')
        --j;
    if (j == 0)
        return false;
    const char c = text[j - 1];
    if (c == '+' || c == '-' || c == '*' || c == '/' || c == '<' || c == '>' || c == '=' || c == '(' ||
        c == PgxArgumentSeparator)
        return false;
    if (IsLetter(c) && j < i) {
        size_t k = j - 1;
        while (k > 0 && IsLetter(text[k - 1]))
            --k;
        std::string word;
        for (size_t m = k; m < j; ++m)
            word += Lower(text[m]);
        const bool separated = k == 0 || text[k - 1] == ' ';
        if (separated && (word == "or" || word == "and" || word == "not"))
            return false;
    }
    return true;
}

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

void PgxEvElementWrapper::Reset() { entry_->Reset(); }

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

// Nesting guard of the compiling steps: text from a saved report may nest without limit.
bool PgxEvaluator::Enter(std::string_view text)
{
    if (depth_ < MaxNesting)
        return true;
    Put(std::make_unique<PgxEvElementError>(PgxFmt(SpgxExpError, {Cut(text.substr(0, 40))})));
    return false;
}

namespace {
struct DepthScope {
    int &depth;
    explicit DepthScope(int &d) : depth(d) { ++depth; }
    ~DepthScope() { --depth; }
};
} // namespace

// Relational operators: the first at the top level splits; they do not chain.
void PgxEvaluator::Evaluate(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    size_t at = 0, len = 0;
    PgxEvOperator op = opEqual;
    ScanTopLevel(text, [&](size_t i) {
        const char c = text[i];
        const char n = text[i + 1];
        if (c == '<') {
            op = n == '>' ? opUnequal : n == '=' ? opLessOrEqual : opLess;
            len = op == opLess ? 1 : 2;
        } else if (c == '=') {
            op = opEqual;
            len = 1;
        } else if (c == '>') {
            op = n == '=' ? opGreaterOrEqual : opGreater;
            len = op == opGreater ? 1 : 2;
        } else {
            return false;
        }
        at = i;
        return true;
    });
    if (len == 0) {
        EvalSimpleExpr(text);
        return;
    }
    Put(std::make_unique<PgxEvElementOperator>(op));
    EvalSimpleExpr(text.substr(0, at));
    EvalSimpleExpr(text.substr(at + len));
}

// "+", "-" and " or ": the last one at the top level splits, so chains run left to right.
void PgxEvaluator::EvalSimpleExpr(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    size_t at = 0, len = 0;
    PgxEvOperator op = opPlus;
    ScanTopLevel(text, [&](size_t i) {
        const char c = text[i];
        if (c == ' ' && WordAt(text, i + 1, "or ")) {
            op = opOr, at = i + 1, len = 2;
        } else if ((c == '+' || c == '-') && IsBinarySign(text, i)) {
            op = c == '+' ? opPlus : opMinus, at = i, len = 1;
        }
        return false;
    });
    if (len == 0) {
        EvalTerm(text);
        return;
    }
    Put(std::make_unique<PgxEvElementOperator>(op));
    EvalSimpleExpr(text.substr(0, at));
    EvalTerm(text.substr(at + len));
}

// "*", "/" and " and ": the last one at the top level splits.
void PgxEvaluator::EvalTerm(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    size_t at = 0, len = 0;
    PgxEvOperator op = opMul;
    ScanTopLevel(text, [&](size_t i) {
        const char c = text[i];
        if (c == ' ' && WordAt(text, i + 1, "and ")) {
            op = opAnd, at = i + 1, len = 3;
        } else if (c == '*' || c == '/') {
            op = c == '*' ? opMul : opDiv, at = i, len = 1;
        }
        return false;
    });
    if (len == 0) {
        EvalFactor(text);
        return;
    }
    Put(std::make_unique<PgxEvElementOperator>(op));
    EvalTerm(text.substr(0, at));
    EvalFactor(text.substr(at + len));
}

void PgxEvaluator::EvalFactor(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    text = Trim(text);
    // "not" is the operator only when a blank, "(" or "[" follows; NOTE is a name.
    if (text.size() > 3 && WordAt(text, 0, "not") && (text[3] == ' ' || text[3] == '(' || text[3] == '[')) {
        Put(std::make_unique<PgxEvElementNot>());
        EvalSimpleExpr(text.substr(3));
        return;
    }
    const char first = text.empty() ? '\0' : text[0];
    const auto enclosed = [&](char close, void (PgxEvaluator::*inner)(std::string_view)) {
        if (text.size() < 2 || text.back() != close) {
            const char missing[2] = {close, '\0'};
            Put(std::make_unique<PgxEvElementError>(PgxFmt(SpgxExpMissing, {missing})));
            return;
        }
        (this->*inner)(text.substr(1, text.size() - 2));
    };
    if (IsDigit(first)) {
        EvalConstant(text);
    } else if (IsLetter(first)) {
        EvalFunctionExpr(text);
    } else if (first == '[') {
        enclosed(']', &PgxEvaluator::EvalVariable);
    } else if (first == '\'') {
        enclosed('\'', &PgxEvaluator::EvalString);
    } else if (first == '(') {
        enclosed(')', &PgxEvaluator::Evaluate);
    } else if (first == '+') {
        EvalFactor(text.substr(1));
    } else if (first == '-') {
        // A sign binds to its factor: 0 - factor.
        Put(std::make_unique<PgxEvElementOperator>(opMinus));
        Put(std::make_unique<PgxEvElementConstant>(PgxEvResult::Int(0)));
        EvalFactor(text.substr(1));
    } else {
        Put(std::make_unique<PgxEvElementError>(PgxFmt(SpgxExpError, {text})));
    }
}

void PgxEvaluator::EvalConstant(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    bool isDouble = false;
    while (i < text.size()) {
        const char c = text[i];
        const bool sign = (c == '+' || c == '-') && i > 0 && (text[i - 1] == 'E' || text[i - 1] == 'e');
        if (!(IsDigit(c) || c == '.' || c == 'E' || c == 'e' || sign))
            break;
        isDouble = true;
        ++i;
    }
    const auto illegal = [&] {
        Put(std::make_unique<PgxEvElementError>(PgxFmt(SpgxExpIllegalCharInNumeric, {text})));
    };
    if (i < text.size()) {
        illegal();
        return;
    }
    if (!isDouble) {
        if (const auto n = PgxStrToInt(text)) {
            Put(std::make_unique<PgxEvElementConstant>(PgxEvResult::Int(*n)));
            return;
        }
    }
    // Constants always write the point, whatever the locale's separator.
    const PgxFormatSettings point;
    if (const auto d = PgxStrToFloat(text, point))
        Put(std::make_unique<PgxEvElementConstant>(PgxEvResult::Double(*d)));
    else
        illegal();
}

void PgxEvaluator::EvalString(std::string_view text) { Put(std::make_unique<PgxEvElementString>(text)); }

void PgxEvaluator::EvalFunctionExpr(std::string_view text)
{
    const size_t p = text.find('(');
    if (p == std::string_view::npos) {
        EvalFunction(text, {});
        return;
    }
    if (text.back() != ')' || text.size() < p + 2) {
        EvalFunction({}, {});
        return;
    }
    EvalFunction(text.substr(0, p), text.substr(p + 1, text.size() - p - 2));
}

void PgxEvaluator::EvalFunction(std::string_view name, std::string_view arguments)
{
    // Upper case without the locale: a Turkish locale must not turn "if" into something else.
    const std::string upper = PgxUpperAscii(name);
    std::unique_ptr<PgxEvElement> element = PgxFunctionLibrary::Instance().GetFunction(upper);
    if (dynamic_cast<PgxEvElementFunction *>(element.get())) {
        Put(std::move(element));
        // Arguments split at separators outside parentheses, quotes and square brackets.
        std::string_view rest = arguments;
        while (true) {
            size_t found = std::string_view::npos;
            bool quote = false, bracket = false;
            int depth = 0;
            for (size_t i = 0; i + 1 < rest.size(); ++i) {
                const char c = rest[i];
                if (c == '[' && !quote && !bracket)
                    bracket = true;
                else if (c == ']' && bracket && !quote)
                    bracket = false;
                else if (c == '\'' && !bracket)
                    quote = !quote;
                else if (c == '(' && !quote && !bracket)
                    ++depth;
                else if (c == ')' && !quote && !bracket)
                    --depth;
                else if (c == PgxArgumentSeparator && depth == 0 && !quote && !bracket) {
                    found = i;
                    break;
                }
            }
            if (found == std::string_view::npos)
                break;
            Evaluate(rest.substr(0, found));
            rest = rest.substr(found + 1);
        }
        if (!rest.empty())
            Evaluate(rest);
        Put(std::make_unique<PgxEvElementArgumentEnd>());
        return;
    }
    if (!arguments.empty()) {
        Put(std::move(element));
        return;
    }
    EvalVariable(name);
}

void PgxEvaluator::EvalVariable(std::string_view name)
{
    if (Datasets.empty()) {
        EvalEnvironment(name);
        return;
    }
    const size_t dot = name.find('.');
    const std::string setName = dot == std::string_view::npos ? std::string() : PgxUpperAscii(name.substr(0, dot));
    const std::string fieldName = PgxUpperAscii(dot == std::string_view::npos ? name : name.substr(dot + 1));
    const PgxField *field = nullptr;
    for (const PgxDataSet *ds : Datasets) {
        if (!ds)
            continue;
        if (!setName.empty() && PgxUpperAscii(ds->Name()) != setName)
            continue;
        field = ds->FindField(fieldName);
        if (field || !setName.empty())
            break;
    }
    if (field) {
        Put(std::make_unique<PgxEvElementDataField>(field->DataSet(), field->Index()));
        return;
    }
    EvalEnvironment(name);
}

void PgxEvaluator::EvalEnvironment(std::string_view name)
{
    if (Environment) {
        std::unique_ptr<PgxEvElement> e = Environment->Element(name);
        if (!dynamic_cast<PgxEvElementError *>(e.get())) {
            Put(std::move(e));
            return;
        }
    }
    Put(PgxGlobalEnvironment().Element(name));
}

} // namespace strandel::report
