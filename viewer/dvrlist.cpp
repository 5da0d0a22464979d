#include "dvrlist.h"

namespace strandel {

TfrmDvrList::TfrmDvrList(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName("frmDvrList");
    setWindowTitle("Dvr List");
}

} // namespace strandel
