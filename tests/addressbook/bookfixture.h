#pragma once
// An address book in a temporary start directory, with settings of its own.
#include "platform/settings.h"
#include "viewer/app/dvrlist.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class BookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        strandel::SetSettingsFilePath(dir.filePath("settings.ini"));
    }
    void TearDown() override { book.reset(); }
    // Creates the form; a fixture file, when given, becomes its "Strandel.lst" first.
    strandel::TfrmDvrList &Book(const char *fixture = nullptr)
    {
        if (fixture) {
            EXPECT_TRUE(QFile::copy(QString(STRANDEL_TEST_DATA) + "/" + fixture, dir.filePath("Strandel.lst")));
        }
        book = std::make_unique<strandel::TfrmDvrList>(nullptr, dir.path());
        return *book;
    }
    static QByteArray ReadAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    std::unique_ptr<strandel::TfrmDvrList> book;
};
