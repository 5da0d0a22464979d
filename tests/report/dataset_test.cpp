#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "report/data/dataset.h"
#include "report/data/dataset_sql.h"
#include "report_testutil.h"

namespace strandel::report {
namespace {

using test::Eval;

// Walks a data set forward, then back with Prior, and records the first field's texts.
std::string Walk(PgxDataSet &ds)
{
    std::string out;
    for (ds.First(); !ds.Eof(); ds.Next())
        out += ds.Field(0)->AsString() + ",";
    out += "|";
    for (; !ds.Bof(); ds.Prior())
        out += ds.Field(0)->AsString() + ",";
    return out;
}

TEST(PgxDataSets, MemoryCursorAndFields)
{
    PgxMemoryDataSet ds("People");
    ASSERT_TRUE(ds.AddField({"Name", PgxFieldKind::String, "Full name", 30}));
    ASSERT_TRUE(ds.AddField({"Age", PgxFieldKind::Integer}));
    ASSERT_TRUE(ds.AddField({"Paid", PgxFieldKind::Boolean, "", 0, PgxAlignment::Center, false}));
    ASSERT_TRUE(ds.AddField({"Photo", PgxFieldKind::Blob}));
    EXPECT_FALSE(ds.AddField({"age", PgxFieldKind::Integer}));
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_TRUE(ds.Eof());
    ds.AppendRecord({"Ann", 31, true, QByteArray("\x01\x02", 2)});
    ds.AppendRecord({"Bob", 45});
    ds.AppendRecord({"Cy", 27, false});
    ASSERT_TRUE(ds.Open());
    EXPECT_FALSE(ds.AddField({"Late", PgxFieldKind::String}));
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(Walk(ds), "Ann,Bob,Cy,|Cy,Bob,Ann,");

    const PgxField *name = ds.FindField("NAME");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->DisplayLabel(), "Full name");
    EXPECT_EQ(name->DisplayWidth(), 30);
    EXPECT_EQ(name->Alignment(), PgxAlignment::Left);
    const PgxField *age = ds.FindField("age");
    EXPECT_EQ(age->DisplayLabel(), "Age");
    EXPECT_EQ(age->Alignment(), PgxAlignment::Right);
    const PgxField *paid = ds.Field(2);
    EXPECT_FALSE(paid->Visible());
    EXPECT_EQ(paid->Alignment(), PgxAlignment::Center);
    const PgxField *photo = ds.Field(3);
    EXPECT_TRUE(photo->IsBlob());
    EXPECT_EQ(ds.Field(4), nullptr);
    EXPECT_EQ(ds.FindField("none"), nullptr);

    ds.First();
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(paid->DisplayText(), "True");
    EXPECT_EQ(photo->DisplayText(), "(BLOB)");
    EXPECT_EQ(photo->AsBytes().size(), 2);
    ds.Next();
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_TRUE(paid->IsNull());
    EXPECT_EQ(paid->DisplayText(), "");
    // Group footers step back one record after the break.
    ds.Next();
    ds.Next();
    EXPECT_TRUE(ds.Eof());
    ds.Prior();
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(name->AsString(), "Bob");

    ds.SetParam("Min", PgxFieldKind::Integer, 3);
    ds.SetParam("min", PgxFieldKind::Float, 2.5);
    ASSERT_EQ(ds.Params().size(), 1u);
    EXPECT_EQ(ds.ParamByName("MIN")->kind, PgxFieldKind::Float);
    ds.Close();
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_FALSE(name->Value().isValid());
}

class PgxSqlDataSets : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        db_ = QSqlDatabase::addDatabase("QSQLITE", "report_tests");
        db_.setDatabaseName(dir_.filePath("sales.db"));
        ASSERT_TRUE(db_.open());
        QSqlQuery q(db_);
        ASSERT_TRUE(q.exec("CREATE TABLE sales (region TEXT, amount INTEGER, price REAL, sold DATE, photo BLOB)"));
        const char *rows[] = {"('North', 10, 1.5, '2024-03-05', x'0102')", "('North', 20, 2.5, '2024-03-06', NULL)",
                              "('South', 5, 4.0, '2024-03-07', NULL)", "('West', 1, 0.5, '2024-03-08', NULL)"};
        for (const char *r : rows)
            ASSERT_TRUE(q.exec(QString("INSERT INTO sales VALUES ") + r));
    }
    void TearDown() override
    {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase("report_tests");
    }
    QTemporaryDir dir_;
    QSqlDatabase db_;
};

TEST_F(PgxSqlDataSets, TableOverSqlite)
{
    PgxSqlDataSet ds("Sales", db_, "sales");
    ds.SetFieldKind("sold", PgxFieldKind::Date);
    ASSERT_TRUE(ds.Open()) << ds.LastError();
    EXPECT_EQ(ds.RecordCount(), 4);
    ASSERT_EQ(ds.FieldCount(), 5);
    EXPECT_EQ(ds.FindField("AMOUNT")->Kind(), PgxFieldKind::Integer);
    EXPECT_EQ(ds.FindField("price")->Kind(), PgxFieldKind::Float);
    EXPECT_EQ(ds.FindField("region")->Kind(), PgxFieldKind::String);
    EXPECT_EQ(ds.FindField("photo")->Kind(), PgxFieldKind::Blob);
    EXPECT_EQ(Walk(ds), "North,North,South,West,|West,South,North,North,");

    ds.First();
    EXPECT_EQ(ds.FindField("sold")->DisplayText(), "05/03/2024");
    EXPECT_EQ(Eval("Sales.Sold + ' ' + region", nullptr, {&ds}), "S:05/03/2024 North");
    EXPECT_EQ(Eval("photo", nullptr, {&ds}), "E:Field photo is of unknown type");

    TPgxEvaluator total;
    total.Datasets = {&ds};
    total.Prepare("SUM(amount * price)");
    total.Reset();
    for (ds.First(); !ds.Eof(); ds.Next())
        total.DoAggregate();
    EXPECT_EQ(test::Show(total.Value()), "D:85.5");
}

TEST_F(PgxSqlDataSets, QueryWithParameters)
{
    PgxSqlDataSet ds("Big", db_, "SELECT region, SUM(amount) AS total FROM sales WHERE amount >= :minimum "
                                 "GROUP BY region ORDER BY region");
    ds.SetParam("minimum", PgxFieldKind::Integer, 5);
    ASSERT_TRUE(ds.Open()) << ds.LastError();
    EXPECT_EQ(ds.RecordCount(), 2);
    EXPECT_EQ(Walk(ds), "North,South,|South,North,");
    ds.First();
    EXPECT_EQ(Eval("Big.total", nullptr, {&ds}), "I:30");
    ds.SetParam("minimum", PgxFieldKind::Integer, 100);
    ASSERT_TRUE(ds.Open());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_TRUE(ds.Eof());
    EXPECT_FALSE(ds.Field(0)->Value().isValid());

    PgxSqlDataSet bad("Bad", db_, "SELECT nothing FROM nowhere");
    EXPECT_FALSE(bad.Open());
    EXPECT_FALSE(bad.LastError().empty());
    EXPECT_FALSE(bad.IsOpen());
}

} // namespace
} // namespace strandel::report
