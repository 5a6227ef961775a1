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
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

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
    struct sigaction action = {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(Signals); ++i) {
        struct sigaction before = {};
        ::sigaction(Signals[i], nullptr, &before);
        s_handled[i] = before.sa_handler != SIG_IGN;
        if (s_handled[i])
            ::sigaction(Signals[i], &action, nullptr);
    }
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
    }
    delete m_notifier;
    ::close(s_readEnd);
    ::close(s_writeEnd);
    s_readEnd = -1;
    s_writeEnd = -1;
#endif
}

void SignalPipe::drain()
{
#ifdef Q_OS_UNIX
    char signal = 0;
    while (::read(s_readEnd, &signal, 1) == 1)
        emit caught(static_cast<unsigned char>(signal));
#endif
}
