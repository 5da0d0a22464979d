#pragma once
// The debug window: receives the DebugPrint lines while it is visible.
#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace strandel {

class TfrmDebug : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 1024;

    explicit TfrmDebug(QWidget *owner = nullptr);
    ~TfrmDebug() override;
    QStringList Lines() const;

    QLabel *Image1;
    QPlainTextEdit *edtMsg;

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void FormShow();
    void AppendLine(const QString &line);
    bool cleared_ = false;
};

} // namespace strandel
