#pragma once
// What holds a report's components: a form or a data module. It owns reports, data sets and
// nested containers (a windowed control that owns components of its own), frees them with
// itself, and answers names: bands and printables of its reports count as its components too.
#include <functional>
#include <memory>
#include <vector>

#include <QString>

namespace strandel {

class TCustomPagorra;
class TPgxCustomBand;
class TPgxPrintable;

namespace report {
class PgxDataSet;
}

class TPgxOwner
{
public:
    TPgxOwner() = default;
    explicit TPgxOwner(QString name) : Name(std::move(name)) {}
    // Frees the components last first.
    virtual ~TPgxOwner();
    TPgxOwner(const TPgxOwner &) = delete;
    TPgxOwner &operator=(const TPgxOwner &) = delete;

    QString Name;

    // One owned component; exactly one of the three pointers is set.
    struct Component {
        QString className;
        TCustomPagorra *report = nullptr;
        report::PgxDataSet *dataSet = nullptr;
        TPgxOwner *container = nullptr;
        std::shared_ptr<void> holder; // owns the object
        QString ComponentName() const;
    };

    TCustomPagorra *AddReport(std::unique_ptr<TCustomPagorra> report, const QString &className);
    report::PgxDataSet *AddDataSet(std::unique_ptr<report::PgxDataSet> dataSet, const QString &className);
    TPgxOwner *AddContainer(std::unique_ptr<TPgxOwner> container, const QString &className);

    int ComponentCount() const { return int(m_components.size()); }
    const Component &ComponentAt(int index) const { return m_components[size_t(index)]; }
    // Whether the object is one of this owner's own components.
    bool Owns(const void *object) const;
    // Frees one own component; false (and nothing freed) when it is not one.
    bool Free(const void *object);
    // Takes over every component of another owner, after its own.
    void Adopt(TPgxOwner &from);
    // Takes one own component out without freeing it.
    std::shared_ptr<void> Release(const void *object);

    // Any component of this owner, of its reports (bands, printables) or of its containers, by
    // name without regard to case.
    bool FindComponent(const QString &name) const;

    // Calls f with every band and printable of the owner's reports, in report, band and
    // placing order; printables on a report itself come last, with no band.
    void ForEachReportPart(const std::function<void(TPgxCustomBand *, TPgxPrintable *)> &f) const;

private:
    std::vector<Component> m_components;
};

// Name followed by the smallest decimal number n >= 1 that names no component of the owner.
QString UniqueName(const TPgxOwner &owner, const QString &base);

// The data modules of the application, in creation order; a data module registers itself for
// its lifetime.
std::vector<TPgxOwner *> &PgxDataModules();
class TPgxDataModule : public TPgxOwner
{
public:
    explicit TPgxDataModule(QString name = {});
    ~TPgxDataModule() override;
};

struct TPgxNamedDataSet {
    QString Name;
    report::PgxDataSet *DataSet = nullptr;
};
// Every data set of a form: its own components in index order, descending into containers;
// with includeDataModules also the data sets owned directly by each data module.
std::vector<TPgxNamedDataSet> AllDataSets(const TPgxOwner *form, bool includeDataModules);

} // namespace strandel
