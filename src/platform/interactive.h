#pragma once

#include <QString>

#include <functional>

// Every message the program shows to the user goes through this interface, so
// the logic below the windows never opens a dialog itself and tests can record
// what would have been shown.
class IInteractive
{
public:
    // The kinds of message showMessage() shows, as the calls below show them.
    enum class MessageKind { Information, Warning, Plain, Error };

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

    // A message that does not hold up its caller: it returns at once, and
    // `closed` (if any) follows once the message is gone. `caption` is not
    // used for Plain and Error. Without a way of its own to show a message
    // and go on, the message is shown with the calls above, then `closed`
    // follows.
    virtual void showMessage(MessageKind kind, const QString &caption, const QString &text,
                             std::function<void()> closed = {})
    {
        switch (kind) {
        case MessageKind::Information: information(caption, text); break;
        case MessageKind::Warning: warning(caption, text); break;
        case MessageKind::Plain: plainMessage(text); break;
        case MessageKind::Error: error(text); break;
        }
        if (closed)
            closed();
    }
};
