// Functions of the expression language: the function element, the registry that maps a name
// to a function class, and the built-ins (registered once per process).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/expr/expr.h"

namespace strandel::report {

class TPgxEvElementFunction : public TPgxEvElement {
public:
    // Evaluates the argument elements up to their end mark, feeds the aggregate while the
    // queue's aggregate flag is set, then calculates.
    TPgxEvResult Value(TPgxFiFo &fifo) override;
    virtual void Aggregate() {}
    virtual TPgxEvResult Calculate();
    virtual std::string FunctionName() const { return {}; }
    virtual std::string FunctionDescription() const { return FunctionName(); }
    virtual std::string FunctionVendor() const;
    // Signature: category digit, then one letter per argument (N numeric, B logical, S text, V any).
    virtual std::string FunctionArguments() const { return {}; }

    size_t ArgumentCount() const { return args_.size(); }
    const TPgxEvResult &Argument(size_t index) const { return args_[index]; }
    static bool ArgumentOK(const TPgxEvElement *element);

protected:
    void GetArguments(TPgxFiFo &fifo);
    void FreeArguments() { args_.clear(); }
    // "Wrong arguments for NAME", the error of calls a function cannot take.
    TPgxEvResult WrongArguments() const;

private:
    std::vector<TPgxEvResult> args_;
};

using PgxFunctionFactory = std::function<std::unique_ptr<TPgxEvElementFunction>()>;

struct TPgxLibraryEntry {
    std::string description;
    std::string arguments;
    PgxFunctionFactory make;
    std::string name;
    std::string vendor;
};

class TPgxFunctionLibrary {
public:
    // The one library of the process, with the built-ins registered.
    static TPgxFunctionLibrary &Instance();

    void Add(TPgxLibraryEntry entry) { entries_.push_back(std::move(entry)); }
    int Count() const { return int(entries_.size()); }
    // The entry at index, nothing outside 0 .. Count()-1.
    const TPgxLibraryEntry *GetEntry(int index) const;
    // A new element for the name (compared without regard to case), or an error element
    // "Unknown function : NAME" for a name the library does not have.
    std::unique_ptr<TPgxEvElement> GetFunction(std::string_view name) const;

private:
    std::vector<TPgxLibraryEntry> entries_;
};

void RegisterPgxFunction(PgxFunctionFactory make, std::string name, std::string description,
                         std::string vendor, std::string arguments);

template <class T>
void RegisterPgxFunctionEx()
{
    const T probe;
    RegisterPgxFunction([] { return std::make_unique<T>(); }, probe.FunctionName(), probe.FunctionDescription(),
                        probe.FunctionVendor(), probe.FunctionArguments());
}

} // namespace strandel::report
