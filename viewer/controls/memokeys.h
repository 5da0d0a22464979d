#pragma once
// Key handling shared by the memo fields of the date-time and IP edits.
#include <QKeyEvent>

namespace strandel {

// What a field's key-down handling did with a key.
enum class KeyAction { Consumed, Pass, CharacterOnly };

// What both fields do with a key they do not handle themselves: editing and focus keys pass,
// any other key does no editing of its own and only its character is looked at.
inline KeyAction CommonMemoKey(int key)
{
    switch (key) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return KeyAction::Pass;
    default:
        return KeyAction::CharacterOnly;
    }
}

// True when the typed character is to be discarded: only digits and backspace are typed into
// a field, and control chords (paste among them) would bring in text the checks never saw.
inline bool RefuseNonDigitKey(const QKeyEvent *event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return true;
    const QString t = event->text();
    return !(t.size() == 1 && ((t[0] >= u'0' && t[0] <= u'9') || t[0] == u'\b'));
}

// Whether the key event stops here, given what key-down handling decided.
inline bool KeyEventHandled(KeyAction action, const QKeyEvent *event)
{
    switch (action) {
    case KeyAction::Consumed:
        return true;
    case KeyAction::Pass:
        return false;
    case KeyAction::CharacterOnly:
        return RefuseNonDigitKey(event);
    }
    return true;
}

} // namespace strandel
