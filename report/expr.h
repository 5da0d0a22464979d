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

namespace strandel::report {

class PgxDataSet;
class PgxField;
class PgxEvEnvironment;
class PgxEvEmbeddedFunction;

// The engine's exception; its text is one of the message strings.
class PgxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum PgxEvResultType : uint8_t { resInt = 0, resDouble = 1, resString = 2, resBool = 3, resError = 4 };

// Texts in values are cut to this many single-byte characters.
inline constexpr size_t PgxMaxText = 255;

struct PgxEvResult {
    PgxEvResultType Kind = resInt;
    int32_t IntResult = 0;
    double DoubleResult = 0;
    std::string StringResult; // the text of resString, the message of resError
    bool BooleanResult = false;

    static PgxEvResult Int(int32_t v);
    static PgxEvResult Double(double v);
    static PgxEvResult String(std::string_view s);
    static PgxEvResult Bool(bool v);
    static PgxEvResult Error(std::string_view message);
    bool IsNumeric() const { return Kind == resInt || Kind == resDouble; }
};

enum PgxEvOperator : uint8_t {
    opLess, opLessOrEqual, opGreater, opGreaterOrEqual, opEqual, opUnequal,
    opPlus, opMinus, opOr, opMul, opDiv, opAnd,
};

class PgxFiFo;

class PgxEvElement {
public:
    virtual ~PgxEvElement() = default;
    // May take further elements (operands, arguments) from the queue.
    virtual PgxEvResult Value(PgxFiFo &fifo) = 0;
    virtual void Reset() {}
    bool IsAggreg = false;
};

// The compiled expression: elements in prefix order, a read cursor and the aggregate flag.
class PgxFiFo {
public:
    void Put(std::unique_ptr<PgxEvElement> element) { items_.push_back(std::move(element)); }
    void Start() { cursor_ = 0; }
    PgxEvElement *Get() { return cursor_ < items_.size() ? items_[cursor_++].get() : nullptr; }
    std::unique_ptr<PgxEvElement> GetAndFree();
    size_t Count() const { return items_.size(); }
    PgxEvElement *At(size_t i) const { return i < items_.size() ? items_[i].get() : nullptr; }
    bool Aggregate = false;

private:
    std::vector<std::unique_ptr<PgxEvElement>> items_;
    size_t cursor_ = 0;
};

class PgxEvElementOperator : public PgxEvElement {
public:
    explicit PgxEvElementOperator(PgxEvOperator op) : op_(op) {}
    PgxEvResult Value(PgxFiFo &fifo) override;
    PgxEvOperator Operator() const { return op_; }

private:
    PgxEvOperator op_;
};

// "not": negates the boolean value of the element after it.
class PgxEvElementNot : public PgxEvElement {
public:
    PgxEvResult Value(PgxFiFo &fifo) override;
};

class PgxEvElementConstant : public PgxEvElement {
public:
    explicit PgxEvElementConstant(PgxEvResult value) : value_(std::move(value)) {}
    PgxEvResult Value(PgxFiFo &) override { return value_; }
    void SetValue(PgxEvResult value) { value_ = std::move(value); }
    const PgxEvResult &Constant() const { return value_; }

private:
    PgxEvResult value_;
};

class PgxEvElementString : public PgxEvElement {
public:
    explicit PgxEvElementString(std::string_view text) { SetText(text); }
    PgxEvResult Value(PgxFiFo &) override { return PgxEvResult::String(text_); }
    void SetText(std::string_view text) { text_ = std::string(text.substr(0, PgxMaxText)); }
    const std::string &Text() const { return text_; }

private:
    std::string text_;
};

// Ends the argument elements of a function; never evaluated for a value.
class PgxEvElementArgumentEnd : public PgxEvElement {
public:
    PgxEvResult Value(PgxFiFo &) override { return PgxEvResult::Error(""); }
};

class PgxEvElementDataField : public PgxEvElement {
public:
    PgxEvElementDataField(const PgxDataSet &dataset, int index) : dataset_(dataset), index_(index) {}
    PgxEvResult Value(PgxFiFo &fifo) override;

private:
    const PgxDataSet &dataset_;
    int index_;
};

class PgxEvElementError : public PgxEvElement {
public:
    explicit PgxEvElementError(std::string_view message) : message_(message) {}
    PgxEvResult Value(PgxFiFo &) override { return PgxEvResult::Error(message_); }
    const std::string &Message() const { return message_; }

private:
    std::string message_;
};

// Refers to an environment entry; the reference keeps the entry alive while this queue
// holds it, even when the environment drops it.
class PgxEvElementWrapper : public PgxEvElement {
public:
    explicit PgxEvElementWrapper(std::shared_ptr<PgxEvEmbeddedFunction> entry);
    PgxEvResult Value(PgxFiFo &fifo) override;
    void Reset() override;
    PgxEvEmbeddedFunction &Entry() const { return *entry_; }

private:
    std::shared_ptr<PgxEvEmbeddedFunction> entry_;
};

class PgxEvaluator {
public:
    PgxEvaluator() = default;
    virtual ~PgxEvaluator();
    PgxEvaluator(const PgxEvaluator &) = delete;
    PgxEvaluator &operator=(const PgxEvaluator &) = delete;

    // Data sets whose fields expressions may name; not owned.
    std::vector<const PgxDataSet *> Datasets;
    // Local variables, looked up before the global environment; not owned.
    PgxEvEnvironment *Environment = nullptr;

    void Prepare(std::string_view expression);
    void UnPrepare();
    bool Prepared() const { return prepared_; }
    PgxEvResult Value();
    void DoAggregate();
    void Reset();
    bool IsAggreg() const;
    bool Aggregate() const { return fifo_ && fifo_->Aggregate; }
    void SetAggregate(bool on);
    PgxEvResult Calculate(std::string_view expression);

    std::string AsString();
    int32_t AsInteger();
    double AsFloat();
    bool AsBoolean();
    QVariant AsVariant();

    // The compiled queue while prepared, else nothing.
    const PgxFiFo *Queue() const { return fifo_.get(); }

    // Deepest nesting of the text that is compiled; deeper parts become an error.
    static constexpr int MaxNesting = 400;

protected:
    virtual void EvalFunction(std::string_view name, std::string_view arguments);
    virtual void EvalVariable(std::string_view name);
    void EvalEnvironment(std::string_view name);
    void Put(std::unique_ptr<PgxEvElement> element) { fifo_->Put(std::move(element)); }

    void Evaluate(std::string_view text);
    void EvalSimpleExpr(std::string_view text);
    void EvalTerm(std::string_view text);
    void EvalFactor(std::string_view text);
    void EvalConstant(std::string_view text);
    void EvalString(std::string_view text);
    void EvalFunctionExpr(std::string_view text);

private:
    bool Enter(std::string_view text);
    std::unique_ptr<PgxFiFo> fifo_;
    bool prepared_ = false;
    int depth_ = 0;
};

// The argument separator of function calls.
inline constexpr char PgxArgumentSeparator = ',';

std::string PgxEvResultToString(const PgxEvResult &r);
int32_t PgxEvResultToInt(const PgxEvResult &r);
double PgxEvResultToFloat(const PgxEvResult &r);
bool PgxEvResultToBoolean(const PgxEvResult &r);
QVariant PgxEvResultToVariant(const PgxEvResult &r);

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
