#pragma once
// Controllers decide the order bands print in: for each record (or each turn a data event
// grants) the group headers whose value changed, the detail, then the group footers; around it
// all the controller's header and footer. Groups break on expressions.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "report/band.h"
#include "report/expr.h"

namespace strandel {

namespace report {
class PgxDataSet;
}

class TPgxGroup;

class TPgxCustomController
{
public:
    explicit TPgxCustomController(TCustomPagorra *report) : m_report(report) {}
    virtual ~TPgxCustomController() = default;

    bool PrintIfEmpty = true;
    bool PrintBefore = false;

    TCustomPagorra *ParentReport() const { return m_report; }
    const std::vector<TPgxGroup *> &Groups() const { return m_groups; }
    // A printable registers once, however many runs it is prepared for.
    void AddNotifyClient(TPgxPrintable *p)
    {
        if (std::find(m_notify.begin(), m_notify.end(), p) == m_notify.end())
            m_notify.push_back(p);
    }
    void RemoveNotifyClient(TPgxPrintable *p) { std::erase(m_notify, p); }
    void NotifyClients(TPgxNotifyOperation op);

    // Collects the report's groups, outermost (first created) first.
    virtual void BuildTree();
    virtual void RegisterBands() {}
    virtual void Prepare();
    virtual void Unprepare();
    virtual void Execute();
    virtual void PrintEmptyController() {}

    bool CheckGroups();
    void NewPageCheckGroups();
    void PrintGroupHeaders();
    void PrintGroupFooters();
    void CheckLastGroupFooters();

protected:
    TCustomPagorra *m_report;
    std::vector<TPgxGroup *> m_groups;
    std::vector<TPgxPrintable *> m_notify;
};

// Prints its detail once per record of a data set, or once per turn OnNeedData grants.
class TPgxController : public TPgxCustomController
{
public:
    using TPgxCustomController::TPgxCustomController;

    report::PgxDataSet *DataSet = nullptr;
    TPgxCustomBand *HeaderBand = nullptr, *DetailBand = nullptr, *FooterBand = nullptr;
    std::function<void(bool &moreData)> OnNeedData;
    int DetailNumber() const { return m_detailNumber; }

    void RegisterBands() override;
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

    std::string Expression;
    bool ReprintOnNewPage = false;
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
    report::TPgxEvResult m_last;
    bool m_break = false, m_hasValue = false, m_open = false;
    int m_page = 1;
};

} // namespace strandel
