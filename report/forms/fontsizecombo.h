#pragma once
// The font sizes a report offers in its settings form.
#include <array>

class QComboBox;

namespace strandel {

inline constexpr std::array<int, 16> PgxFontSizes{8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

// Clears the combo box and lists the sizes as decimal text, smallest first.
void PopulateFontSizeCombo(QComboBox *combo);

} // namespace strandel
