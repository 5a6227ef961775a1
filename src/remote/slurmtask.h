#pragma once

#include <QByteArray>
#include <QString>

// What the controller and a Slurm array element share in a submission's
// folder (on the cluster's shared file system), one set of files per
// element ID:
//   ID.task    the task (JSON): the engine, its arguments with the output
//              in ID.out/, the input's path, size and sample hash
//   ID.log     the engine's output as it comes (appended across requeues)
//   ID.slurm   what Slurm itself writes for the element
//   ID.out/    the unchecked output
//   ID.result  the end (JSON), written whole (a temporary file renamed)
//   ID.beat    touched by the element while it works
// and, for the whole submission, "alive" (touched by the controller while it
// waits), "owner" (host and process of the controller), "jobid" and the job
// script. The files' times come from one clock, the file server's: an element
// compares its own ID.beat with "alive" to tell a controller gone.
namespace SlurmFiles {
inline QString task(const QString &folder, int id) { return QStringLiteral("%1/%2.task").arg(folder).arg(id); }
inline QString log(const QString &folder, int id) { return QStringLiteral("%1/%2.log").arg(folder).arg(id); }
inline QString slurmLog(const QString &folder, int id) { return QStringLiteral("%1/%2.slurm").arg(folder).arg(id); }
inline QString outFolder(const QString &folder, int id) { return QStringLiteral("%1/%2.out").arg(folder).arg(id); }
inline QString result(const QString &folder, int id) { return QStringLiteral("%1/%2.result").arg(folder).arg(id); }
inline QString beat(const QString &folder, int id) { return QStringLiteral("%1/%2.beat").arg(folder).arg(id); }
inline QString alive(const QString &folder) { return folder + QStringLiteral("/alive"); }
// How long "alive" may stay untouched before the controller counts as gone.
inline constexpr int ControllerSilenceSecs = 120;
} // namespace SlurmFiles

// A cheap fingerprint of a file: SHA-256 over its size and its first, middle
// and last MiB (the whole file when smaller), hex; empty when it cannot be
// read. Tells a node's file at the controller's path from another one.
QByteArray InputSample(const QString &path, qint64 *size = nullptr);

// The node's side (vantorix --worker --slurm-task FOLDER): converts the task
// $SLURM_ARRAY_TASK_ID of the submission in FOLDER and writes its result.
// SIGTERM (scancel) ends the engine and writes no result.
int RunSlurmTask(const QString &folder);
