#pragma once
// The program's settings store (organisation "Holvane", application "Strandel").
// The store is opened once and shared; every write reaches the file at once.
#include <QString>

namespace strandel {

// Readers never create the store. An integer read that finds the store but not the value,
// or a value that is no integer, writes the default back. Writers create the store and
// swallow errors (they are logged).
int RegReadInt(const QString &name, int defaultValue);
void RegWriteInt(const QString &name, int value);
QString RegReadString(const QString &name, const QString &defaultValue);
void RegWriteString(const QString &name, const QString &value);

// The INI file behind the store. Tests point it at a file of their own.
QString SettingsFilePath();
void SetSettingsFilePath(const QString &path);

} // namespace strandel
