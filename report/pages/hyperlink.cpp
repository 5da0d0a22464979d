#include "report/pages/hyperlink.h"

#include <mutex>
#include <vector>

#include <QDesktopServices>
#include <QFileInfo>

namespace strandel {

namespace {

struct Source {
    QString prefix;
    TPgxHyperlinkSourceMethod method;
};

struct Registry {
    std::mutex lock;
    std::vector<Source> sources;
    TPgxUrlOpener opener;
};

Registry &TheRegistry()
{
    static Registry r;
    return r;
}

bool OpenThroughDesktop(const QString &link)
{
    QUrl url = HyperlinkUrl(link);
    if (!url.isValid())
        return false;
    TPgxUrlOpener opener;
    {
        std::lock_guard g(TheRegistry().lock);
        opener = TheRegistry().opener;
    }
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

// True when a source took the link.
bool Offer(void *sender, const QString &link)
{
    TPgxHyperlinkSourceMethod method;
    QString rest;
    {
        std::lock_guard g(TheRegistry().lock);
        for (auto &s : TheRegistry().sources) {
            if (link.startsWith(s.prefix, Qt::CaseSensitive)) {
                method = s.method;
                rest = link.mid(s.prefix.size());
                break;
            }
        }
    }
    if (!method)
        return false;
    method(sender, rest);
    return true;
}

} // namespace

void RegisterHyperlinkSource(const QString &prefix, TPgxHyperlinkSourceMethod method)
{
    std::lock_guard g(TheRegistry().lock);
    TheRegistry().sources.push_back({prefix, std::move(method)});
}

void UnregisterHyperlinkSource(const QString &prefix)
{
    std::lock_guard g(TheRegistry().lock);
    auto &v = TheRegistry().sources;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (it->prefix == prefix) {
            v.erase(it);
            return;
        }
    }
}

void SetHyperlinkUrlOpener(TPgxUrlOpener opener)
{
    std::lock_guard g(TheRegistry().lock);
    TheRegistry().opener = std::move(opener);
}

QUrl HyperlinkUrl(const QString &link)
{
    QString text = link.trimmed();
    if (text.isEmpty())
        return {};
    QUrl url;
    if (text.startsWith(QLatin1Char('/')))
        url = QUrl::fromLocalFile(text);
    else
        url = QUrl(text, QUrl::StrictMode);
    // A bare name of an existing document is the document beside the program's working folder.
    if (url.isValid() && url.scheme().isEmpty() && QFileInfo::exists(text))
        url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    if (!url.isValid() || url.scheme().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        // A document opens in its viewer; a program is never started from a report.
        QFileInfo fi(url.toLocalFile());
        if (!fi.exists() || (fi.isFile() && fi.isExecutable()) || fi.suffix().compare("desktop", Qt::CaseInsensitive) == 0)
            return {};
        return url;
    }
    static const char *const allowed[] = {"http", "https", "ftp", "mailto"};
    for (const char *a : allowed)
        if (scheme == QLatin1String(a))
            return url;
    return {};
}

void PerformHyperlink(void *sender, const QString &link)
{
    const QString head = link.left(4).toUpper();
    if (head == QLatin1String("EXT:")) {
        OpenThroughDesktop(link.mid(4));
    } else if (head == QLatin1String("INT:")) {
        Offer(sender, link.mid(4));
    } else if (!Offer(sender, link)) {
        OpenThroughDesktop(link);
    }
}

} // namespace strandel
