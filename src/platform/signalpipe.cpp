#include "platform/signalpipe.h"

#include <QSocketNotifier>

#include <iterator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The signals to end with, then the job-control ones (taken on request).
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT};
constexpr std::size_t EndingSignals = 3;

// Written by the handler, so plain ints: nothing else is safe there.
int s_readEnd = -1;
int s_writeEnd = -1;
// Which of Signals this program handles: a signal ignored when the program
// started (nohup, a background job of a script) stays ignored.
bool s_handled[std::size(Signals)] = {};

void onSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(s_writeEnd, &byte, 1);
    errno = saved;
}

void install(int signal)
{
    struct sigaction action = {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

// Handles Signals[first..last) that were not ignored at the start.
void take(std::size_t first, std::size_t last)
{
    for (std::size_t i = first; i < last; ++i) {
        struct sigaction before = {};
        ::sigaction(Signals[i], nullptr, &before);
        s_handled[i] = before.sa_handler != SIG_IGN;
        if (s_handled[i])
            install(Signals[i]);
    }
}
#endif

} // namespace

SignalPipe::SignalPipe(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (s_writeEnd >= 0)
        return; // another instance has the signals
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    s_readEnd = fds[0];
    s_writeEnd = fds[1];
    m_notifier = new QSocketNotifier(s_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalPipe::drain);
    take(0, EndingSignals);
#endif
}

SignalPipe::~SignalPipe()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < std::size(Signals); ++i) {
        if (s_handled[i])
            std::signal(Signals[i], SIG_DFL);
        s_handled[i] = false;
    }
    delete m_notifier;
    ::close(s_readEnd);
    ::close(s_writeEnd);
    s_readEnd = -1;
    s_writeEnd = -1;
#endif
}

void SignalPipe::handleJobControl()
{
#ifdef Q_OS_UNIX
    if (m_notifier)
        take(EndingSignals, std::size(Signals));
#endif
}

void SignalPipe::stopProgram()
{
#ifdef Q_OS_UNIX
    // The default action for a moment, the signal to ourselves; the process
    // stops inside raise() and goes on from there when continued.
    std::signal(SIGTSTP, SIG_DFL);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    ::pthread_sigmask(SIG_UNBLOCK, &tstp, nullptr);
    ::raise(SIGTSTP);
    if (s_handled[EndingSignals])
        install(SIGTSTP);
#endif
}

void SignalPipe::drain()
{
#ifdef Q_OS_UNIX
    char byte = 0;
    while (::read(s_readEnd, &byte, 1) == 1) {
        const int signal = static_cast<unsigned char>(byte);
        if (signal == SIGTSTP)
            emit suspendRequested();
        else if (signal == SIGCONT)
            emit continued();
        else
            emit caught(signal);
    }
#endif
}
