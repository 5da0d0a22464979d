#pragma once
// The address book window (shell; the full form follows).
#include <QWidget>

namespace strandel {

class TfrmDvrList : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDvrList(QWidget *owner = nullptr);
};

} // namespace strandel
