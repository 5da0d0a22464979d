#include "main_forms.h"
#include <QApplication>
#include <QLabel>
namespace strandel {
int RunViewer(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel l("Strandel");
    l.show();
    return app.exec();
}
}
