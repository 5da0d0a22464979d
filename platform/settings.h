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
// What a string setting can mean bounds it: a value longer than maxLength characters (a damaged
// or hostile file) is said in the debug log and the default is taken.
constexpr int kMaxNameLength = 255; // a host or font name
constexpr int kMaxPathLength = 4096;
QString RegReadString(const QString &name, const QString &defaultValue, int maxLength = kMaxPathLength);
void RegWriteString(const QString &name, const QString &value);

// The INI file behind the store. Tests point it at a file of their own.
QString SettingsFilePath();
void SetSettingsFilePath(const QString &path);

} // namespace strandel
