#include "report/stored/extra.h"

#include <vector>

#include <QCoreApplication>
#include <QFile>

#include "report/bands/owner.h"
#include "report/bands/pagorra.h"
#include "report/base/strings.h"
#include "report/output/printer.h"
#include "report/pages/metafile.h"
#include "report/stored/formclasses.h"

namespace strandel {

namespace {

// The forms PgxLoadReport made; they live until their report is freed or the application ends.
std::vector<std::unique_ptr<TPgxOwner>> &LoadedForms()
{
    static std::vector<std::unique_ptr<TPgxOwner>> forms;
    return forms;
}

void FreeLoadedForms()
{
    std::vector<std::unique_ptr<TPgxOwner>> gone;
    gone.swap(LoadedForms());
}

// Handles events until the printer's preview is closed; a program that quits meanwhile closes
// it, since the printer goes once this returns.
void WhilePreviewShows(TPgxPrinter &printer)
{
    if (!printer.WaitWhilePreviewShows())
        printer.CloseShownPreview();
}

} // namespace

TPagorra *PgxLoadReport(const QString &fileName, QString *error)
{
    auto fail = [&](const QString &why) -> TPagorra * {
        if (error)
            *error = why;
        PgxShowMessage(QString::fromStdString(report::PgxLoadStr(report::SpgxErrorLoading)));
        return nullptr;
    };
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return fail(f.errorString());
    if (f.size() > PgxFormMaxBytes)
        return fail(QStringLiteral("a stored report form larger than %1 bytes").arg(PgxFormMaxBytes));
    const QByteArray text = f.read(PgxFormMaxBytes + 1);
    if (f.error() != QFileDevice::NoError)
        return fail(f.errorString());
    auto form = std::make_unique<TPgxOwner>();
    QString why;
    if (!PgxReadReportForm(text, *form, &why))
        return fail(why); // the form goes with what it read
    if (error)
        error->clear();
    auto *report = form->ComponentCount() > 0 ? dynamic_cast<TPagorra *>(form->ComponentAt(0).report) : nullptr;
    if (!report)
        return nullptr; // a form without a report first is no report: freed, no message
    if (LoadedForms().empty() && QCoreApplication::instance())
        qAddPostRoutine(FreeLoadedForms); // before the application's own services go
    LoadedForms().push_back(std::move(form));
    return report;
}

void PgxFreeReport(TPagorra *report)
{
    auto &forms = LoadedForms();
    for (auto it = forms.begin(); it != forms.end(); ++it)
        if (report && (*it)->Owns(report)) {
            std::unique_ptr<TPgxOwner> gone = std::move(*it);
            forms.erase(it);
            return;
        }
}

bool StrInMetafile(const QString &text, const TPgxMetafile *page, bool caseSensitive)
{
    if (!page || text.isEmpty())
        return false;
    // Each search keeps its own state, so a search started while another runs needs no wait.
    const QString wanted = caseSensitive ? text : text.toUpper();
    bool found = false;
    page->ForEachText([&](const QString &t) {
        found = (caseSensitive ? t : t.toUpper()).contains(wanted);
        return !found;
    });
    return found;
}

// ---- print job

bool TPgxPrintJob::Preview()
{
    TPgxPrinter printer;
    printer.SetDestination(TPgxPrinterDestination::pgxdMetafile);
    if (!printer.Preview())
        return false;
    QCoreApplication::processEvents();
    CreateOutput(&printer);
    WhilePreviewShows(printer);
    return true;
}

void TPgxPrintJob::Print()
{
    TPgxPrinter printer;
    if (PrintDeviceFactory)
        printer.SetPrintDevice(PrintDeviceFactory());
    printer.SetDestination(TPgxPrinterDestination::pgxdPrinter);
    CreateOutput(&printer);
}

// ---- saved-report handler

TPgxPHandler::TPgxPHandler() = default;
TPgxPHandler::~TPgxPHandler() = default;

bool TPgxPHandler::SetFilename(const QString &name, QString *error)
{
    if (name == m_fileName)
        return true;
    m_printer.reset();
    auto printer = std::make_unique<TPgxPrinter>();
    m_fileName.clear();
    if (!printer->Load(name, error))
        return false;
    m_fileName = name;
    m_printer = std::move(printer);
    return true;
}

bool TPgxPHandler::Preview()
{
    if (!m_printer || !m_printer->Preview())
        return false;
    WhilePreviewShows(*m_printer);
    return true;
}

bool TPgxPHandler::Print(QString *error)
{
    return m_printer && m_printer->Print(error);
}

} // namespace strandel
