#pragma once
// The recorder-disk picker of the disk player: one line per disk found.
#include <QDialog>

#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace strandel {

class TfrmDvrHddSel : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDvrHddSel(QWidget *owner = nullptr);
    // Fills ListBox1 and selects the first line.
    void SetLines(const std::vector<std::string> &lines);
    // The selected line, -1 when none.
    int SelectedLine() const;

    QListWidget *ListBox1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
};

// Shows the picker modally; the chosen line, or -1 when cancelled or nothing is selected.
int SelectDvrHdd(QWidget *owner, const std::vector<std::string> &lines);

} // namespace strandel
