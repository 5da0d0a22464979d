#include "dvrsearch.h"

namespace strandel {

TfrmDvrSearch::TfrmDvrSearch(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName("frmDvrSearch");
}

} // namespace strandel
