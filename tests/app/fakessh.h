#pragma once
// A stand-in for ssh (tests of the hosts a batch converts on).

#include <QDir>
#include <QFile>
#include <QString>

// A stand-in for ssh: runs the command on this machine as the host named
// would, with a worker folder of its own per host. "dead…" cannot be
// reached; "engineless…" loses its engine once checked; "damaging…" changes
// the bytes of what it sends back; "slow…" takes two seconds to be checked
// (so that a sick host is ready first and gets tasks).
inline const char FakeSsh[] = R"(#!/bin/sh
while [ $# -gt 0 ]; do
    case "$1" in
        -O) exit 0 ;;
        -F|-o) shift 2 ;;
        -T) shift ;;
        --) shift; break ;;
        *) break ;;
    esac
done
host="$1"; shift
export VANTORIX_FARM_CACHE="$FAKE_SSH_ROOT/$host"
case "$host" in
    slow*) case "$*" in *--check*) sleep 2 ;; esac ;;
    dead*) echo "ssh: connect to host $host port 22: Connection refused" >&2; exit 255 ;;
    engineless*) case "$*" in *--check*) ;; *) rm -f "$VANTORIX_FARM_CACHE"/program-*/wmaspi.dll ;; esac ;;
    damaging*) sh -c "$*" | perl -e '$| = 1; while (sysread(STDIN, $b, 65536)) { $b =~ s/FAKE-MEDIA/FAKE-MEDIB/g; syswrite(STDOUT, $b) }'; exit 0 ;;
esac
exec sh -c "$*"
)";

// Writes the stand-in as `folder`/ssh, ready to be found on the PATH.
inline bool WriteFakeSsh(const QString &folder)
{
    QDir().mkpath(folder);
    QFile ssh(folder + QStringLiteral("/ssh"));
    if (!ssh.open(QIODevice::WriteOnly) || ssh.write(FakeSsh) < 0)
        return false;
    ssh.close();
    return ssh.setPermissions(ssh.permissions() | QFileDevice::ExeOwner);
}
