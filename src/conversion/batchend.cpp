#include "conversion/batchend.h"

#include "conversion/conversionview.h"
#include "platform/interactive.h"
#include "platform/powercontrol.h"
#include "platform/shell.h"

#include <QDir>
#include <QPointer>

using Kind = IInteractive::MessageKind;

BatchEnd::BatchEnd(ConversionView &view, IInteractive &interactive, IShell &shell, IPowerControl &power,
                   QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_interactive(interactive)
    , m_shell(shell)
    , m_power(power)
{
}

void BatchEnd::begin(const BatchOutcome &outcome)
{
    m_outcome = outcome;
    m_active = true;
    ++m_generation;
    if (!outcome.startFailure.isEmpty()) {
        show(Kind::Plain, QString(), outcome.startFailure, &BatchEnd::finishOpen);
        return;
    }
    if (outcome.stopped) {
        // No end-of-batch choice after a stop.
        show(Kind::Information, tr("Cancel"), tr("The Coversion is canceled."),
             &BatchEnd::finishOpen);
        return;
    }
    const BatchOptions options = m_view.batchOptions();
    if (options.turnOff) {
        // A way back: the window counts down first.
        const int generation = m_generation;
        m_view.requestPowerOffConfirmation([self = QPointer<BatchEnd>(this), generation](bool confirmed) {
            if (self && self->m_active && self->m_generation == generation)
                self->onPowerOffAnswer(confirmed);
        });
        return;
    }
    if (options.exitProgram) {
        finish(true);
        return;
    }
    complete();
}

void BatchEnd::abandon()
{
    m_active = false;
    ++m_generation;
}

void BatchEnd::show(IInteractive::MessageKind kind, const QString &caption, const QString &text, void (BatchEnd::*next)())
{
    const int generation = m_generation;
    m_interactive.showMessage(kind, caption, text,
                              [self = QPointer<BatchEnd>(this), generation, next] {
                                  if (self && self->m_active && self->m_generation == generation)
                                      (self.data()->*next)();
                              });
}

void BatchEnd::onPowerOffAnswer(bool confirmed)
{
    if (!confirmed) {
        complete();
        return;
    }
    // A machine that cannot be turned off says so instead of closing the
    // program for nothing.
    if (!m_power.canPowerOff()) {
        show(Kind::Warning, tr("Turn off"),
             tr("The computer could not be turned off: ") + m_power.lastError(), &BatchEnd::complete);
        return;
    }
    m_power.powerOff();
    finish(true);
}

void BatchEnd::complete()
{
    if (m_outcome.failed == 0)
        show(Kind::Information, tr("Complete"),
             tr("The coversion is completed successfully."), &BatchEnd::openFolder);
    else
        show(Kind::Warning, tr("Complete"),
             tr("The conversion is finished, but %1 of %2 files failed.")
                 .arg(m_outcome.failed)
                 .arg(m_outcome.total),
             &BatchEnd::openFolder);
}

void BatchEnd::openFolder()
{
    // The folder this batch wrote to, made absolute against the program's
    // working folder as the engine saw it.
    if (m_view.batchOptions().openDir)
        m_shell.openPath(QDir::current().absoluteFilePath(m_outcome.outputFolder));
    finish(false);
}

void BatchEnd::finish(bool closeWindow)
{
    m_active = false;
    ++m_generation;
    emit done(closeWindow);
}
