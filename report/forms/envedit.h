#pragma once
// The variables dialog: lists the entries of a report's local environment or of the global one,
// and lets the user rename, re-write, add and delete them. Changes go straight into the
// environment; Close only ends the dialog.
#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace strandel {
namespace report {
class TPgxEvEnvironment;
} // namespace report

class TPgxEnvironmentEditor : public QDialog
{
    Q_OBJECT
public:
    // Without a local environment only the global list can be chosen.
    TPgxEnvironmentEditor(report::TPgxEvEnvironment *local, bool allowGlobal, QWidget *parent = nullptr);

    // The list the grid shows: the local one while "Local defines" is chosen.
    report::TPgxEvEnvironment *WorkEnvironment() const;
    void FillGrid();

    QTableWidget *UDFGrid;
    QRadioButton *LocalCB, *GlobalCB;
    QPushButton *AddButton, *EditButton, *DeleteButton, *CloseButton;
    QGroupBox *ListGroup, *NewEntryGroup;
    QLineEdit *Name, *Expression;
    QPushButton *ExprBuilderButton, *NewOK, *NewCancel;

public slots:
    void AddClick();
    void NewOKClick();
    void NewCancelClick();
    void EditClick();
    void DeleteClick();
    void NewExprBuilderClick();

private:
    void CellChanged(int row, int column);
    void EndNewEntry();

    report::TPgxEvEnvironment *m_local;
    bool m_filling = false;
};

// Shows the variables dialog on a report's local environment. allowGlobal false keeps the user
// on the local list; the parent only places the dialog.
void EditEnvironment(report::TPgxEvEnvironment *environment, bool allowGlobal, QWidget *parent);

} // namespace strandel
