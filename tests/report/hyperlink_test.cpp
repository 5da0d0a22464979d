#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "report/pages/hyperlink.h"

using namespace strandel;

namespace {

// Catches what would go to the desktop, and cleans the registry after each test.
class Hyperlinks : public testing::Test
{
protected:
    void SetUp() override
    {
        SetHyperlinkUrlOpener([this](const QUrl &url) {
            opened << url.toString();
            return true;
        });
    }
    void TearDown() override
    {
        SetHyperlinkUrlOpener({});
        for (const QString &p : registered)
            UnregisterHyperlinkSource(p);
    }
    void Register(const QString &prefix)
    {
        registered << prefix;
        RegisterHyperlinkSource(prefix, [this, prefix](void *sender, const QString &rest) {
            taken << prefix + QLatin1Char('|') + rest;
            lastSender = sender;
        });
    }
    QStringList opened, taken, registered;
    void *lastSender = nullptr;
};

} // namespace

TEST_F(Hyperlinks, FollowsPrefixesAsTheyAreMeant)
{
    Register(QStringLiteral("page:"));
    Register(QStringLiteral("pa"));
    int sender = 0;
    struct Case {
        const char *link;
        QStringList opened, taken;
    } cases[] = {
        {"ext:https://example.com/x", {"https://example.com/x"}, {}},      // case of EXT: does not matter
        {"EXT:page:4", {}, {}},                                             // EXT: goes to the desktop only
        {"INT:page:4", {}, {"page:|4"}},
        {"INT:nobody takes this", {}, {}},                                  // nothing happens
        {"page:7", {}, {"page:|7"}},                                        // first registered match wins
        {"part", {}, {"pa|rt"}},
        {"Page:7", {}, {}},                                                 // prefixes compare exactly; no scheme
        {"mailto:desk@example.com", {"mailto:desk@example.com"}, {}},
    };
    for (const Case &c : cases) {
        opened.clear();
        taken.clear();
        PerformHyperlink(&sender, QString::fromUtf8(c.link));
        EXPECT_EQ(opened, c.opened) << c.link;
        EXPECT_EQ(taken, c.taken) << c.link;
    }
    EXPECT_EQ(lastSender, &sender);
    UnregisterHyperlinkSource(QStringLiteral("page:"));
    registered.removeAll(QStringLiteral("page:"));
    taken.clear();
    PerformHyperlink(&sender, QStringLiteral("page:9"));
    EXPECT_EQ(taken, QStringList({"pa|ge:9"}));
}

TEST_F(Hyperlinks, NothingIsEverRun)
{
    QTemporaryDir dir;
    QString program = dir.filePath("run.sh");
    QString document = dir.filePath("notes.txt");
    for (const QString &name : {program, document}) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\ntouch marker\n");
    }
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    struct Case {
        QString link;
        bool opens;
    } cases[] = {
        {"EXT:" + program, false},
        {"EXT:file://" + program, false},
        {"EXT:" + document, true},
        {"EXT:/bin/sh", false},
        {"EXT:javascript:alert(1)", false},
        {"EXT:sh -c 'touch x'", false},
        {"EXT:https://example.com/?q=a b", false}, // not a valid URL as it stands
        {"EXT:http://example.com/report", true},
        {"EXT:" + QDir::current().relativeFilePath(document), true},
        {"EXT:" + QDir::current().relativeFilePath(program), false},
        {"EXT:no-such-document.txt", false},
    };
    for (const Case &c : cases) {
        opened.clear();
        PerformHyperlink(nullptr, c.link);
        EXPECT_EQ(opened.size(), c.opens ? 1 : 0) << c.link.toStdString();
    }
}
