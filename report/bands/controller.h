#pragma once
// Controllers decide the order bands print in: for each record (or each turn a data event
// grants) the group headers whose value changed, the detail, then the group footers; around it
// all the controller's header and footer. Groups break on expressions.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "report/bands/band.h"
#include "report/expr/expr.h"

namespace strandel {

namespace report {
class PgxDataSet;
}

class TPgxGroup;
class TPgxControllerBand;

// Controllers hang under a master: the report, another controller or a controller band. The
// master names the anchor of the controller it hangs under.
class TPgxCustomController : public TPgxComponent
{
public:
    // A report's own controller: the report is its anchor.
    explicit TPgxCustomController(TCustomPagorra *report);
    // A controller band's: the band creates it and is its anchor.
    explicit TPgxCustomController(TPgxControllerBand *band);
    ~TPgxCustomController() override = default;

    bool PrintIfEmpty = true;
    bool PrintBefore = false;

    TCustomPagorra *ParentReport() const { return m_report; }
    void SetParentReport(TCustomPagorra *report) { m_report = report; }
    // What other controllers and groups name as their master to hang under this one.
    TPgxComponent *Anchor() const { return m_anchor; }
    void SetAnchor(TPgxComponent *anchor) { m_anchor = anchor ? anchor : this; }
    // The controller band that created this controller becomes its anchor.
    void SetCreatorBand(TPgxControllerBand *band);
    TPgxControllerBand *CreatorBand() const { return m_band; }
    TPgxComponent *Master() const { return m_master; }
    // Only a report, a controller or a controller band, and never itself; nil clears.
    bool SetMaster(TPgxComponent *master);
    const std::vector<TPgxGroup *> &Groups() const { return m_groups; }
    const std::vector<TPgxCustomController *> &BeforeList() const { return m_before; }
    const std::vector<TPgxCustomController *> &AfterList() const { return m_after; }
    void AddBefore(TPgxCustomController *c) { m_before.push_back(c); }
    void AddAfter(TPgxCustomController *c) { m_after.push_back(c); }
    // A printable registers once, however many runs it is prepared for.
    void AddNotifyClient(TPgxPrintable *p)
    {
        if (std::find(m_notify.begin(), m_notify.end(), p) == m_notify.end())
            m_notify.push_back(p);
    }
    void RemoveNotifyClient(TPgxPrintable *p);
    void NotifyClients(TPgxNotifyOperation op);

    // Collects the controllers and groups that hang under this one's anchor, in the order the
    // report holds its bands, and builds their trees in turn.
    virtual void BuildTree();
    virtual void RegisterBands() {}
    virtual void RegisterDatasets() {}
    virtual void Prepare();
    virtual void Unprepare();
    virtual void Execute();
    virtual void PrintEmptyController();
    void PrintBeforeControllers();
    void PrintAfterControllers();
    // The value the band's variable shows for the current turn (an error: no variable).
    virtual report::TPgxEvResult LocalVarValue() const;
    void UpdateLocalVar();

    bool CheckGroups();
    void NewPageCheckGroups();
    void PrintGroupHeaders();
    void PrintGroupFooters();
    void CheckLastGroupFooters();

protected:
    // Prints a band through the report (a missing band is skipped).
    void PrintBand(TPgxCustomBand *band);
    // Registers the controllers printed before, the band, then those printed after.
    void RegisterAroundBand(TPgxCustomBand *band);
    // The report or its printer was cancelled.
    bool RunCancelled() const;

    TCustomPagorra *m_report;
    TPgxControllerBand *m_band = nullptr;
    TPgxComponent *m_anchor;
    TPgxComponent *m_master = nullptr;
    std::vector<TPgxCustomController *> m_before, m_after;
    std::vector<TPgxGroup *> m_groups;
    std::vector<TPgxPrintable *> m_notify;
    report::TPgxEvElement *m_localVar = nullptr;
    bool m_building = false;
};

// Prints its detail once per record of a data set, or once per turn OnNeedData grants.
class TPgxController : public TPgxCustomController
{
public:
    using TPgxCustomController::TPgxCustomController;

    report::PgxDataSet *DataSet = nullptr;
    void SetDataSet(report::PgxDataSet *ds) { DataSet = ds; }
    TPgxCustomBand *HeaderBand = nullptr, *DetailBand = nullptr, *FooterBand = nullptr;
    std::function<void(bool &moreData)> OnNeedData;
    int DetailNumber() const { return m_detailNumber; }

    void RegisterBands() override;
    void RegisterDatasets() override;
    void Prepare() override;
    void Execute() override;
    void PrintEmptyController() override;

private:
    int m_detailNumber = 0;
    bool m_paramQuery = false;
};

// A band that opens a group: printed when its expression's value changes, its footer band
// printed when the group closes.
class TPgxGroup : public TPgxCustomBand
{
public:
    TPgxGroup() : TPgxCustomBand(TPgxBandType::rbGroupHeader) {}
    bool TakesBandType(TPgxBandType type) const override { return type == TPgxBandType::rbGroupHeader; }

    std::string Expression;
    bool ReprintOnNewPage = false;
    // The report or a controller band; other kinds are refused.
    TPgxComponent *Master() const { return m_master; }
    bool SetMaster(TPgxComponent *master);
    TPgxCustomBand *FooterBand() const { return m_footer; }
    void SetFooterBand(TPgxCustomBand *band);

    void PrepareGroup();
    void UnprepareGroup();
    bool Check();
    bool NewPageCheck();
    void MarkBroken(); // evaluates afresh and breaks, for an inner group of a broken one
    void PrintGroupHeader();
    void PrintGroupFooter();

    bool Broken() const { return m_break; }
    void SetBroken(bool b) { m_break = b; }
    void ClearValue() { m_hasValue = false; }

private:
    report::TPgxEvaluator m_eval;
    TPgxCustomBand *m_footer = nullptr;
    TPgxComponent *m_master = nullptr;
    report::TPgxEvResult m_last;
    bool m_break = false, m_hasValue = false, m_open = false;
    int m_page = 1;
};

} // namespace strandel
