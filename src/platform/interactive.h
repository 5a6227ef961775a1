#pragma once

#include <QString>

#include <functional>

// Every message the program shows to the user goes through this interface, so
// the logic below the windows never opens a dialog itself and tests can record
// what would have been shown.
//
// Nothing here waits: a message or a question is opened and the call returns
// at once; what depends on it follows in its callback, from the program's one
// event loop. So whatever arrives while a box is up (a close, a Stop, a signal)
// is handled as at any other moment, once.
class IInteractive
{
public:
    // The kinds of message showMessage() shows.
    enum class MessageKind { Information, Warning, Plain, Error };
    // The answer that Enter gives to a question: No for a step that is hard
    // to undo.
    enum class DefaultAnswer { Yes, No };

    virtual ~IInteractive() = default;

    // A message with an OK button: an information or a warning icon with
    // `caption`; no icon (Plain) or an error icon with the program's name as
    // caption. Returns at once; `closed` (if any) follows once the message is
    // gone, never when its window went away first.
    virtual void showMessage(MessageKind kind, const QString &caption, const QString &text,
                             std::function<void()> closed = {}) = 0;

    // A question with Yes and No. Returns at once; `answered` follows with
    // true for Yes, false for No or a closed box, never when its window went
    // away first.
    virtual void ask(const QString &caption, const QString &text, DefaultAnswer enter,
                     std::function<void(bool)> answered) = 0;

    // Messages nobody waits for.
    void information(const QString &caption, const QString &text)
    {
        showMessage(MessageKind::Information, caption, text);
    }
    void warning(const QString &caption, const QString &text) { showMessage(MessageKind::Warning, caption, text); }
    void plainMessage(const QString &text) { showMessage(MessageKind::Plain, QString(), text); }
    // An error that stops the routine that met it (file errors and the like).
    void error(const QString &text) { showMessage(MessageKind::Error, QString(), text); }
};
