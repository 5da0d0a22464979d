#pragma once
// The LAN discovery window (shell; the full form follows).
#include <QWidget>

namespace strandel {

class TfrmDvrSearch : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDvrSearch(QWidget *owner = nullptr);
};

} // namespace strandel
