#pragma once
// The administration windows that start-up creates. Each holds what start-up and the main window
// need of it; the full dialogs build on these classes.
#include <QDialog>
#include <QFont>
#include <QWidget>

#include "viewer/admin/dvrctrl.h"
#include "viewer/admin/dvrenv.h"
#include "viewer/admin/dvrservices.h"
#include "viewer/admin/dvrstatus.h"
#include "viewer/admin/pantilt.h"
#include "viewer/protocol/dvrdialoglinks.h"

#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace strandel {

class TfrmDvrWin;

// Reads a font saved as <prefix>Name, Size, Color and the four style values, each with the
// given font as default. Returns the colour through *color.
QFont ReadFontSettings(const QString &prefix, const QFont &defaults, int defaultColor, int *color);
void WriteFontSettings(const QString &prefix, const QFont &font, int color);

} // namespace strandel
