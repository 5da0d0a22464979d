#pragma once
// What the tests of the report's dialogs share: the messages the dialogs showed, and a grab of a
// dialog written out for a person to look at (STRANDEL_GRAB_DIR).
#include <cstdlib>
#include <map>

#include <QImage>
#include <QStringList>
#include <QWidget>

#include "report/forms/pgxmessage.h"

struct MessageCatcher {
    QStringList texts;
    strandel::PgxDialogMessageHook previous;
    MessageCatcher()
    {
        previous = strandel::PgxSetDialogMessageHook([this](QWidget *, const QString &t) { texts << t; });
    }
    ~MessageCatcher() { strandel::PgxSetDialogMessageHook(previous); }
};

inline QImage GrabForm(QWidget &w, const char *name)
{
    w.show();
    const QImage img = w.grab().toImage();
    const QByteArray dir = qgetenv("STRANDEL_GRAB_DIR");
    if (!dir.isEmpty())
        img.save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
    return img;
}

// Where w lies in a grab of grabbed (the part r of w, or all of it).
inline QRect RectInGrab(const QWidget &grabbed, const QWidget &w, const QRect &r = {})
{
    const QRect local = r.isNull() ? w.rect() : r;
    return QRect(w.mapTo(&grabbed, local.topLeft()), local.size());
}

// Pixels of a grab inside r that stand out from its background (its most common colour): text,
// lines, highlights. None where a dialog shows nothing but its background.
inline int InkIn(const QImage &grab, const QRect &r)
{
    const QRect in = r & grab.rect();
    std::map<QRgb, int> counts;
    for (int y = in.top(); y <= in.bottom(); ++y)
        for (int x = in.left(); x <= in.right(); ++x)
            ++counts[grab.pixel(x, y)];
    if (counts.empty())
        return 0;
    QRgb back = 0;
    int most = 0;
    for (const auto &[c, n] : counts)
        if (n > most) {
            back = c;
            most = n;
        }
    int ink = 0;
    for (const auto &[c, n] : counts)
        if (std::abs(qRed(c) - qRed(back)) + std::abs(qGreen(c) - qGreen(back)) + std::abs(qBlue(c) - qBlue(back)) > 96)
            ink += n;
    return ink;
}
