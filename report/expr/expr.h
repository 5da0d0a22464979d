// The report engine's expression language. A text is compiled once (Prepare) into a flat
// queue of elements in prefix order and the queue is run each time a value is wanted. Errors
// in the text or in values are values of kind resError; only Value on an unprepared evaluator
// and the As* conversions throw.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <QVariant>

#include "report/base/utf8.h"

namespace strandel::report {

class PgxDataSet;
class PgxField;
class TPgxEvEnvironment;
class TPgxEvEmbeddedFunction;

// The engine's exception; its text is one of the message strings.
class EPgxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TPgxEvResultType : uint8_t { resInt = 0, resDouble = 1, resString = 2, resBool = 3, resError = 4 };

// Texts in values are cut to this many characters.
inline constexpr size_t PgxMaxText = 255;

struct TPgxEvResult {
    TPgxEvResultType Kind = resInt;
    int32_t IntResult = 0;
    double DoubleResult = 0;
    std::string StringResult; // the text of resString, the message of resError
    bool BooleanResult = false;

    static TPgxEvResult Int(int32_t v);
    static TPgxEvResult Double(double v);
    static TPgxEvResult String(std::string_view s);
    static TPgxEvResult Bool(bool v);
    static TPgxEvResult Error(std::string_view message);
    bool IsNumeric() const { return Kind == resInt || Kind == resDouble; }
};

enum TPgxEvOperator : uint8_t {
    opLess, opLessOrEqual, opGreater, opGreaterOrEqual, opEqual, opUnequal,
    opPlus, opMinus, opOr, opMul, opDiv, opAnd,
};

class TPgxFiFo;

class TPgxEvElement {
public:
    virtual ~TPgxEvElement() = default;
    // May take further elements (operands, arguments) from the queue.
    virtual TPgxEvResult Value(TPgxFiFo &fifo) = 0;
    virtual void Reset() {}
    bool IsAggreg = false;
};

// The compiled expression: elements in prefix order, a read cursor and the aggregate flag.
class TPgxFiFo {
public:
    void Put(std::unique_ptr<TPgxEvElement> element) { items_.push_back(std::move(element)); }
    void Start() { cursor_ = 0; }
    TPgxEvElement *Get() { return cursor_ < items_.size() ? items_[cursor_++].get() : nullptr; }
    std::unique_ptr<TPgxEvElement> GetAndFree();
    size_t Count() const { return items_.size(); }
    TPgxEvElement *At(size_t i) const { return i < items_.size() ? items_[i].get() : nullptr; }
    bool Aggregate = false;

private:
    std::vector<std::unique_ptr<TPgxEvElement>> items_;
    size_t cursor_ = 0;
};

class TPgxEvElementOperator : public TPgxEvElement {
public:
    explicit TPgxEvElementOperator(TPgxEvOperator op) : op_(op) {}
    TPgxEvResult Value(TPgxFiFo &fifo) override;
    TPgxEvOperator Operator() const { return op_; }

private:
    TPgxEvOperator op_;
};

// "not": negates the boolean value of the element after it.
class TPgxEvElementNot : public TPgxEvElement {
public:
    TPgxEvResult Value(TPgxFiFo &fifo) override;
};

class TPgxEvElementConstant : public TPgxEvElement {
public:
    explicit TPgxEvElementConstant(TPgxEvResult value) : value_(std::move(value)) {}
    TPgxEvResult Value(TPgxFiFo &) override { return value_; }
    void SetValue(TPgxEvResult value) { value_ = std::move(value); }
    const TPgxEvResult &Constant() const { return value_; }

private:
    TPgxEvResult value_;
};

class TPgxEvElementString : public TPgxEvElement {
public:
    explicit TPgxEvElementString(std::string_view text) { SetText(text); }
    TPgxEvResult Value(TPgxFiFo &) override { return TPgxEvResult::String(text_); }
    void SetText(std::string_view text) { text_ = PgxUtf8Left(text, PgxMaxText); }
    const std::string &Text() const { return text_; }

private:
    std::string text_;
};

// Ends the argument elements of a function; never evaluated for a value.
class TPgxEvElementArgumentEnd : public TPgxEvElement {
public:
    TPgxEvResult Value(TPgxFiFo &) override { return TPgxEvResult::Error(""); }
};

class TPgxEvElementDataField : public TPgxEvElement {
public:
    TPgxEvElementDataField(const PgxDataSet &dataset, int index) : dataset_(dataset), index_(index) {}
    TPgxEvResult Value(TPgxFiFo &fifo) override;

private:
    const PgxDataSet &dataset_;
    int index_;
};

class TPgxEvElementError : public TPgxEvElement {
public:
    explicit TPgxEvElementError(std::string_view message) : message_(message) {}
    TPgxEvResult Value(TPgxFiFo &) override { return TPgxEvResult::Error(message_); }
    const std::string &Message() const { return message_; }

private:
    std::string message_;
};

// Refers to an environment entry; the reference keeps the entry alive while this queue
// holds it, even when the environment drops it.
class TPgxEvElementWrapper : public TPgxEvElement {
public:
    explicit TPgxEvElementWrapper(std::shared_ptr<TPgxEvEmbeddedFunction> entry);
    TPgxEvResult Value(TPgxFiFo &fifo) override;
    // Reset stays the base's: a total inside an entry belongs to the entry's own evaluator.
    TPgxEvEmbeddedFunction &Entry() const { return *entry_; }

private:
    std::shared_ptr<TPgxEvEmbeddedFunction> entry_;
};

class TPgxEvaluator {
public:
    TPgxEvaluator() = default;
    virtual ~TPgxEvaluator();
    TPgxEvaluator(const TPgxEvaluator &) = delete;
    TPgxEvaluator &operator=(const TPgxEvaluator &) = delete;

    // Data sets whose fields expressions may name; not owned.
    std::vector<const PgxDataSet *> Datasets;
    // Local variables, looked up before the global environment; not owned.
    TPgxEvEnvironment *Environment = nullptr;

    void Prepare(std::string_view expression);
    void UnPrepare();
    bool Prepared() const { return prepared_; }
    TPgxEvResult Value();
    void DoAggregate();
    void Reset();
    bool IsAggreg() const;
    bool Aggregate() const { return fifo_ && fifo_->Aggregate; }
    void SetAggregate(bool on);
    TPgxEvResult Calculate(std::string_view expression);

    std::string AsString();
    int32_t AsInteger();
    double AsFloat();
    bool AsBoolean();
    QVariant AsVariant();

    // The compiled queue while prepared, else nothing.
    const TPgxFiFo *Queue() const { return fifo_.get(); }

    // Deepest nesting of the text that is compiled; deeper parts become an error.
    static constexpr int MaxNesting = 400;

protected:
    virtual void EvalFunction(std::string_view name, std::string_view arguments);
    virtual void EvalVariable(std::string_view name);
    void EvalEnvironment(std::string_view name);
    void Put(std::unique_ptr<TPgxEvElement> element) { fifo_->Put(std::move(element)); }

    void Evaluate(std::string_view text);
    void EvalSimpleExpr(std::string_view text);
    void EvalTerm(std::string_view text);
    void EvalFactor(std::string_view text);
    void EvalConstant(std::string_view text);
    void EvalString(std::string_view text);
    void EvalFunctionExpr(std::string_view text);

private:
    bool Enter(std::string_view text);
    std::unique_ptr<TPgxFiFo> fifo_;
    bool prepared_ = false;
    int depth_ = 0;
};

// The argument separator of function calls.
inline constexpr char PgxArgumentSeparator = ',';

std::string PgxEvResultToString(const TPgxEvResult &r);
int32_t PgxEvResultToInt(const TPgxEvResult &r);
double PgxEvResultToFloat(const TPgxEvResult &r);
bool PgxEvResultToBoolean(const TPgxEvResult &r);
QVariant PgxEvResultToVariant(const TPgxEvResult &r);

// Counts nested Value calls of this thread. One queue is bounded by the compile nesting;
// chains of environment entries are refused once the count passes Max.
class PgxEvalDepth {
public:
    PgxEvalDepth();
    ~PgxEvalDepth();
    PgxEvalDepth(const PgxEvalDepth &) = delete;
    PgxEvalDepth &operator=(const PgxEvalDepth &) = delete;
    bool TooDeep() const;
    static constexpr int Max = 1000;
};

} // namespace strandel::report
