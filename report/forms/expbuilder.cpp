#include "report/forms/expbuilder.h"

#include <algorithm>

#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "report/bands/pagorra.h"
#include "report/base/format.h"
#include "report/base/strings.h"
#include "report/data/dataset.h"
#include "report/expr/environment.h"
#include "report/expr/functions.h"
#include "report/forms/envedit.h"
#include "report/forms/pgxmessage.h"

namespace strandel {

using report::PgxLoadStr;
using report::TPgxEvEnvironment;

namespace {

QString Str(uint16_t id)
{
    return QString::fromStdString(PgxLoadStr(id));
}

QPushButton *Button(const QString &caption, const char *name)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QListWidget *List(const char *name)
{
    auto *l = new QListWidget;
    l->setObjectName(QLatin1String(name));
    return l;
}

QHBoxLayout *ButtonRow(std::initializer_list<QPushButton *> buttons)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton *b : buttons)
        row->addWidget(b);
    return row;
}

QString Fmt(uint16_t id, std::initializer_list<std::string_view> args)
{
    return QString::fromStdString(report::PgxFmt(id, args));
}

} // namespace

TWordWrapEdit::TWordWrapEdit(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true);
}

std::vector<const report::PgxDataSet *> PgxFormDataSets(const QObject *form)
{
    std::vector<const report::PgxDataSet *> out;
    if (!form)
        return out;
    QList<const TCustomPagorra *> reports;
    if (auto *r = qobject_cast<const TCustomPagorra *>(form))
        reports << r;
    for (const TCustomPagorra *r : form->findChildren<const TCustomPagorra *>())
        reports << r;
    for (const TCustomPagorra *r : reports)
        for (const report::PgxDataSet *ds : r->RegisteredDataSets())
            if (ds && std::find(out.begin(), out.end(), ds) == out.end())
                out.push_back(ds);
    return out;
}

QString PgxOneLine(const QString &text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar c : {QChar('\r'), QChar('\n'), QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)})
        s.replace(c, QLatin1Char(' '));
    return s;
}

TPgxExpressionBuilder::TPgxExpressionBuilder(const QObject *form, TPgxEvEnvironment *environment, QWidget *parent)
    : QDialog(parent), m_form(form), m_env(environment)
{
    setObjectName(QStringLiteral("PgxExpressionBuilder"));
    setWindowTitle(QStringLiteral("Expression Builder"));
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);

    auto *banner = new QLabel(QStringLiteral("Expression Builder"));
    banner->setObjectName(QStringLiteral("HeadingPanel"));
    banner->setAutoFillBackground(true);
    QPalette bp = banner->palette();
    bp.setColor(QPalette::Window, QColor(0x00, 0x33, 0x80));
    bp.setColor(QPalette::WindowText, Qt::white);
    banner->setPalette(bp);
    QFont bf = banner->font();
    bf.setBold(true);
    bf.setPointSizeF(bf.pointSizeF() * 1.4);
    banner->setFont(bf);
    banner->setContentsMargins(10, 6, 10, 6);
    root->addWidget(banner);

    m_pages = new QStackedWidget;
    root->addWidget(m_pages, 1);

    // Main page.
    auto *main = new QWidget;
    auto *mv = new QVBoxLayout(main);
    HeadingLabel = new QLabel(QStringLiteral("Enter expression:"));
    HeadingLabel->setObjectName(QStringLiteral("HeadingLabel"));
    HeadingLabel->setWordWrap(true);
    ExpressionEdit = new TWordWrapEdit;
    ExpressionEdit->setObjectName(QStringLiteral("Expression"));
    ExpressionEdit->setMinimumSize(341, 91);
    mv->addWidget(HeadingLabel);
    mv->addWidget(ExpressionEdit, 1);
    auto *insertGroup = new QGroupBox(QStringLiteral("Insert at cursor position"));
    auto *ig = new QGridLayout(insertGroup);
    DatabaseField = Button(QStringLiteral("&Database field"), "DatabaseField");
    Function = Button(QStringLiteral("&Function"), "Function");
    Variable = Button(QStringLiteral("&Variable"), "Variable");
    ig->addWidget(DatabaseField, 0, 0, 1, 2);
    ig->addWidget(Function, 0, 2, 1, 3);
    ig->addWidget(Variable, 0, 5, 1, 2);
    const char *ops[] = {"+", "-", "*", "/", "=", "<", ">", "<>", "<=", ">=", "Not", "And", "Or"};
    for (int i = 0; i < 13; ++i) {
        auto *b = Button(QString::fromLatin1(ops[i]), "Operator");
        b->setMinimumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("Not")) + 14);
        OperatorButtons << b;
        ig->addWidget(b, 1 + i / 7, i % 7);
        connect(b, &QPushButton::clicked, this, [this, b] { InsertText(QLatin1Char(' ') + b->text() + QLatin1Char(' ')); });
    }
    mv->addWidget(insertGroup);
    ValidateButton = Button(QStringLiteral("Valida&te"), "Validate");
    ClearButton = Button(QStringLiteral("&Clear"), "Clear");
    OKButton = Button(QStringLiteral("OK"), "OK");
    CancelButton = Button(QStringLiteral("Cancel"), "Cancel");
    auto *mainButtons = new QHBoxLayout;
    mainButtons->addWidget(ValidateButton);
    mainButtons->addWidget(ClearButton);
    mainButtons->addStretch();
    mainButtons->addWidget(OKButton);
    mainButtons->addWidget(CancelButton);
    mv->addLayout(mainButtons);
    m_pages->addWidget(main);

    // Data-field page.
    auto *data = new QWidget;
    auto *dv = new QVBoxLayout(data);
    auto *dataGroup = new QGroupBox(QStringLiteral("Insert database field in expression"));
    auto *dg = new QGridLayout(dataGroup);
    AvailableDatasets = List("AvailableDatasets");
    AvailableFields = List("AvailableFields");
    dg->addWidget(new QLabel(QStringLiteral("Select dataset")), 0, 0);
    dg->addWidget(new QLabel(QStringLiteral("Available fields")), 0, 1);
    dg->addWidget(AvailableDatasets, 1, 0);
    dg->addWidget(AvailableFields, 1, 1);
    dv->addWidget(dataGroup, 1);
    DataOK = Button(QStringLiteral("OK"), "DataOK");
    DataCancel = Button(QStringLiteral("Cancel"), "DataCancel");
    dv->addLayout(ButtonRow({DataOK, DataCancel}));
    m_pages->addWidget(data);

    // Function page.
    auto *func = new QWidget;
    auto *fv = new QVBoxLayout(func);
    auto *funcGroup = new QGroupBox(QStringLiteral("Select function"));
    auto *fg = new QGridLayout(funcGroup);
    Categories = List("Categories");
    Categories->addItems({QStringLiteral("All"), QStringLiteral("Date & time"), QStringLiteral("Math & trig"),
                          QStringLiteral("Statistical"), QStringLiteral("Database"), QStringLiteral("Logical"),
                          QStringLiteral("Information"), QStringLiteral("Other")});
    AvailableFunc = List("AvailableFunc");
    FuncName = new QLabel;
    FuncName->setObjectName(QStringLiteral("FuncName"));
    QFont bold = FuncName->font();
    bold.setBold(true);
    FuncName->setFont(bold);
    FuncName->setWordWrap(true);
    FuncDescription = new QLabel;
    FuncDescription->setObjectName(QStringLiteral("FuncDescription"));
    FuncDescription->setWordWrap(true);
    FuncDescription->setMinimumHeight(FuncDescription->fontMetrics().height() * 3);
    FuncDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fg->addWidget(new QLabel(QStringLiteral("Category")), 0, 0);
    fg->addWidget(new QLabel(QStringLiteral("Available functions")), 0, 1);
    fg->addWidget(Categories, 1, 0);
    fg->addWidget(AvailableFunc, 1, 1);
    fg->addWidget(FuncName, 2, 0, 1, 2);
    fg->addWidget(FuncDescription, 3, 0, 1, 2);
    fg->setColumnStretch(1, 1);
    fv->addWidget(funcGroup, 1);
    Continue = Button(QStringLiteral("Continue"), "Continue");
    FuncCancel = Button(QStringLiteral("Cancel"), "FuncCancel");
    fv->addLayout(ButtonRow({Continue, FuncCancel}));
    m_pages->addWidget(func);

    // Argument page.
    auto *args = new QWidget;
    auto *av = new QVBoxLayout(args);
    auto *argGroup = new QGroupBox(QStringLiteral("Enter parameters for function"));
    auto *ag = new QVBoxLayout(argGroup);
    ParamFuncName = new QLabel;
    ParamFuncName->setFont(bold);
    ParamFuncName->setWordWrap(true);
    ParamFuncDescription = new QLabel;
    ParamFuncDescription->setWordWrap(true);
    FuncParamSB = new QScrollArea;
    FuncParamSB->setObjectName(QStringLiteral("FuncParamSB"));
    FuncParamSB->setWidgetResizable(true);
    FuncParamSB->verticalScrollBar()->setSingleStep(40);
    ag->addWidget(ParamFuncName);
    ag->addWidget(ParamFuncDescription);
    ag->addWidget(FuncParamSB, 1);
    av->addWidget(argGroup, 1);
    ParamOK = Button(QStringLiteral("OK"), "ParamOK");
    ParamCancel = Button(QStringLiteral("Cancel"), "ParamCancel");
    av->addLayout(ButtonRow({ParamOK, ParamCancel}));
    m_pages->addWidget(args);

    // Variable page.
    auto *vars = new QWidget;
    auto *vv = new QVBoxLayout(vars);
    auto *varGroup = new QGroupBox(QStringLiteral("Select variable"));
    auto *vg = new QGridLayout(varGroup);
    AvailableVariables = List("AvailableVariables");
    VariableValue = new QLabel;
    VariableValue->setObjectName(QStringLiteral("VariableValue"));
    VariableValue->setWordWrap(true);
    vg->addWidget(AvailableVariables, 0, 0, 1, 2);
    vg->addWidget(new QLabel(QStringLiteral("Value :")), 1, 0, Qt::AlignTop);
    vg->addWidget(VariableValue, 1, 1);
    vg->setColumnStretch(1, 1);
    vv->addWidget(varGroup, 1);
    VarOK = Button(QStringLiteral("OK"), "VarOK");
    VarCancel = Button(QStringLiteral("Cancel"), "VarCancel");
    ModifyVariables = Button(QStringLiteral("&Modify variables"), "ModifyVariables");
    auto *varButtons = new QHBoxLayout;
    varButtons->addWidget(ModifyVariables);
    varButtons->addStretch();
    varButtons->addWidget(VarOK);
    varButtons->addWidget(VarCancel);
    vv->addLayout(varButtons);
    m_pages->addWidget(vars);

    connect(DatabaseField, &QPushButton::clicked, this, &TPgxExpressionBuilder::DatabaseFieldClick);
    connect(Function, &QPushButton::clicked, this, &TPgxExpressionBuilder::FunctionClick);
    connect(Variable, &QPushButton::clicked, this, &TPgxExpressionBuilder::VariableClick);
    connect(ValidateButton, &QPushButton::clicked, this, [this] { Validate(); });
    connect(ClearButton, &QPushButton::clicked, ExpressionEdit, &QPlainTextEdit::clear);
    connect(OKButton, &QPushButton::clicked, this, [this] {
        m_state[MainPage] = StateOK;
        done(PgxMrOk);
    });
    connect(CancelButton, &QPushButton::clicked, this, &TPgxExpressionBuilder::reject);

    connect(AvailableDatasets, &QListWidget::currentRowChanged, this, [this](int row) {
        AvailableFields->clear();
        if (row >= 0 && size_t(row) < m_dataSets.size())
            for (int i = 0; i < m_dataSets[size_t(row)]->FieldCount(); ++i)
                AvailableFields->addItem(QString::fromStdString(m_dataSets[size_t(row)]->Field(i)->FieldName()));
    });
    connect(AvailableFields, &QListWidget::itemDoubleClicked, this, [this] { FinishData(true); });
    connect(DataOK, &QPushButton::clicked, this, [this] { FinishData(true); });
    connect(DataCancel, &QPushButton::clicked, this, [this] { FinishData(false); });

    connect(Categories, &QListWidget::currentRowChanged, this, &TPgxExpressionBuilder::FillFunctions);
    connect(AvailableFunc, &QListWidget::currentRowChanged, this, &TPgxExpressionBuilder::ShowFunction);
    connect(AvailableFunc, &QListWidget::itemDoubleClicked, this, &TPgxExpressionBuilder::ContinueClick);
    connect(Continue, &QPushButton::clicked, this, &TPgxExpressionBuilder::ContinueClick);
    connect(FuncCancel, &QPushButton::clicked, this, [this] { FinishFunction(false); });
    connect(ParamOK, &QPushButton::clicked, this, [this] { FinishParams(true); });
    connect(ParamCancel, &QPushButton::clicked, this, [this] { FinishParams(false); });

    connect(AvailableVariables, &QListWidget::currentRowChanged, this, [this](int row) {
        QString value;
        if (row >= 0) {
            const std::string name = AvailableVariables->item(row)->text().toStdString();
            for (const TPgxEvEnvironment *env : {static_cast<const TPgxEvEnvironment *>(m_env),
                                                 static_cast<const TPgxEvEnvironment *>(&report::PgxGlobalEnvironment())}) {
                if (!env)
                    continue;
                const std::vector<std::string> names = env->Names();
                auto it = std::find_if(names.begin(), names.end(),
                                       [&](const std::string &n) { return report::PgxSameName(n, name); });
                if (it != names.end()) {
                    value = QString::fromStdString(env->Expression(int(it - names.begin())));
                    break;
                }
            }
        }
        VariableValue->setText(value);
    });
    connect(AvailableVariables, &QListWidget::itemDoubleClicked, this, [this] { FinishVariable(true); });
    connect(VarOK, &QPushButton::clicked, this, [this] { FinishVariable(true); });
    connect(VarCancel, &QPushButton::clicked, this, [this] { FinishVariable(false); });
    connect(ModifyVariables, &QPushButton::clicked, this, &TPgxExpressionBuilder::ModifyVariablesClick);

    Categories->setCurrentRow(0);
    ShowPage(MainPage);
    ListDataSets();
    ListVariables();
    resize(sizeHint().expandedTo(QSize(420, 360)));
}

void TPgxExpressionBuilder::SetHeading(const QString &text)
{
    if (!text.isEmpty())
        HeadingLabel->setText(text);
}

void TPgxExpressionBuilder::SetExpression(const QString &text)
{
    ExpressionEdit->setPlainText(text);
    ExpressionEdit->selectAll();
}

QString TPgxExpressionBuilder::Expression() const
{
    return PgxOneLine(ExpressionEdit->toPlainText());
}

TPgxExpressionBuilder::Page TPgxExpressionBuilder::CurrentPage() const
{
    return Page(m_pages->currentIndex());
}

void TPgxExpressionBuilder::ShowPage(Page p)
{
    for (int i = 0; i < m_pages->count(); ++i)
        m_pages->widget(i)->setEnabled(i == p);
    m_state[p] = Waiting;
    m_pages->setCurrentIndex(p);
}

void TPgxExpressionBuilder::BackToMain()
{
    for (int i = 0; i < m_pages->count(); ++i)
        m_pages->widget(i)->setEnabled(i == MainPage);
    m_pages->setCurrentIndex(MainPage);
    ExpressionEdit->setFocus();
}

void TPgxExpressionBuilder::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ListDataSets();
    ListVariables();
    ExpressionEdit->setFocus();
}

void TPgxExpressionBuilder::ListDataSets()
{
    m_dataSets = PgxFormDataSets(m_form);
    AvailableDatasets->clear();
    for (const report::PgxDataSet *ds : m_dataSets)
        AvailableDatasets->addItem(QString::fromStdString(ds->Name()));
    if (AvailableDatasets->count() > 0)
        AvailableDatasets->setCurrentRow(0);
}

void TPgxExpressionBuilder::ListVariables()
{
    AvailableVariables->clear();
    if (m_env)
        for (const std::string &n : m_env->Names())
            AvailableVariables->addItem(QString::fromStdString(n));
    for (const std::string &n : report::PgxGlobalEnvironment().Names())
        AvailableVariables->addItem(QString::fromStdString(n));
    if (AvailableVariables->count() > 0)
        AvailableVariables->setCurrentRow(0);
}

void TPgxExpressionBuilder::InsertText(const QString &text)
{
    QTextCursor c = ExpressionEdit->textCursor();
    c.insertText(text);
    ExpressionEdit->setTextCursor(c);
    ExpressionEdit->setFocus();
}

void TPgxExpressionBuilder::DatabaseFieldClick()
{
    ShowPage(DataFieldPage);
}

void TPgxExpressionBuilder::FinishData(bool ok)
{
    m_state[DataFieldPage] = ok ? StateOK : StateCancel;
    const int ds = AvailableDatasets->currentRow();
    QListWidgetItem *field = AvailableFields->currentItem();
    BackToMain();
    if (ok && ds >= 0 && size_t(ds) < m_dataSets.size() && field)
        InsertText(AvailableDatasets->item(ds)->text() + QLatin1Char('.') + field->text());
}

void TPgxExpressionBuilder::FunctionClick()
{
    ShowPage(FunctionPage);
}

void TPgxExpressionBuilder::FillFunctions(int category)
{
    AvailableFunc->clear();
    const report::TPgxFunctionLibrary &lib = report::TPgxFunctionLibrary::Instance();
    for (int i = 0; i < lib.Count(); ++i) {
        const report::TPgxLibraryEntry *e = lib.GetEntry(i);
        if (category > 0 && (e->arguments.empty() || e->arguments[0] != char('0' + category)))
            continue;
        auto *item = new QListWidgetItem(QString::fromStdString(e->name), AvailableFunc);
        item->setData(Qt::UserRole, i);
    }
    ShowFunction();
}

void TPgxExpressionBuilder::ShowFunction()
{
    QString name, description;
    if (QListWidgetItem *item = AvailableFunc->currentItem()) {
        const report::TPgxLibraryEntry *e =
            report::TPgxFunctionLibrary::Instance().GetEntry(item->data(Qt::UserRole).toInt());
        const QString d = e ? QString::fromStdString(e->description) : QString();
        const int bar = d.indexOf(QLatin1Char('|'));
        name = bar < 0 ? d : d.left(bar);
        description = bar < 0 ? QString() : d.mid(bar + 1);
    }
    FuncName->setText(name);
    FuncDescription->setText(description);
}

void TPgxExpressionBuilder::FinishFunction(bool ok)
{
    m_state[FunctionPage] = ok ? StateOK : StateCancel;
    BackToMain();
}

void TPgxExpressionBuilder::ContinueClick()
{
    QListWidgetItem *item = AvailableFunc->currentItem();
    const report::TPgxLibraryEntry *e =
        item ? report::TPgxFunctionLibrary::Instance().GetEntry(item->data(Qt::UserRole).toInt()) : nullptr;
    if (!e) {
        FinishFunction(true);
        return;
    }
    const std::string letters = e->arguments.empty() ? std::string() : e->arguments.substr(1);
    if (letters.empty()) {
        FinishFunction(true);
        InsertText(QString::fromStdString(e->name));
        return;
    }
    m_state[FunctionPage] = StateOK;
    m_function = item->data(Qt::UserRole).toInt();
    ParamFuncName->setText(FuncName->text());
    ParamFuncDescription->setText(FuncDescription->text());
    ClearParams();
    auto *box = new QWidget;
    auto *grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);
    for (size_t i = 0; i < letters.size(); ++i) {
        uint16_t id = report::SpgxExpBldValue;
        switch (letters[i]) {
        case 'B': id = report::SpgxExpBldLogical; break;
        case 'N': id = report::SpgxExpBldNumeric; break;
        case 'S': id = report::SpgxExpBldText; break;
        default: break;
        }
        const std::string number = std::to_string(i + 1);
        auto *label = new QLabel(Fmt(id, {number}));
        auto *edit = new QLineEdit;
        edit->setObjectName(QStringLiteral("Param%1").arg(i));
        auto *more = new QPushButton(QStringLiteral("..."));
        more->setAutoDefault(false);
        more->setFixedSize(24, 22);
        const int index = int(i);
        connect(more, &QPushButton::clicked, this, [this, index] { ParamBuilderClick(index); });
        grid->addWidget(label, int(i) * 2, 0, 1, 2);
        grid->addWidget(edit, int(i) * 2 + 1, 0);
        grid->addWidget(more, int(i) * 2 + 1, 1);
        m_paramEdits << edit;
    }
    grid->setRowStretch(int(letters.size()) * 2, 1);
    FuncParamSB->setWidget(box);
    ShowPage(ArgumentPage);
    if (!m_paramEdits.isEmpty())
        m_paramEdits.first()->setFocus();
}

void TPgxExpressionBuilder::ParamBuilderClick(int index)
{
    if (index < 0 || index >= m_paramEdits.size())
        return;
    QPointer<QLineEdit> edit = m_paramEdits[index];
    QString text = edit->text();
    const QString heading =
        Fmt(report::SpgxExpBldEnterParam, {std::to_string(index + 1), ParamFuncName->text().toStdString()});
    if (GetExpression(heading, text, m_form, this, m_env) && edit) {
        edit->setText(text);
        edit->setFocus();
        edit->end(false);
    }
}

void TPgxExpressionBuilder::ClearParams()
{
    m_paramEdits.clear();
    delete FuncParamSB->takeWidget();
}

void TPgxExpressionBuilder::FinishParams(bool ok)
{
    m_state[ArgumentPage] = ok ? StateOK : StateCancel;
    QStringList args;
    for (QLineEdit *e : m_paramEdits)
        args << e->text();
    ClearParams();
    BackToMain();
    const report::TPgxLibraryEntry *e = report::TPgxFunctionLibrary::Instance().GetEntry(m_function);
    if (ok && e)
        InsertText(QString::fromStdString(e->name) + QLatin1Char('(') + args.join(QLatin1Char(',')) +
                   QLatin1Char(')'));
    m_function = -1;
}

void TPgxExpressionBuilder::VariableClick()
{
    ShowPage(VariablePage);
}

void TPgxExpressionBuilder::FinishVariable(bool ok)
{
    m_state[VariablePage] = ok ? StateOK : StateCancel;
    QListWidgetItem *item = AvailableVariables->currentItem();
    BackToMain();
    if (ok && item)
        InsertText(item->text());
}

void TPgxExpressionBuilder::ModifyVariablesClick()
{
    EditEnvironment(m_env, true, this);
    ListVariables();
}

QString TPgxExpressionBuilder::Validate()
{
    TPgxEvEnvironment &global = report::PgxGlobalEnvironment();
    global.Prepare();
    if (m_env)
        m_env->Prepare();
    report::TPgxEvResult r;
    {
        report::TPgxEvaluator ev;
        ev.Datasets = m_dataSets;
        ev.Environment = m_env;
        try {
            r = ev.Calculate(Expression().toStdString());
        } catch (const std::exception &e) {
            r = report::TPgxEvResult::Error(e.what());
        }
    }
    if (m_env)
        m_env->Unprepare();
    global.Unprepare();

    QString message;
    if (r.Kind == report::resError) {
        message = Str(report::SpgxExpBldError) + QString::fromStdString(r.StringResult);
    } else {
        // An empty text is a result like any other.
        QString value;
        switch (r.Kind) {
        case report::resInt: value = QString::number(r.IntResult); break;
        case report::resDouble: value = QString::fromStdString(report::PgxFloatToStr(r.DoubleResult)); break;
        case report::resString: value = QString::fromStdString(r.StringResult); break;
        default: value = r.BooleanResult ? QStringLiteral("True") : QStringLiteral("False"); break;
        }
        message = Str(report::SpgxExpBldNoError) + value;
    }
    PgxDialogMessage(this, message);
    return message;
}

void TPgxExpressionBuilder::reject()
{
    // Closing answers Cancel on every page still waiting; a main page already OK stays so.
    for (int i = 0; i < 5; ++i)
        if (!(i == MainPage && m_state[i] == StateOK))
            m_state[i] = StateCancel;
    done(PgxMrCancel);
}

bool GetExpression(const QString &description, QString &expression, const QObject *form, QWidget *parent,
                   TPgxEvEnvironment *environment)
{
    auto *b = new TPgxExpressionBuilder(form, environment, parent);
    b->SetHeading(description);
    b->SetExpression(expression);
    QPointer<TPgxExpressionBuilder> guard(b);
    int result = PgxMrCancel;
    if (parent) {
        // Placed inside the parent, over its contents, until the main page is answered.
        b->setWindowFlags(Qt::Widget);
        b->setGeometry(0, 0, parent->width(), parent->height());
        QEventLoop loop;
        QObject::connect(b, &QDialog::finished, &loop, [&](int r) {
            result = r;
            loop.quit();
        });
        QObject::connect(b, &QObject::destroyed, &loop, &QEventLoop::quit);
        b->show();
        b->raise();
        b->ExpressionEdit->setFocus();
        loop.exec();
    } else {
        result = b->exec();
    }
    const bool ok = guard && result == PgxMrOk;
    expression = ok ? guard->Expression() : QString();
    delete guard.data();
    return ok;
}

} // namespace strandel
