#pragma once

#include <QString>

// Every message the program shows to the user goes through this interface, so
// the logic below the windows never opens a dialog itself and tests can record
// what would have been shown.
class IInteractive
{
public:
    virtual ~IInteractive() = default;

    // A message box with an information icon and an OK button.
    virtual void information(const QString &caption, const QString &text) = 0;
    // A message box with a warning icon and an OK button.
    virtual void warning(const QString &caption, const QString &text) = 0;
    // A plain message dialog with an OK button and no icon.
    virtual void plainMessage(const QString &text) = 0;
    // A question with Yes and No buttons; true for Yes.
    virtual bool question(const QString &caption, const QString &text) = 0;
    // The same question for a step that is hard to undo: No is the answer
    // that Enter gives. Without a box of its own it is asked as question().
    virtual bool questionDefaultNo(const QString &caption, const QString &text) { return question(caption, text); }
    // An error that stops the routine that met it (file errors and the like).
    virtual void error(const QString &text) = 0;
};
