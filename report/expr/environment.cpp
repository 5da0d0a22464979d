#include "report/expr/environment.h"

#include <QCoreApplication>

#include "report/base/format.h"
#include "report/base/strings.h"
#include "report/data/dataset.h"

namespace strandel::report {
namespace {

bool g_unprepareGuard = false;

} // namespace

TPgxEvElement *TPgxEvEmbeddedFunction::Peek(size_t index) const
{
    const TPgxFiFo *q = evaluator_.Queue();
    return q ? q->At(index) : nullptr;
}

TPgxEvResult TPgxEvEmbeddedFunction::Value(TPgxFiFo &)
{
    PgxEvalDepth depth;
    if (busy_ || depth.TooDeep())
        return TPgxEvResult::Error(PgxLoadStr(SpgxExpRecursive));
    busy_ = true;
    try {
        TPgxEvResult r = evaluator_.Value();
        busy_ = false;
        return r;
    } catch (...) {
        busy_ = false;
        throw;
    }
}

TPgxEvEnvironment::~TPgxEvEnvironment()
{
    // Break the references of entries that reach themselves; entries held elsewhere stay alive.
    for (auto &[name, entry] : entries_)
        if (entry.use_count() > 1)
            entry->Evaluator().UnPrepare();
    for (auto &entry : retired_)
        entry->Evaluator().UnPrepare();
}

int TPgxEvEnvironment::Find(std::string_view name) const
{
    for (size_t i = 0; i < entries_.size(); ++i)
        if (PgxSameName(entries_[i].first, name))
            return int(i);
    return -1;
}

void TPgxEvEnvironment::PrepareEntry(TPgxEvEmbeddedFunction &entry)
{
    TPgxEvaluator &ev = entry.Evaluator();
    ev.Datasets = Datasets;
    ev.Environment = this;
    ev.Prepare(entry.Expression());
}

void TPgxEvEnvironment::Retire(std::shared_ptr<TPgxEvEmbeddedFunction> entry)
{
    if (entry.use_count() > 1 && entry->Evaluator().Prepared())
        retired_.push_back(std::move(entry));
}

void TPgxEvEnvironment::AddFunction(std::string_view name, std::string_view expression)
{
    if (Find(name) >= 0)
        return;
    entries_.emplace_back(PgxUpperAscii(name), std::make_shared<TPgxEvEmbeddedFunction>(std::string(expression)));
    if (Prepared())
        PrepareEntry(*entries_.back().second);
}

void TPgxEvEnvironment::DeleteFunction(std::string_view name)
{
    const int i = Find(name);
    if (i < 0)
        return;
    auto entry = std::move(entries_[size_t(i)].second);
    entries_.erase(entries_.begin() + i);
    Retire(std::move(entry));
}

bool TPgxEvEnvironment::Rename(int index, std::string_view name)
{
    if (index < 0 || size_t(index) >= entries_.size() || name.empty())
        return false;
    const int other = Find(name);
    if (other >= 0 && other != index)
        return false;
    entries_[size_t(index)].first = PgxUpperAscii(name);
    return true;
}

bool TPgxEvEnvironment::SetExpression(int index, std::string_view expression)
{
    if (index < 0 || size_t(index) >= entries_.size() || Prepared())
        return false;
    entries_[size_t(index)].second = std::make_shared<TPgxEvEmbeddedFunction>(std::string(expression));
    return true;
}

std::unique_ptr<TPgxEvElement> TPgxEvEnvironment::Element(std::string_view name) const
{
    const int i = Find(name);
    if (i < 0)
        return std::make_unique<TPgxEvElementError>(PgxFmt(SpgxExpUnknownFunction, {name}));
    return std::make_unique<TPgxEvElementWrapper>(entries_[size_t(i)].second);
}

TPgxEvResult TPgxEvEnvironment::Value(std::string_view name)
{
    const int i = Find(name);
    if (i < 0)
        return TPgxEvResult::Error(PgxFmt(SpgxExpUnknownFunction, {name}));
    TPgxFiFo none;
    return entries_[size_t(i)].second->Value(none);
}

TPgxEvElement *TPgxEvEnvironment::GetConstant(std::string_view name) const
{
    const int i = Find(name);
    return i < 0 ? nullptr : entries_[size_t(i)].second->Peek(0);
}

bool TPgxEvEnvironment::UpdateConstant(std::string_view name, const TPgxEvResult &value)
{
    return SetConstant(GetConstant(name), value);
}

void TPgxEvEnvironment::SetIntegerConstant(TPgxEvElement *element, int32_t value)
{
    if (auto *c = dynamic_cast<TPgxEvElementConstant *>(element))
        c->SetValue(TPgxEvResult::Int(value));
}

void TPgxEvEnvironment::SetFloatConstant(TPgxEvElement *element, double value)
{
    if (auto *c = dynamic_cast<TPgxEvElementConstant *>(element))
        c->SetValue(TPgxEvResult::Double(value));
}

void TPgxEvEnvironment::SetBooleanConstant(TPgxEvElement *element, bool value)
{
    if (auto *c = dynamic_cast<TPgxEvElementConstant *>(element))
        c->SetValue(TPgxEvResult::Bool(value));
}

void TPgxEvEnvironment::SetStringConstant(TPgxEvElement *element, std::string_view text)
{
    if (auto *s = dynamic_cast<TPgxEvElementString *>(element))
        s->SetText(text);
}

bool TPgxEvEnvironment::SetConstant(TPgxEvElement *element, const TPgxEvResult &value)
{
    if (auto *c = dynamic_cast<TPgxEvElementConstant *>(element)) {
        c->SetValue(value);
        return true;
    }
    if (auto *s = dynamic_cast<TPgxEvElementString *>(element); s && value.Kind == resString) {
        s->SetText(value.StringResult);
        return true;
    }
    return false;
}

bool UpdateConstant(TPgxEvElement *element, const TPgxEvResult &value)
{
    return TPgxEvEnvironment::SetConstant(element, value);
}

void TPgxEvEnvironment::Prepare()
{
    if (++count_ != 1)
        return;
    for (size_t i = 0; i < entries_.size(); ++i) // by index: an entry may add to the global list
        PrepareEntry(*entries_[i].second);
}

void TPgxEvEnvironment::Unprepare()
{
    if (global_ && g_unprepareGuard)
        return;
    const bool outer = !g_unprepareGuard;
    g_unprepareGuard = true;
    if (count_ > 0 && --count_ == 0) {
        for (auto &[name, entry] : entries_)
            entry->Evaluator().UnPrepare();
        for (auto &entry : retired_)
            entry->Evaluator().UnPrepare();
        retired_.clear();
    }
    if (outer)
        g_unprepareGuard = false;
}

void TPgxEvEnvironment::Clear()
{
    while (!entries_.empty()) {
        auto entry = std::move(entries_.back().second);
        entries_.pop_back();
        Retire(std::move(entry));
    }
}

std::vector<std::string> TPgxEvEnvironment::Names() const
{
    std::vector<std::string> out;
    for (const auto &[name, entry] : entries_)
        out.push_back(name);
    return out;
}

std::vector<std::string> TPgxEvEnvironment::Data() const
{
    std::vector<std::string> out;
    for (const auto &[name, entry] : entries_)
        out.push_back(entry->Expression());
    return out;
}

void TPgxEvEnvironment::Load(const std::vector<std::string> &names, const std::vector<std::string> &data)
{
    Clear();
    for (size_t i = 0; i < names.size() && i < data.size(); ++i) {
        entries_.emplace_back(names[i], std::make_shared<TPgxEvEmbeddedFunction>(data[i]));
        if (Prepared())
            PrepareEntry(*entries_.back().second);
    }
}

void PgxAddGlobalEntries(TPgxEvEnvironment &env, std::string_view appTitle, const QDateTime &start,
                         const PgxFormatSettings &fs)
{
    const auto quoted = [](std::string_view text) {
        std::string q(1, '\'');
        q.append(text);
        q.push_back('\'');
        return q;
    };
    env.AddFunction("AppStartTime", quoted(PgxFormatDateTime(fs.longTimeFormat, start, fs)));
    env.AddFunction("AppStartDate", quoted(PgxFormatDateTime(fs.shortDateFormat, start, fs)));
    env.AddFunction("AppName", quoted(appTitle));
}

TPgxEvEnvironment &PgxGlobalEnvironment()
{
    // Lives as long as the process, so no evaluator outlives it at shut-down.
    static TPgxEvEnvironment *global = [] {
        auto *env = new TPgxEvEnvironment;
        env->global_ = true;
        PgxAddGlobalEntries(*env, QCoreApplication::applicationName().toStdString(),
                            QDateTime::currentDateTime(), PgxCurrentFormat());
        return env;
    }();
    return *global;
}

} // namespace strandel::report
