#pragma once
// The recorder view. Here: the picture area and the controls the main window touches; the
// connection, panes and picture path build on it.
#include <QWidget>

class QLabel;
class QPushButton;
class QFrame;

namespace strandel {

class TfrmDvrWin : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDvrWin(QWidget *owner = nullptr);

    // Height of the recorder picture the view shows (its video standard).
    int PictureHeight() const { return pictureHeight_; }
    QString GetName() const { return name_; }

    QFrame *pnlDvr;
    QPushButton *btnLive;
    QPushButton *btnPlay;
    QFrame *pnlStatus;
    QFrame *pnlPlay;

private:
    int pictureHeight_ = 480;
    QString name_;
};

} // namespace strandel
