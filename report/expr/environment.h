// Environments: named expressions that other expressions read like variables ([PAGENUMBER]).
// Each report has a local one; the process has one global environment.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QDateTime>

#include "report/expr/expr.h"

namespace strandel::report {

struct PgxFormatSettings;

// One entry: an expression with its own evaluator. Held by shared ownership so that a
// compiled queue referring to it keeps it alive after the environment drops it.
class TPgxEvEmbeddedFunction : public TPgxEvElement {
public:
    explicit TPgxEvEmbeddedFunction(std::string expression) : expression_(std::move(expression)) {}
    const std::string &Expression() const { return expression_; }
    // The element at index of the compiled queue, nothing when unprepared or out of range.
    TPgxEvElement *Peek(size_t index) const;
    // A busy entry (one that reaches itself) gives "Recursive calls not allowed".
    TPgxEvResult Value(TPgxFiFo &fifo) override;
    void Reset() override { evaluator_.Reset(); }
    TPgxEvaluator &Evaluator() { return evaluator_; }

private:
    std::string expression_;
    TPgxEvaluator evaluator_;
    bool busy_ = false;
};

class TPgxEvEnvironment {
public:
    TPgxEvEnvironment() = default;
    ~TPgxEvEnvironment();
    TPgxEvEnvironment(const TPgxEvEnvironment &) = delete;
    TPgxEvEnvironment &operator=(const TPgxEvEnvironment &) = delete;

    // Data sets the entries' expressions may name; not owned.
    std::vector<const PgxDataSet *> Datasets;

    // Stores the name upper-cased; an existing name keeps its entry.
    void AddFunction(std::string_view name, std::string_view expression);
    void DeleteFunction(std::string_view name);
    // A wrapper around the entry for a compiled queue, or an error element
    // "Unknown function : NAME" with the name as written.
    std::unique_ptr<TPgxEvElement> Element(std::string_view name) const;
    TPgxEvResult Value(std::string_view name);
    // The first element of a prepared entry's queue (its constant when the entry is one).
    TPgxEvElement *GetConstant(std::string_view name) const;
    bool UpdateConstant(std::string_view name, const TPgxEvResult &value);

    static void SetIntegerConstant(TPgxEvElement *element, int32_t value);
    static void SetFloatConstant(TPgxEvElement *element, double value);
    static void SetBooleanConstant(TPgxEvElement *element, bool value);
    static void SetStringConstant(TPgxEvElement *element, std::string_view text);
    // A constant element takes the whole value; a string element the text of a string value.
    static bool SetConstant(TPgxEvElement *element, const TPgxEvResult &value);

    void Prepare();
    void Unprepare();
    bool Prepared() const { return count_ > 0; }
    void Clear();
    void Update() {}

    int Count() const { return int(entries_.size()); }
    const std::string &Name(int index) const { return entries_[size_t(index)].first; }
    const std::string &Expression(int index) const { return entries_[size_t(index)].second->Expression(); }

    // Renames an entry to the upper-cased name; refused (false) for an empty name or one that
    // another entry has, which would hide one of the two.
    bool Rename(int index, std::string_view name);
    // Gives an entry a new expression (a new entry object); refused (false) while prepared, as
    // compiled queues then refer to the old one.
    bool SetExpression(int index, std::string_view expression);

    // The stored form: the names, and one expression per name in the same order.
    std::vector<std::string> Names() const;
    std::vector<std::string> Data() const;
    // Replaces the entries by the stored form (pairs beyond the shorter list are dropped).
    void Load(const std::vector<std::string> &names, const std::vector<std::string> &data);

private:
    friend TPgxEvEnvironment &PgxGlobalEnvironment();
    int Find(std::string_view name) const;
    void PrepareEntry(TPgxEvEmbeddedFunction &entry);
    void Retire(std::shared_ptr<TPgxEvEmbeddedFunction> entry);

    std::vector<std::pair<std::string, std::shared_ptr<TPgxEvEmbeddedFunction>>> entries_;
    // Entries dropped while prepared; unprepared with the environment so that an entry
    // reaching itself does not keep itself alive.
    std::vector<std::shared_ptr<TPgxEvEmbeddedFunction>> retired_;
    int count_ = 0;
    bool global_ = false;
};

// The process's global environment: APPSTARTTIME, APPSTARTDATE and APPNAME.
TPgxEvEnvironment &PgxGlobalEnvironment();
// Fills an environment with the three global entries, each a quoted text made now.
void PgxAddGlobalEntries(TPgxEvEnvironment &env, std::string_view appTitle, const QDateTime &start,
                         const PgxFormatSettings &fs);
// What SetConstant does, for an element of any queue.
bool UpdateConstant(TPgxEvElement *element, const TPgxEvResult &value);

} // namespace strandel::report
