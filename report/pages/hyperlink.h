#pragma once
// Hyperlink areas of a page and how a clicked link is followed. Links leave the program only as
// URLs handed to the desktop; nothing is ever run.
#include <functional>

#include <QString>
#include <QUrl>

#include "report/pages/metafile.h"

namespace strandel {

class THyperlink
{
public:
    THyperlink() = default;
    THyperlink(const PgxRect &rect, const QString &link) : Rect(rect), Link(link) {}
    PgxRect Rect; // page pixels at 100 %
    QString Link;
    bool operator==(const THyperlink &) const = default;
};

// A source takes links that start with its prefix; it gets the sender and the rest of the link.
using TPgxHyperlinkSourceMethod = std::function<void(void *sender, const QString &rest)>;

void RegisterHyperlinkSource(const QString &prefix, TPgxHyperlinkSourceMethod method);
void UnregisterHyperlinkSource(const QString &prefix);

// How a link reaches the desktop; tests put their own in. Returns whether it was opened.
using TPgxUrlOpener = std::function<bool(const QUrl &)>;
void SetHyperlinkUrlOpener(TPgxUrlOpener opener); // an empty one restores the desktop's
// The URL a link opens as, or an invalid URL when it must not be opened (no scheme a desktop
// opens, or a local file that is a program).
QUrl HyperlinkUrl(const QString &link);

// Follows a link clicked in a preview: "EXT:" (any case) opens the rest through the desktop,
// "INT:" offers the rest to the registered sources, anything else goes to the sources first and
// to the desktop when none takes it.
void PerformHyperlink(void *sender, const QString &link);

} // namespace strandel
