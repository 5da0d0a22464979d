#include "report/bands/owner.h"

#include <algorithm>

#include "report/bands/pagorra.h"
#include "report/data/dataset.h"

namespace strandel {

QString TPgxOwner::Component::ComponentName() const
{
    if (report)
        return report->objectName();
    if (dataSet)
        return QString::fromStdString(dataSet->Name());
    return container ? container->Name : QString();
}

TPgxOwner::~TPgxOwner()
{
    while (!m_components.empty())
        m_components.pop_back();
}

TCustomPagorra *TPgxOwner::AddReport(std::unique_ptr<TCustomPagorra> report, const QString &className)
{
    Component c;
    c.className = className;
    c.report = report.get();
    c.holder = std::shared_ptr<TCustomPagorra>(std::move(report));
    m_components.push_back(std::move(c));
    return m_components.back().report;
}

report::PgxDataSet *TPgxOwner::AddDataSet(std::unique_ptr<report::PgxDataSet> dataSet, const QString &className)
{
    Component c;
    c.className = className;
    c.dataSet = dataSet.get();
    c.holder = std::shared_ptr<report::PgxDataSet>(std::move(dataSet));
    m_components.push_back(std::move(c));
    return m_components.back().dataSet;
}

TPgxOwner *TPgxOwner::AddContainer(std::unique_ptr<TPgxOwner> container, const QString &className)
{
    Component c;
    c.className = className;
    c.container = container.get();
    c.holder = std::shared_ptr<TPgxOwner>(std::move(container));
    m_components.push_back(std::move(c));
    return m_components.back().container;
}

void TPgxOwner::Adopt(TPgxOwner &from)
{
    for (Component &c : from.m_components)
        m_components.push_back(std::move(c));
    from.m_components.clear();
}

bool TPgxOwner::Owns(const void *object) const
{
    return object && std::any_of(m_components.begin(), m_components.end(),
                                 [&](const Component &c) { return c.holder.get() == object; });
}

std::shared_ptr<void> TPgxOwner::Release(const void *object)
{
    for (auto it = m_components.begin(); it != m_components.end(); ++it)
        if (object && it->holder.get() == object) {
            std::shared_ptr<void> h = std::move(it->holder);
            m_components.erase(it);
            return h;
        }
    return {};
}

bool TPgxOwner::Free(const void *object)
{
    std::shared_ptr<void> h = Release(object);
    return h != nullptr; // the last holder goes here
}

void TPgxOwner::ForEachReportPart(const std::function<void(TPgxCustomBand *, TPgxPrintable *)> &f) const
{
    for (const Component &c : m_components) {
        if (!c.report)
            continue;
        for (TPgxCustomBand *b : c.report->AllBands()) {
            f(b, nullptr);
            for (const auto &p : b->Printables())
                f(b, p.get());
        }
        for (const auto &p : c.report->Printables())
            f(nullptr, p.get());
    }
}

bool TPgxOwner::FindComponent(const QString &name) const
{
    if (name.isEmpty())
        return false;
    auto same = [&](const QString &n) { return n.compare(name, Qt::CaseInsensitive) == 0; };
    for (const Component &c : m_components) {
        if (same(c.ComponentName()))
            return true;
        if (c.container && c.container->FindComponent(name))
            return true;
    }
    bool found = false;
    ForEachReportPart([&](TPgxCustomBand *b, TPgxPrintable *p) {
        if (!found)
            found = p ? same(p->Name) : b && same(b->Name());
    });
    return found;
}

QString UniqueName(const TPgxOwner &owner, const QString &base)
{
    for (long long n = 1;; ++n) {
        QString name = base + QString::number(n);
        if (!owner.FindComponent(name))
            return name;
    }
}

std::vector<TPgxOwner *> &PgxDataModules()
{
    static std::vector<TPgxOwner *> modules;
    return modules;
}

TPgxDataModule::TPgxDataModule(QString name) : TPgxOwner(std::move(name))
{
    PgxDataModules().push_back(this);
}

TPgxDataModule::~TPgxDataModule()
{
    auto &m = PgxDataModules();
    m.erase(std::remove(m.begin(), m.end(), this), m.end());
}

namespace {

void Walk(const TPgxOwner &owner, std::vector<TPgxNamedDataSet> &out, int depth)
{
    // Containers nest as deep as a form's controls do; a loop of containers cannot be built
    // (each is owned once), but a bound keeps a hand-made cycle from running away.
    if (depth > 64)
        return;
    for (int i = 0; i < owner.ComponentCount(); ++i) {
        const TPgxOwner::Component &c = owner.ComponentAt(i);
        if (c.dataSet)
            out.push_back({QString::fromStdString(c.dataSet->Name()), c.dataSet});
        else if (c.container)
            Walk(*c.container, out, depth + 1);
    }
}

} // namespace

std::vector<TPgxNamedDataSet> AllDataSets(const TPgxOwner *form, bool includeDataModules)
{
    std::vector<TPgxNamedDataSet> out;
    if (form)
        Walk(*form, out, 0);
    if (includeDataModules)
        for (TPgxOwner *m : PgxDataModules())
            for (int i = 0; i < m->ComponentCount(); ++i)
                if (report::PgxDataSet *ds = m->ComponentAt(i).dataSet)
                    out.push_back({QString::fromStdString(ds->Name()), ds});
    return out;
}

} // namespace strandel
