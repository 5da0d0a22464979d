#pragma once
// Export filters receive a report's pages as text and graphics and write another file format.
// The library lists the filter kinds the save dialog offers beside the report file itself.
#include <functional>
#include <memory>
#include <vector>

#include <QRgb>
#include <QString>

#include "report/pages/metafile.h"

namespace strandel {

class TPgxCustomBand;
class TPgxPrintable;

enum class PgxAlignment { LeftJustify, RightJustify, Center };

class TPgxExportFilter
{
public:
    explicit TPgxExportFilter(const QString &fileName) : FileName(fileName) {}
    virtual ~TPgxExportFilter() = default;

    virtual QString GetDescription();
    virtual QString GetExtension();
    virtual QString GetFilterName();
    virtual QString GetVendorName();
    virtual bool GetStreaming();
    virtual void Start(double paperWidth, double paperHeight, const PgxFont &font);
    virtual void EndPage() {}
    virtual void Finish();
    virtual void NewPage() {}
    virtual void AcceptGraphic(double xOffset, double yOffset, TPgxPrintable *control);
    virtual void AcceptBand(TPgxCustomBand *band, double xOffset, double yOffset, double expandedHeight);
    virtual void TextOut(double x, double y, const PgxFont &font, QRgb background, PgxAlignment alignment,
                         const QString &text);

    bool Active = false;
    QString FileName;
    int32_t Reserved = 0;
};

// Makes a filter of one kind for a file name; stands for the filter's class.
using TPgxExportFilterClass = std::function<std::unique_ptr<TPgxExportFilter>(const QString &fileName)>;

template <class T>
TPgxExportFilterClass PgxFilterClass()
{
    return [](const QString &fileName) { return std::make_unique<T>(fileName); };
}

struct TPgxExportFilterLibraryEntry {
    TPgxExportFilterClass FilterClass;
    QString FilterName;
    QString Extension;
};

class TPgxExportFilterLibrary
{
public:
    void AddFilter(const TPgxExportFilterClass &filterClass);
    void RemoveFilter(const TPgxExportFilterClass &filterClass);
    // "Pagorra file(*.Pgx)|*.Pgx", then "|name (*.ext)|*.ext" for every entry in order: filter
    // index 1 is the report file, index k + 2 entry k.
    QString GetSaveDialogFilter() const;
    const std::vector<TPgxExportFilterLibraryEntry> &Filters() const { return m_entries; }

private:
    std::vector<TPgxExportFilterLibraryEntry> m_entries;
};

// The one library of the process.
TPgxExportFilterLibrary &PgxExportFilterLibrary();

} // namespace strandel
