#pragma once
// Bands that bring their own controller and so repeat under a master: a sub-detail once per
// record of its own data set, a loop band a fixed number of times, a strings band once per line.
// Loop and strings bands publish the current turn to expressions as a variable named like the
// band.
#include <memory>
#include <QStringList>

#include "report/bands/controller.h"

namespace strandel {

class TPgxControllerBand : public TPgxCustomBand, public TPgxComponent
{
public:
    ~TPgxControllerBand() override;

    TPgxCustomController *Controller() const { return m_ctl.get(); }
    TPgxComponent *Master() const { return m_master; }
    // Refused (false) for the band itself and for a chain of masters that comes back to it.
    bool SetMaster(TPgxComponent *master);

    bool PrintBefore() const { return m_ctl->PrintBefore; }
    void SetPrintBefore(bool value);

    void SetName(const QString &name) override;
    bool TakesBandType(TPgxBandType type) const override { return type == TPgxBandType::rbSubDetail; }
    void SetParentReport(TCustomPagorra *report) override;
    // The expression the band's variable starts from; empty: the band publishes none.
    virtual std::string LocalVarExpression() const { return {}; }
    bool HasLocalVar() const { return m_localVar; }
    void CreateLocalVar();
    void RemoveLocalVar();

protected:
    // Subclasses pass the controller they drive the band with.
    TPgxControllerBand(std::unique_ptr<TPgxCustomController> controller, TPgxBandType type);

    std::unique_ptr<TPgxCustomController> m_ctl;

private:
    TPgxComponent *m_master = nullptr;
    bool m_localVar = false;
};

class TPgxSubDetail;

// Whether a sub-detail has its header and footer bands; setting creates or frees them.
class TPgxSubDetailGroupBands
{
public:
    explicit TPgxSubDetailGroupBands(TPgxSubDetail &owner) : m_owner(owner) {}
    bool HasHeader() const;
    bool HasFooter() const;
    void SetHasHeader(bool value);
    void SetHasFooter(bool value);

private:
    TPgxSubDetail &m_owner;
};

// Prints once per record of its own data set inside each turn of its master, between optional
// header and footer bands.
class TPgxSubDetail : public TPgxControllerBand
{
public:
    TPgxSubDetail();

    TPgxController *DataController() const { return static_cast<TPgxController *>(m_ctl.get()); }
    report::PgxDataSet *DataSet() const { return DataController()->DataSet; }
    void SetDataSet(report::PgxDataSet *ds);
    bool PrintIfEmpty() const { return m_ctl->PrintIfEmpty; }
    void SetPrintIfEmpty(bool value) { m_ctl->PrintIfEmpty = value; }
    std::function<void(bool &moreData)> &OnNeedData() { return DataController()->OnNeedData; }

    TPgxCustomBand *HeaderBand() const { return DataController()->HeaderBand; }
    TPgxCustomBand *FooterBand() const { return DataController()->FooterBand; }
    // The band becomes a group header or footer.
    void SetHeaderBand(TPgxCustomBand *band);
    void SetFooterBand(TPgxCustomBand *band);
    bool HasHeader() const { return HeaderBand() != nullptr; }
    bool HasFooter() const { return FooterBand() != nullptr; }
    // True has the report create the band (once); false frees it.
    void SetHasHeader(bool value);
    void SetHasFooter(bool value);
    TPgxSubDetailGroupBands &Bands() { return m_groupBands; }
    void AddNotifyClient(TPgxPrintable *p) { m_ctl->AddNotifyClient(p); }

private:
    TPgxSubDetailGroupBands m_groupBands{*this};
};

// Counts 0 .. PrintCount - 1 and prints its band once per count.
class TPgxLoopController : public TPgxCustomController
{
public:
    using TPgxCustomController::TPgxCustomController;
    int PrintCount = 0;
    int Count() const { return m_count; }
    void RegisterBands() override;
    void Execute() override;
    report::TPgxEvResult LocalVarValue() const override;

private:
    int m_count = 0;
};

class TPgxLoopBand : public TPgxControllerBand
{
public:
    TPgxLoopBand();
    QString BandTypeName() const override;
    int PrintCount() const { return Loop()->PrintCount; }
    void SetPrintCount(int n) { Loop()->PrintCount = n; }
    int GetCount() const { return Loop()->Count(); }
    std::string LocalVarExpression() const override { return std::to_string(GetCount()); }

private:
    TPgxLoopController *Loop() const { return static_cast<TPgxLoopController *>(m_ctl.get()); }
};

// Prints its band once per line of its list.
class TPgxStringsController : public TPgxCustomController
{
public:
    using TPgxCustomController::TPgxCustomController;
    QStringList Items;
    int Index() const { return m_index; }
    void RegisterBands() override;
    void Execute() override;
    report::TPgxEvResult LocalVarValue() const override;

private:
    int m_index = -1;
};

class TPgxStringsBand : public TPgxControllerBand
{
public:
    TPgxStringsBand();
    QString BandTypeName() const override;
    const QStringList &Items() const { return Strings()->Items; }
    void SetItems(const QStringList &items) { Strings()->Items = items; }
    int GetIndex() const { return Strings()->Index(); }
    // The current line; empty outside a run.
    QString GetItem() const;
    std::string LocalVarExpression() const override { return "''"; }

private:
    TPgxStringsController *Strings() const { return static_cast<TPgxStringsController *>(m_ctl.get()); }
};

// Default component names of the two kinds the band table does not hold.
QString PgxLoopBandComponentName();
QString PgxStringsBandComponentName();

} // namespace strandel
