#pragma once
// The dialog in which a user writes an expression with help: it inserts data-set fields,
// functions with their arguments, operators and variables at the caret, and checks the
// expression by evaluating it once. Four further pages stand on the main one; only the page in
// front is enabled.
#include <vector>

#include <QDialog>
#include <QPlainTextEdit>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QStackedWidget;

namespace strandel {
namespace report {
class PgxDataSet;
class TPgxEvEnvironment;
} // namespace report

// A multi-line edit that wraps long expressions.
class TWordWrapEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TWordWrapEdit(QWidget *parent = nullptr);
};

// Data sets an expression on a form may name: those registered with every report on it (or with
// the report itself when the form is one). To give way to the library's shared data-set listing.
std::vector<const report::PgxDataSet *> PgxFormDataSets(const QObject *form);

// The expression as one line: every line break becomes a blank.
QString PgxOneLine(const QString &text);

class TPgxExpressionBuilder : public QDialog
{
    Q_OBJECT
public:
    enum Page { MainPage, DataFieldPage, FunctionPage, ArgumentPage, VariablePage };
    enum State { Waiting = 0, StateOK = 1, StateCancel = 2 };

    TPgxExpressionBuilder(const QObject *form, report::TPgxEvEnvironment *environment, QWidget *parent = nullptr);

    void SetHeading(const QString &text);
    void SetExpression(const QString &text);
    QString Expression() const;
    Page CurrentPage() const;
    int PageState(Page p) const { return m_state[p]; }

    // Lists the data sets of the form and the variables again.
    void ListDataSets();
    void ListVariables();
    // Replaces the selection by text; the caret ends after it.
    void InsertText(const QString &text);
    // Evaluates the expression once and tells the user what came out; answers the message.
    QString Validate();

    // Main page.
    QLabel *HeadingLabel;
    TWordWrapEdit *ExpressionEdit;
    QPushButton *DatabaseField, *Function, *Variable, *ValidateButton, *ClearButton, *OKButton, *CancelButton;
    QList<QPushButton *> OperatorButtons;
    // Data-field page.
    QListWidget *AvailableDatasets, *AvailableFields;
    QPushButton *DataOK, *DataCancel;
    // Function page.
    QListWidget *Categories, *AvailableFunc;
    QLabel *FuncName, *FuncDescription;
    QPushButton *Continue, *FuncCancel;
    // Argument page.
    QLabel *ParamFuncName, *ParamFuncDescription;
    QScrollArea *FuncParamSB;
    QPushButton *ParamOK, *ParamCancel;
    // Variable page.
    QListWidget *AvailableVariables;
    QLabel *VariableValue;
    QPushButton *VarOK, *VarCancel, *ModifyVariables;

    // The argument edits while the argument page is up.
    QList<QLineEdit *> ParamEdits() const { return m_paramEdits; }
    // The "..." of argument i: a nested builder on that argument's text.
    void ParamBuilderClick(int index);

public slots:
    void DatabaseFieldClick();
    void FunctionClick();
    void VariableClick();
    void ContinueClick();
    void ModifyVariablesClick();
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ShowPage(Page p);
    void BackToMain();
    void FillFunctions(int category);
    void ShowFunction();
    void FinishData(bool ok);
    void FinishFunction(bool ok);
    void FinishParams(bool ok);
    void FinishVariable(bool ok);
    void ClearParams();

    const QObject *m_form;
    report::TPgxEvEnvironment *m_env;
    std::vector<const report::PgxDataSet *> m_dataSets;
    QStackedWidget *m_pages;
    int m_state[5] = {};
    int m_function = -1; // library index of the function whose arguments are asked
    QList<QLineEdit *> m_paramEdits;
};

// Shows the builder on expression: true and the one-line result on OK; false and an empty
// expression on Cancel. With a parent the builder is placed inside it and waits there.
bool GetExpression(const QString &description, QString &expression, const QObject *form, QWidget *parent,
                   report::TPgxEvEnvironment *environment);

} // namespace strandel
