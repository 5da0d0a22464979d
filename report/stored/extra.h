#pragma once
// Run-time helpers on top of the report: loading a report kept as a stored form, searching a
// page for a text, a print job whose pages a descendant draws, and a handler that previews or
// prints a saved report file.
#include <functional>
#include <memory>

#include <QString>

#include "report/base/message.h"

namespace strandel {

class TPagorra;
class TPgxMetafile;
class TPgxPrinter;
class TPgxPrintDevice;

// Reads a stored report form into a new form of its own and answers its first component when
// that is a report, else nothing. A file that cannot be read or is no stored form shows "Error
// loading report" and answers nothing; error (when given) says what was wrong.
TPagorra *PgxLoadReport(const QString &fileName, QString *error = nullptr);
// Frees a report that PgxLoadReport answered, with its form; anything else is left alone.
void PgxFreeReport(TPagorra *report);

// True when some text drawn on the page contains text; without case sensitivity both are
// compared upper-cased. An empty text is never found.
bool StrInMetafile(const QString &text, const TPgxMetafile *page, bool caseSensitive);

// Output drawn by a descendant onto a report printer of its own.
class TPgxPrintJob
{
public:
    virtual ~TPgxPrintJob() = default;
    // Previews the output: the printer's preview shows while CreateOutput draws, and the call
    // returns once the preview was closed. False, drawing nothing, when no preview can show.
    bool Preview();
    // Sends the output to the print device that PrintDeviceFactory makes.
    void Print();
    virtual void CreateOutput(TPgxPrinter *printer) { (void)printer; }
    std::function<std::unique_ptr<TPgxPrintDevice>()> PrintDeviceFactory;
};

// Previews or prints a saved report file.
class TPgxPHandler
{
public:
    TPgxPHandler();
    ~TPgxPHandler();
    const QString &Filename() const { return m_fileName; }
    TPgxPrinter *Printer() const { return m_printer.get(); }
    // Loads the file into a printer of its own when the name changes. A file that cannot be
    // loaded leaves no printer and no name (so the same name may be tried again) and answers
    // false with the reason.
    bool SetFilename(const QString &name, QString *error = nullptr);
    // Nothing (false) without a loaded file or a preview to show it. Preview returns once the
    // preview was closed.
    bool Preview();
    bool Print(QString *error = nullptr);

private:
    QString m_fileName;
    std::unique_ptr<TPgxPrinter> m_printer;
};

} // namespace strandel
