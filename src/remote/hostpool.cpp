#include "remote/hostpool.h"

#include "platform/logging.h"
#include "remote/remoteengine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The worker folder on a host, as a shell there names it (WorkerFolder()).
const QString CacheFolder =
    QStringLiteral("c=\"${VANTORIX_FARM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantorix-farm}\"; ");
constexpr int SlotsPerConnection = 8;
const QString ControlPrefix = QStringLiteral("vantorix-ssh-");

// Where the sockets' folder goes: a socket's path holds 107 bytes at most.
QDir controlParent()
{
    return QDir::tempPath().size() <= 40 ? QDir::temp() : QDir(QStringLiteral("/tmp"));
}

// Removes the socket folders of pools whose program was killed outright.
void tidyControlFolders()
{
    const QDir temp = controlParent();
    for (const QString &name : temp.entryList({ControlPrefix + QStringLiteral("*")}, QDir::Dirs)) {
        const pid_t pid = name.mid(ControlPrefix.size()).section(QLatin1Char('-'), 0, 0).toInt();
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(temp.filePath(name)).removeRecursively();
    }
}

// A process of its own group (a terminal's Ctrl+C reaches the program only).
// An ssh client is killed with the program, however the program ends (its
// worker then sees its input end); a worker on this machine sees its input
// end by itself, and removes its work folder before it ends.
void ownGroup(QProcess &process, bool diesWithProgram)
{
    const pid_t program = ::getpid();
    process.setChildProcessModifier([program, diesWithProgram] {
        ::setpgid(0, 0);
        ::signal(SIGPIPE, SIG_DFL);
        if (diesWithProgram) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != program)
                ::_exit(127);
        }
    });
}

} // namespace

HostList ParseHostList(const QString &text)
{
    HostList list;
    static const QRegularExpression line(QStringLiteral("^(?:(\\d+)/)?(\\S+)$"));
    int number = 0;
    for (QString entry : text.split(QLatin1Char('\n'))) {
        ++number;
        entry = entry.section(QLatin1Char('#'), 0, 0).trimmed();
        if (entry.isEmpty())
            continue;
        const QRegularExpressionMatch match = line.match(entry);
        const int slotCount = match.captured(1).toInt();
        if (!match.hasMatch() || (match.hasCaptured(1) && (slotCount < 1 || slotCount > 64))
            || match.captured(2).startsWith(QLatin1Char('-'))) {
            list.error = HostPool::tr("line %1 \"%2\" is not [N/][user@]host (N from 1 to 64)").arg(number).arg(entry);
            return list;
        }
        const HostLine host{match.captured(2), slotCount};
        const auto same = std::find_if(list.hosts.begin(), list.hosts.end(),
                                       [&](const HostLine &known) { return known.login == host.login; });
        if (same == list.hosts.end())
            list.hosts << host;
        else if (same->slotCount != 0)
            same->slotCount = host.slotCount == 0 ? 0 : std::max(same->slotCount, host.slotCount);
    }
    if (list.hosts.isEmpty())
        list.error = HostPool::tr("it names no host");
    return list;
}

HostPool::HostPool(QList<HostLine> hosts, Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_control(controlParent().filePath(ControlPrefix + QString::number(::getpid()) + QStringLiteral("-XXXXXX")))
{
    tidyControlFolders();
    for (const HostLine &line : hosts) {
        Host host;
        host.line = line;
        host.busy = QList<bool>(line.slotCount > 0 ? line.slotCount : std::max(1, m_settings.defaultSlots), false);
        if (line.local())
            host.state = State::Ready;
        m_hosts << host;
    }
}

void HostPool::packProgram()
{
    if (!m_program.isEmpty())
        return;
    // The program as it is sent: this program and its engine (a link stays a link).
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-C"), m_settings.programFolder, QStringLiteral("--sort=name"),
                                      QStringLiteral("--owner=0"), QStringLiteral("--group=0"),
                                      QStringLiteral("--numeric-owner"), QStringLiteral("-cf"), QStringLiteral("-"),
                                      QStringLiteral("vantorix"), QStringLiteral("wmaspi.dll")});
    tar.waitForFinished(60000);
    m_program = tar.readAllStandardOutput();
    m_version = QString::fromLatin1(QCryptographicHash::hash(m_program, QCryptographicHash::Sha256).toHex().left(16));
}

HostPool::~HostPool()
{
    for (Host &host : m_hosts) {
        if (host.setup) {
            host.setup->kill();
            host.setup->waitForFinished(1000);
        }
    }
    // Workers asked to end (their input closed) remove their folders first.
    for (QProcess *worker : findChildren<QProcess *>(Qt::FindDirectChildrenOnly))
        worker->waitForFinished(RemoteEngine::KillDelayMs);
    // The master connections end with the batch.
    for (const QFileInfo &socket : QDir(m_control.path()).entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        QProcess exit;
        exit.setStandardOutputFile(QProcess::nullDevice());
        exit.setStandardErrorFile(QProcess::nullDevice());
        exit.start(m_settings.ssh, {QStringLiteral("-o"), QStringLiteral("ControlPath=") + socket.filePath(),
                                    QStringLiteral("-O"), QStringLiteral("exit"), QStringLiteral("host")});
        exit.waitForFinished(5000);
    }
}

int HostPool::totalSlots() const
{
    int total = 0;
    for (const Host &host : m_hosts)
        total += static_cast<int>(host.busy.size());
    return total;
}

TaskEngineFactory HostPool::engineFactory()
{
    return [this](const ltvItemData &task, const QString &params, QObject *parent) {
        return new RemoteEngine(*this, task, params, parent);
    };
}

QString HostPool::remoteShell(const QString &command) const
{
    return CacheFolder + QStringLiteral("p=\"$c/program-%1\"; ").arg(m_version) + command;
}

QStringList HostPool::sshArguments(int host, int slot) const
{
    QStringList arguments;
    if (!m_settings.sshConfig.isEmpty())
        arguments << QStringLiteral("-F") << m_settings.sshConfig;
    // A host that stops answering is given up after 30 s; a new connection
    // after 10 s.
    for (const char *option : {"BatchMode=yes", "ConnectTimeout=10", "ServerAliveInterval=10",
                               "ServerAliveCountMax=3", "ControlMaster=auto", "ControlPersist=60"})
        arguments << QStringLiteral("-o") << QLatin1String(option);
    arguments << QStringLiteral("-o")
              << QStringLiteral("ControlPath=%1/%2-%3").arg(m_control.path()).arg(host).arg(slot / SlotsPerConnection);
    arguments << QStringLiteral("-T") << QStringLiteral("--") << m_hosts.at(host).line.login;
    return arguments;
}

void HostPool::prepareWorker(QProcess &process, int host, int slot) const
{
    ownGroup(process, !m_hosts.at(host).line.local());
    if (m_hosts.at(host).line.local()) {
        process.setProgram(m_settings.programFolder + QStringLiteral("/vantorix"));
        process.setArguments({QStringLiteral("--worker")});
        return;
    }
    process.setProgram(m_settings.ssh);
    process.setArguments(sshArguments(host, slot) << remoteShell(QStringLiteral("exec \"$p/vantorix\" --worker")));
}

void HostPool::check(int host, bool send)
{
    Host &entry = m_hosts[host];
    entry.state = State::Checking;
    if (!entry.line.local())
        packProgram();
    auto *process = new QProcess(this);
    entry.setup = process;
    ownGroup(*process, true);
    const QString command =
        send ? QStringLiteral("mkdir -p \"$c\" && t=\"$(mktemp -d \"$c/.unpack.XXXXXX\")\" && tar -xf - -C \"$t\" && "
                              "{ mv -T \"$t\" \"$p\" 2>/dev/null || rm -rf \"$t\"; }; exec \"$p/vantorix\" --worker --check")
             : QStringLiteral("if [ -x \"$p/vantorix\" ]; then exec \"$p/vantorix\" --worker --check; "
                              "else echo vantorix-missing; fi");
    if (entry.line.local()) {
        process->setProgram(m_settings.programFolder + QStringLiteral("/vantorix"));
        process->setArguments({QStringLiteral("--worker"), QStringLiteral("--check")});
        send = true;
    } else {
        process->setProgram(m_settings.ssh);
        process->setArguments(sshArguments(host, 0) << remoteShell(command));
    }
    connect(process, &QProcess::finished, this, [this, host, send] { onChecked(host, send); });
    connect(process, &QProcess::errorOccurred, this, [this, host](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onChecked(host, true);
    });
    process->start();
    if (send && !entry.line.local())
        process->write(m_program);
    process->closeWriteChannel();
}

void HostPool::onChecked(int host, bool sent)
{
    Host &entry = m_hosts[host];
    if (!entry.setup)
        return;
    QProcess *process = std::exchange(entry.setup, nullptr);
    process->deleteLater();
    // Left out while it was checked: it stays out.
    if (entry.state == State::Down)
        return;
    const QString out = QString::fromLocal8Bit(process->readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
    static const QRegularExpression answer(QStringLiteral("^vantorix-(ok|unfit|missing)(?: (.*))?$"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = answer.match(out);
    const QString word = match.captured(1);
    if (word == QLatin1String("missing") && !sent) {
        check(host, true);
        return;
    }
    if (word == QLatin1String("ok")) {
        qCInfo(lcRun) << "host" << entry.line.login << "is ready";
        entry.state = State::Ready;
        grant();
        return;
    }
    QString reason = word == QLatin1String("unfit") ? match.captured(2) : err.section(QLatin1Char('\n'), -1);
    if (reason.isEmpty())
        reason = process->error() == QProcess::FailedToStart
                     ? tr("%1 cannot be started: %2").arg(m_settings.ssh, process->errorString())
                     : tr("the program does not start there (status %1)").arg(process->exitCode());
    setDown(host, reason);
}

void HostPool::setDown(int host, const QString &reason)
{
    m_hosts[host].state = State::Down;
    emit notice(tr("leaving out %1: %2").arg(m_hosts.at(host).line.login, reason));
    grant();
}

bool HostPool::hasOtherHost(const RemoteEngine *engine, int host) const
{
    for (int other = 0; other < m_hosts.size(); ++other)
        if (other != host && m_hosts.at(other).state != State::Down && !engine->avoids(other))
            return true;
    return false;
}

void HostPool::leaveOut(int host, const QString &reason)
{
    if (m_hosts.at(host).state != State::Down)
        setDown(host, reason);
}

void HostPool::request(RemoteEngine *engine)
{
    m_waiting << engine;
    for (int host = 0; host < m_hosts.size(); ++host)
        if (m_hosts.at(host).state == State::Unknown)
            check(host, false);
    grant();
}

void HostPool::cancel(RemoteEngine *engine)
{
    m_waiting.removeAll(engine);
}

void HostPool::release(int host, int slot)
{
    if (host >= 0 && host < m_hosts.size() && slot >= 0 && slot < m_hosts.at(host).busy.size())
        m_hosts[host].busy[slot] = false;
    grant();
}

void HostPool::reportFailure(int host, const QString &reason)
{
    qCInfo(lcRun).noquote() << "host" << m_hosts.at(host).line.login << "failed a task:" << reason;
    emit notice(tr("%1 failed a task (%2); it is checked again").arg(m_hosts.at(host).line.login, reason));
    if (m_hosts.at(host).state == State::Ready)
        check(host, false);
}

void HostPool::grant()
{
    for (qsizetype i = 0; i < m_waiting.size();) {
        RemoteEngine *engine = m_waiting.at(i);
        int best = -1;
        int bestSlot = -1;
        double bestLoad = 2;
        bool someLeft = false;
        for (int host = 0; host < m_hosts.size(); ++host) {
            const Host &entry = m_hosts.at(host);
            if (entry.state == State::Down || engine->avoids(host))
                continue;
            someLeft = true;
            if (entry.state != State::Ready)
                continue;
            const qsizetype free = entry.busy.indexOf(false);
            const double load = static_cast<double>(entry.busy.count(true)) / entry.busy.size();
            if (free >= 0 && load < bestLoad)
                best = host, bestSlot = static_cast<int>(free), bestLoad = load;
        }
        if (best >= 0) {
            m_waiting.removeAt(i);
            m_hosts[best].busy[bestSlot] = true;
            engine->onSlot(best, bestSlot);
            continue;
        }
        if (!someLeft) {
            m_waiting.removeAt(i);
            engine->onNoHost(tr("no host is left that can convert it"));
            continue;
        }
        ++i;
    }
}

QByteArray HostPool::inputHash(const QString &path, qint64 *size)
{
    const QFileInfo info(path);
    Hashed &known = m_hashes[path];
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
    if (known.size != info.size() || known.modified != modified || known.sha256.isEmpty()) {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file))
            known = Hashed{info.size(), modified, hash.result().toHex()};
        else
            known = Hashed{};
    }
    *size = known.size;
    return known.sha256;
}
