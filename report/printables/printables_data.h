#pragma once
// Text printables whose text is decided when they print: a field of the current record, the
// value of an expression (aggregates fed record by record), a sum or count over a field,
// system data such as the date or page number, and a memo whose lines embed expressions in
// braces. Wrapping, sizing and stretching are the label's.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "report/expr/expr.h"
#include "report/printables/printables_text.h"

namespace strandel {

class TPgxCustomController;

namespace report {
class PgxDataSet;
class PgxField;
} // namespace report

class TPgxDBText : public TPgxCustomLabel
{
public:
    report::PgxDataSet *DataSet() const { return m_dataSet; }
    // Clear it (null) before the data set goes away.
    void SetDataSet(report::PgxDataSet *ds) { m_dataSet = ds; }
    const std::string &DataField() const { return m_dataField; }
    void SetDataField(const std::string &name);
    // Format of numbers and dates; empty prints the field as displayed.
    std::string Mask;

    bool GetCaptionBased() const override { return !m_memoField; }
    bool UseRightToLeftAlignment() const override;
    void Prepare() override;
    void UnPrepare() override;
    void Print(int32_t ofsX, int32_t ofsY) override;
    void GetFieldString(QString &value) override;
    void GetExpandedHeight(double &height) override;

    // The field of the current run, or null.
    const report::PgxField *Field() const;
    // The text of the current record; a memo or blob field fills Lines instead.
    QString FieldText();

private:
    report::PgxDataSet *m_dataSet = nullptr;
    std::string m_dataField;
    int m_fieldIndex = -1;
    bool m_fieldFound = false;
    bool m_memoField = false;
};

class TPgxExpr : public TPgxCustomLabel
{
public:
    TPgxExpr();
    ~TPgxExpr() override;
    QString GetEditorClass() const override { return QStringLiteral("TPgxExprEditor"); }

    const std::string &Expression() const { return m_expression; }
    void SetExpression(const std::string &value);
    const std::string &Mask() const { return m_mask; }
    void SetMask(const std::string &value);
    // Whose records feed the aggregates: a data-set report or a sub-detail band; null is the
    // printable's own report, and only when the expression aggregates.
    TPgxComponent *Master = nullptr;
    // Aggregates start again after each print (a sum per group, printed in its footer).
    bool ResetAfterPrint = false;

    report::TPgxEvResult GetValue();
    void Reset();
    report::TPgxEvaluator &Evaluator() { return m_eval; }

    void PgxNotification(TPgxCustomBand *sender, TPgxNotifyOperation operation) override;
    void Prepare() override;
    void UnPrepare() override;
    void Print(int32_t ofsX, int32_t ofsY) override;

private:
    TPgxCustomController *Notifier() const;
    report::TPgxEvaluator m_eval;
    std::string m_expression, m_mask;
    TPgxCustomController *m_notifier = nullptr;
};

enum class TPgxCalcOperation : uint8_t { pgxcSum = 0, pgxcCount = 1, pgxcMax = 2, pgxcMin = 3, pgxcAverage = 4 };

// An expression built from a field and an operation.
class TPgxDBCalc : public TPgxExpr
{
public:
    TPgxDBCalc() { Rebuild(); }
    const std::string &DataField() const { return m_dataField; }
    void SetDataField(const std::string &name);
    TPgxCalcOperation Operation() const { return m_operation; }
    void SetOperation(TPgxCalcOperation op);
    const std::string &PrintMask() const { return Mask(); }
    void SetPrintMask(const std::string &m) { SetMask(m); }
    // Kept for the stored form only.
    report::PgxDataSet *DataSource = nullptr;
    TPgxCustomBand *ResetBand = nullptr;

private:
    void Rebuild();
    std::string m_dataField;
    TPgxCalcOperation m_operation = TPgxCalcOperation::pgxcSum;
};

enum class TPgxSysDataType : uint8_t {
    pgxsTime = 0, pgxsDate = 1, pgxsDateTime = 2, pgxsPageNumber = 3, pgxsReportTitle = 4, pgxsDetailCount = 5,
    pgxsDetailNo = 6
};

class TPgxSysData : public TPgxCustomLabel
{
public:
    TPgxSysData() { DesignCaption(); }
    TPgxSysDataType Data() const { return m_data; }
    void SetData(TPgxSysDataType d);
    // Printed before the value.
    const QString &Text() const { return m_text; }
    void SetText(const QString &text);
    void Print(int32_t ofsX, int32_t ofsY) override;

private:
    void DesignCaption();
    TPgxSysDataType m_data = TPgxSysDataType::pgxsTime;
    QString m_text;
};

// Cuts the expressions in braces out of lines and puts their values back in.
class TPgxMerger
{
public:
    TPgxMerger() = default;
    ~TPgxMerger() { Unprepare(); }
    TPgxMerger(const TPgxMerger &) = delete;
    TPgxMerger &operator=(const TPgxMerger &) = delete;

    QStringList OrgLines;
    std::vector<const report::PgxDataSet *> Datasets;

    void Prepare();
    void Merge();
    void Unprepare();
    bool Prepared() const { return m_prepared; }
    // The merged lines once merged, else null.
    const QStringList *MergedLines() const { return m_merged ? &m_mergedLines : nullptr; }
    const QStringList &ExpandedLines() const { return m_expandedLines; }
    int ExpressionCount() const { return int(m_expressions.size()); }
    bool IsAggreg() const;
    void DoAggregate();

private:
    struct MemoEvaluator {
        report::TPgxEvaluator eval;
        int line = 0;
        qsizetype pos = 0; // 1-based
    };
    QStringList m_expandedLines, m_mergedLines;
    std::vector<std::unique_ptr<MemoEvaluator>> m_expressions;
    bool m_merged = false, m_prepared = false;
};

class TPgxExprMemo : public TPgxCustomLabel
{
public:
    TPgxExprMemo() { m_captionBased = false; }
    ~TPgxExprMemo() override;
    bool GetCaptionBased() const override { return false; }
    bool RemoveBlankLines = false;

    void Prepare() override;
    void UnPrepare() override;
    void Print(int32_t ofsX, int32_t ofsY) override;
    void PgxNotification(TPgxCustomBand *sender, TPgxNotifyOperation operation) override;
    const TPgxMerger *Merger() const { return m_merger.get(); }

private:
    std::unique_ptr<TPgxMerger> m_merger;
    TPgxCustomController *m_notifier = nullptr;
};

} // namespace strandel
