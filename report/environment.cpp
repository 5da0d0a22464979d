#include "report/environment.h"

#include <QCoreApplication>

#include "report/dataset.h"
#include "report/format.h"
#include "report/strings.h"

namespace strandel::report {
namespace {

bool g_unprepareGuard = false;

} // namespace

PgxEvElement *PgxEvEmbeddedFunction::Peek(size_t index) const
{
    const PgxFiFo *q = evaluator_.Queue();
    return q ? q->At(index) : nullptr;
}

PgxEvResult PgxEvEmbeddedFunction::Value(PgxFiFo &)
{
    PgxEvalDepth depth;
    if (busy_ || depth.TooDeep())
        return PgxEvResult::Error(PgxLoadStr(SpgxExpRecursive));
    busy_ = true;
    try {
        PgxEvResult r = evaluator_.Value();
        busy_ = false;
        return r;
    } catch (...) {
        busy_ = false;
        throw;
    }
}

PgxEvEnvironment::~PgxEvEnvironment()
{
    // Break the references of entries that reach themselves; entries held elsewhere stay alive.
    for (auto &[name, entry] : entries_)
        if (entry.use_count() > 1)
            entry->Evaluator().UnPrepare();
    for (auto &entry : retired_)
        entry->Evaluator().UnPrepare();
}

int PgxEvEnvironment::Find(std::string_view name) const
{
    for (size_t i = 0; i < entries_.size(); ++i)
        if (PgxSameName(entries_[i].first, name))
            return int(i);
    return -1;
}

void PgxEvEnvironment::PrepareEntry(PgxEvEmbeddedFunction &entry)
{
    PgxEvaluator &ev = entry.Evaluator();
    ev.Datasets = Datasets;
    ev.Environment = this;
    ev.Prepare(entry.Expression());
}

void PgxEvEnvironment::Retire(std::shared_ptr<PgxEvEmbeddedFunction> entry)
{
    if (entry.use_count() > 1 && entry->Evaluator().Prepared())
        retired_.push_back(std::move(entry));
}

void PgxEvEnvironment::AddFunction(std::string_view name, std::string_view expression)
{
    if (Find(name) >= 0)
        return;
    entries_.emplace_back(PgxUpperAscii(name), std::make_shared<PgxEvEmbeddedFunction>(std::string(expression)));
    if (Prepared())
        PrepareEntry(*entries_.back().second);
}

void PgxEvEnvironment::DeleteFunction(std::string_view name)
{
    const int i = Find(name);
    if (i < 0)
        return;
    auto entry = std::move(entries_[size_t(i)].second);
    entries_.erase(entries_.begin() + i);
    Retire(std::move(entry));
}

std::unique_ptr<PgxEvElement> PgxEvEnvironment::Element(std::string_view name) const
{
    const int i = Find(name);
    if (i < 0)
        return std::make_unique<PgxEvElementError>(PgxFmt(SpgxExpUnknownFunction, {name}));
    return std::make_unique<PgxEvElementWrapper>(entries_[size_t(i)].second);
}

PgxEvResult PgxEvEnvironment::Value(std::string_view name)
{
    const int i = Find(name);
    if (i < 0)
        return PgxEvResult::Error(PgxFmt(SpgxExpUnknownFunction, {name}));
    PgxFiFo none;
    return entries_[size_t(i)].second->Value(none);
}

PgxEvElement *PgxEvEnvironment::GetConstant(std::string_view name) const
{
    const int i = Find(name);
    return i < 0 ? nullptr : entries_[size_t(i)].second->Peek(0);
}

bool PgxEvEnvironment::UpdateConstant(std::string_view name, const PgxEvResult &value)
{
    return SetConstant(GetConstant(name), value);
}

void PgxEvEnvironment::SetIntegerConstant(PgxEvElement *element, int32_t value)
{
    if (auto *c = dynamic_cast<PgxEvElementConstant *>(element))
        c->SetValue(PgxEvResult::Int(value));
}

void PgxEvEnvironment::SetFloatConstant(PgxEvElement *element, double value)
{
    if (auto *c = dynamic_cast<PgxEvElementConstant *>(element))
        c->SetValue(PgxEvResult::Double(value));
}

void PgxEvEnvironment::SetBooleanConstant(PgxEvElement *element, bool value)
{
    if (auto *c = dynamic_cast<PgxEvElementConstant *>(element))
        c->SetValue(PgxEvResult::Bool(value));
}

void PgxEvEnvironment::SetStringConstant(PgxEvElement *element, std::string_view text)
{
    if (auto *s = dynamic_cast<PgxEvElementString *>(element))
        s->SetText(text);
}

bool PgxEvEnvironment::SetConstant(PgxEvElement *element, const PgxEvResult &value)
{
    if (auto *c = dynamic_cast<PgxEvElementConstant *>(element)) {
        c->SetValue(value);
        return true;
    }
    if (auto *s = dynamic_cast<PgxEvElementString *>(element); s && value.Kind == resString) {
        s->SetText(value.StringResult);
        return true;
    }
    return false;
}

bool UpdateConstant(PgxEvElement *element, const PgxEvResult &value)
{
    return PgxEvEnvironment::SetConstant(element, value);
}

void PgxEvEnvironment::Prepare()
{
    if (++count_ != 1)
        return;
    for (size_t i = 0; i < entries_.size(); ++i) // by index: an entry may add to the global list
        PrepareEntry(*entries_[i].second);
}

void PgxEvEnvironment::Unprepare()
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

void PgxEvEnvironment::Clear()
{
    while (!entries_.empty()) {
        auto entry = std::move(entries_.back().second);
        entries_.pop_back();
        Retire(std::move(entry));
    }
}

std::vector<std::string> PgxEvEnvironment::Names() const
{
    std::vector<std::string> out;
    for (const auto &[name, entry] : entries_)
        out.push_back(name);
    return out;
}

std::vector<std::string> PgxEvEnvironment::Data() const
{
    std::vector<std::string> out;
    for (const auto &[name, entry] : entries_)
        out.push_back(entry->Expression());
    return out;
}

void PgxEvEnvironment::Load(const std::vector<std::string> &names, const std::vector<std::string> &data)
{
    Clear();
    for (size_t i = 0; i < names.size() && i < data.size(); ++i) {
        entries_.emplace_back(names[i], std::make_shared<PgxEvEmbeddedFunction>(data[i]));
        if (Prepared())
            PrepareEntry(*entries_.back().second);
    }
}

void PgxAddGlobalEntries(PgxEvEnvironment &env, std::string_view appTitle, const QDateTime &start,
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

PgxEvEnvironment &PgxGlobalEnvironment()
{
    // Lives as long as the process, so no evaluator outlives it at shut-down.
    static PgxEvEnvironment *global = [] {
        auto *env = new PgxEvEnvironment;
        env->global_ = true;
        PgxAddGlobalEntries(*env, QCoreApplication::applicationName().toLatin1().toStdString(),
                            QDateTime::currentDateTime(), PgxCurrentFormat());
        return env;
    }();
    return *global;
}

} // namespace strandel::report
