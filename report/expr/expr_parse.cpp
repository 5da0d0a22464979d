// Compiling: the text is split level by level (relational, then + - or, then * / and, then
// factors) into elements in prefix order. Chains split at their last operator so that they
// run left to right; a sign binds to its factor.
#include "report/expr/expr.h"

#include "report/base/format.h"
#include "report/base/strings.h"
#include "report/base/utf8.h"
#include "report/data/dataset.h"
#include "report/expr/environment.h"
#include "report/expr/functions.h"

namespace strandel::report {
namespace {

std::string Cut(std::string_view s) { return PgxUtf8Left(s, PgxMaxText); }

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

struct DepthScope {
    int &depth;
    explicit DepthScope(int &d) : depth(d) { ++depth; }
    ~DepthScope() { --depth; }
};

} // namespace

// Nesting guard of the compiling steps: text from a saved report may nest without limit.
bool TPgxEvaluator::Enter(std::string_view text)
{
    if (depth_ < MaxNesting)
        return true;
    Put(std::make_unique<TPgxEvElementError>(PgxFmt(SpgxExpError, {Cut(text.substr(0, 40))})));
    return false;
}

// Relational operators: the first at the top level splits; they do not chain.
void TPgxEvaluator::Evaluate(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    size_t at = 0, len = 0;
    TPgxEvOperator op = opEqual;
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
    Put(std::make_unique<TPgxEvElementOperator>(op));
    EvalSimpleExpr(text.substr(0, at));
    EvalSimpleExpr(text.substr(at + len));
}

// "+", "-" and " or ": the last one at the top level splits, so chains run left to right.
void TPgxEvaluator::EvalSimpleExpr(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    size_t at = 0, len = 0;
    TPgxEvOperator op = opPlus;
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
    Put(std::make_unique<TPgxEvElementOperator>(op));
    EvalSimpleExpr(text.substr(0, at));
    EvalTerm(text.substr(at + len));
}

// "*", "/" and " and ": the last one at the top level splits.
void TPgxEvaluator::EvalTerm(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    size_t at = 0, len = 0;
    TPgxEvOperator op = opMul;
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
    Put(std::make_unique<TPgxEvElementOperator>(op));
    EvalTerm(text.substr(0, at));
    EvalFactor(text.substr(at + len));
}

void TPgxEvaluator::EvalFactor(std::string_view text)
{
    if (!Enter(text))
        return;
    DepthScope scope(depth_);
    text = Trim(text);
    // "not" is the operator only when a blank, "(" or "[" follows; NOTE is a name.
    if (text.size() > 3 && WordAt(text, 0, "not") && (text[3] == ' ' || text[3] == '(' || text[3] == '[')) {
        Put(std::make_unique<TPgxEvElementNot>());
        EvalSimpleExpr(text.substr(3));
        return;
    }
    const char first = text.empty() ? '\0' : text[0];
    const auto enclosed = [&](char close, void (TPgxEvaluator::*inner)(std::string_view)) {
        if (text.size() < 2 || text.back() != close) {
            const char missing[2] = {close, '\0'};
            Put(std::make_unique<TPgxEvElementError>(PgxFmt(SpgxExpMissing, {missing})));
            return;
        }
        (this->*inner)(text.substr(1, text.size() - 2));
    };
    if (IsDigit(first)) {
        EvalConstant(text);
    } else if (IsLetter(first)) {
        EvalFunctionExpr(text);
    } else if (first == '[') {
        enclosed(']', &TPgxEvaluator::EvalVariable);
    } else if (first == '\'') {
        enclosed('\'', &TPgxEvaluator::EvalString);
    } else if (first == '(') {
        enclosed(')', &TPgxEvaluator::Evaluate);
    } else if (first == '+') {
        EvalFactor(text.substr(1));
    } else if (first == '-') {
        // A sign binds to its factor: 0 - factor.
        Put(std::make_unique<TPgxEvElementOperator>(opMinus));
        Put(std::make_unique<TPgxEvElementConstant>(TPgxEvResult::Int(0)));
        EvalFactor(text.substr(1));
    } else {
        Put(std::make_unique<TPgxEvElementError>(PgxFmt(SpgxExpError, {text})));
    }
}

void TPgxEvaluator::EvalConstant(std::string_view text)
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
        Put(std::make_unique<TPgxEvElementError>(PgxFmt(SpgxExpIllegalCharInNumeric, {text})));
    };
    if (i < text.size()) {
        illegal();
        return;
    }
    if (!isDouble) {
        if (const auto n = PgxStrToInt(text)) {
            Put(std::make_unique<TPgxEvElementConstant>(TPgxEvResult::Int(*n)));
            return;
        }
    }
    // Constants always write the point, whatever the locale's separator.
    const PgxFormatSettings point;
    if (const auto d = PgxStrToFloat(text, point))
        Put(std::make_unique<TPgxEvElementConstant>(TPgxEvResult::Double(*d)));
    else
        illegal();
}

void TPgxEvaluator::EvalString(std::string_view text) { Put(std::make_unique<TPgxEvElementString>(text)); }

void TPgxEvaluator::EvalFunctionExpr(std::string_view text)
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

void TPgxEvaluator::EvalFunction(std::string_view name, std::string_view arguments)
{
    // Upper case without the locale: a Turkish locale must not turn "if" into something else.
    const std::string upper = PgxUpperAscii(name);
    std::unique_ptr<TPgxEvElement> element = TPgxFunctionLibrary::Instance().GetFunction(upper);
    if (dynamic_cast<TPgxEvElementFunction *>(element.get())) {
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
        Put(std::make_unique<TPgxEvElementArgumentEnd>());
        return;
    }
    if (!arguments.empty()) {
        Put(std::move(element));
        return;
    }
    EvalVariable(name);
}

void TPgxEvaluator::EvalVariable(std::string_view name)
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
        Put(std::make_unique<TPgxEvElementDataField>(field->DataSet(), field->Index()));
        return;
    }
    EvalEnvironment(name);
}

void TPgxEvaluator::EvalEnvironment(std::string_view name)
{
    if (Environment) {
        std::unique_ptr<TPgxEvElement> e = Environment->Element(name);
        if (!dynamic_cast<TPgxEvElementError *>(e.get())) {
            Put(std::move(e));
            return;
        }
    }
    Put(PgxGlobalEnvironment().Element(name));
}

} // namespace strandel::report
