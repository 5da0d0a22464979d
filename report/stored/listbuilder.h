#pragma once
// Builds a ready list report from a data set: one column per field (a caption in the column
// header band, the value in the detail band), a title and a page number. The builder reads the
// data set's fields only; it never opens or moves it.
#include <map>
#include <memory>

#include <QPointer>
#include <QString>
#include <QStringList>

#include "report/pages/textmetrics.h"
#include "report/pages/units.h"

namespace strandel {

class TCustomPagorra;
class TPgxOwner;
namespace report {
class PgxDataSet;
}

class TPgxBuilder
{
public:
    explicit TPgxBuilder(TPgxOwner *owner);
    virtual ~TPgxBuilder();
    TPgxBuilder(const TPgxBuilder &) = delete;
    TPgxBuilder &operator=(const TPgxBuilder &) = delete;

    TPgxOwner *Owner() const { return m_owner; }
    bool Active() const { return m_active; }
    // True builds the framework and holds the report; false frees a report the builder holds
    // (one its owner still has).
    virtual bool SetActive(bool value);
    // The font of what the builder makes.
    TPgxFont Font;
    TPgxOrientation Orientation() const { return m_orientation; }
    // While active the report's page turns too.
    virtual void SetOrientation(TPgxOrientation value);
    const QString &Title() const { return m_title; }
    // While active the report's title changes too.
    virtual void SetTitle(const QString &value);
    // The report to add to (set it before activating), or the one built.
    TCustomPagorra *Report() const { return m_report.data(); }
    void SetReport(TCustomPagorra *report);
    // Hands the report over to the caller when active; nothing otherwise.
    TCustomPagorra *FetchReport();
    // The base without its first character, numbered from 1 per base.
    QString NewName(const QString &base);
    // Names every unnamed component of the report's owner (the report's own parts without one)
    // after its class, without the first character, with the smallest free number.
    void RenameObjects();
    virtual void BuildFramework();

    // Why the last activation failed.
    const QString &LastError() const { return m_error; }

protected:
    void FreeReport();
    TPgxOwner *m_owner;
    QPointer<TCustomPagorra> m_report;
    // A report built without an owner is held here until fetched.
    std::unique_ptr<TCustomPagorra> m_ownless;
    bool m_active = false;
    bool m_built = false; // the report held was made here
    TPgxOrientation m_orientation = TPgxOrientation::Portrait;
    QString m_title;
    std::map<QString, int> m_nameList;
    QString m_error;
};

class TPgxListBuilder : public TPgxBuilder
{
public:
    explicit TPgxListBuilder(TPgxOwner *owner) : TPgxBuilder(owner) {}

    report::PgxDataSet *DataSet = nullptr;
    // Field names; empty stands for every visible field.
    QStringList Fields;
    void SetFields(const QStringList &fields) { Fields = fields; }
    void AddAllFields();
    // Fields of the last build whose names no expression can reference (a ']' in them).
    QStringList LeftOut;

    // Without a data set nothing is built. False when a field of the list names no field of
    // the data set (LastError says which); the report held is then as the framework left it.
    bool SetActive(bool value) override;
    bool BuildList();
};

// Builds a list report of the data set's fields (all visible ones, or those listed) into the
// report given, or into a new one of the owner when report is null; on success report holds
// it, and error names the fields no expression could reference, if any. On failure nothing is
// left behind: a new report is freed, a report given is unchanged, report keeps its value and
// error says why.
bool PgxCreateList(TCustomPagorra *&report, TPgxOwner *owner, report::PgxDataSet *dataSet, const QString &title,
                   const QStringList *fields, QString *error = nullptr);

} // namespace strandel
