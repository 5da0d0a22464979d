#pragma once
// The classes a stored report form may hold, by name, and the reading and writing of a form's
// components through them. Reports, bands and printables share their common properties (page
// or size "Values", frame, alignment...); each class adds its own through its entry. A
// printable class of another unit registers itself with PgxRegisterPrintableClass.
#include <functional>
#include <memory>
#include <typeindex>

#include <QString>
#include <QStringList>

#include "report/stored/formstream.h"

namespace strandel {

class TCustomPagorra;
class TPgxCustomBand;
class TPgxPrintable;
class TPgxOwner;
namespace report {
class PgxDataSet;
}

// A component being written or read; exactly one pointer is set.
struct TPgxFormObject {
    TCustomPagorra *report = nullptr;
    TPgxCustomBand *band = nullptr;
    TPgxPrintable *printable = nullptr;
    report::PgxDataSet *dataSet = nullptr;
};

enum class TPgxFormKind : uint8_t { Report, Band, Printable, DataSet };

struct TPgxFormClass {
    QString className;
    TPgxFormKind kind = TPgxFormKind::Printable;
    // The C++ type the writer recognises an object by (data sets go by their owner's entry).
    std::type_index type = typeid(void);
    // A new component from its stored node: a report or data set of the owner (parent empty),
    // a band of the parent report, a printable of the parent band or report. Nothing when it
    // cannot be.
    std::function<TPgxFormObject(TPgxOwner &owner, const TPgxFormObject &parent, const TPgxFormNode &node)> create;
    // The class's own properties, after the common ones of its kind.
    std::function<void(const TPgxFormObject &, TPgxFormNode &)> write;
    // One property of the class's own: true when taken; error set when its value is bad.
    std::function<bool(const TPgxFormObject &, const TPgxFormProperty &, QString &error)> read;
    // After every property and nested component was read.
    std::function<void(const TPgxFormObject &)> loaded;
};

// The class an object really is (typeid of a reference, so nothing is evaluated twice).
template <class T> std::type_index PgxDynamicType(const T &object) { return typeid(object); }

// A later registration under the same name replaces the earlier one.
void PgxRegisterFormClass(TPgxFormClass cls);
const TPgxFormClass *PgxFindFormClass(const QString &className);
const TPgxFormClass *PgxFindFormClass(std::type_index type);
// Every registered name, in registration order.
QStringList PgxRegisteredClasses();

// A printable class: made on a band through its default constructor.
template <class T>
void PgxRegisterPrintableClass(const QString &className,
                               std::function<void(const T &, TPgxFormNode &)> write = {},
                               std::function<bool(T &, const TPgxFormProperty &, QString &)> read = {},
                               std::function<void(T &)> loaded = {});

// For a class's read: names a data set that the form or the owner it is read into holds, and
// sets it once everything is read (a data set kept elsewhere is left for the program to set).
// Only while PgxReadReportForm runs on this thread; false otherwise.
bool PgxFormResolveDataSet(const QString &name, std::function<void(report::PgxDataSet *)> set);

// Writes every report and data set of the owner. Components of classes the form cannot store
// are left out and, when leftOut is given, named there; data sets the program made itself stay
// the program's.
QByteArray PgxWriteReportForm(const TPgxOwner &owner, QStringList *leftOut = nullptr);
// Adds the form's components to the owner. On failure the owner is as it was and error says
// why ("line 12: ...").
bool PgxReadReportForm(const QByteArray &text, TPgxOwner &owner, QString *error);
// Refuses, writing nothing, when a component could not be stored.
bool PgxSaveReportForm(const TPgxOwner &owner, const QString &fileName, QString *error = nullptr);

// The stored extra property of text printables: the font size, always written.
inline const QString PgxFontSizeProperty = QStringLiteral("FontSize");

} // namespace strandel

#include "report/bands/pagorra.h"

namespace strandel {

template <class T>
void PgxRegisterPrintableClass(const QString &className, std::function<void(const T &, TPgxFormNode &)> write,
                               std::function<bool(T &, const TPgxFormProperty &, QString &)> read,
                               std::function<void(T &)> loaded)
{
    TPgxFormClass c;
    c.className = className;
    c.kind = TPgxFormKind::Printable;
    c.type = typeid(T);
    c.create = [](TPgxOwner &, const TPgxFormObject &parent, const TPgxFormNode &) {
        TPgxFormObject o;
        if (parent.band)
            o.printable = parent.band->template AddPrintable<T>();
        else if (parent.report)
            o.printable = parent.report->template AddPrintable<T>();
        return o;
    };
    if (write)
        c.write = [write](const TPgxFormObject &o, TPgxFormNode &n) { write(static_cast<const T &>(*o.printable), n); };
    if (read)
        c.read = [read](const TPgxFormObject &o, const TPgxFormProperty &p, QString &e) {
            return read(static_cast<T &>(*o.printable), p, e);
        };
    if (loaded)
        c.loaded = [loaded](const TPgxFormObject &o) { loaded(static_cast<T &>(*o.printable)); };
    PgxRegisterFormClass(std::move(c));
}

} // namespace strandel
