#pragma once
// What the tests of the report's dialogs share: the messages the dialogs showed, and a grab of a
// dialog written out for a person to look at (STRANDEL_GRAB_DIR).
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
