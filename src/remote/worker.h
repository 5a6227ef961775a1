#pragma once

#include <QString>

// The worker mode (vantorix --worker): converts the one task the controller
// describes on standard input and answers on standard output
// (WorkerProtocol), in a work folder of its own under the worker folder that
// it removes again. Its input ending (the controller or its connection
// gone) ends the engine at once. With --check it only says whether this
// machine can convert: "vantorix-ok CORES" or "vantorix-unfit REASON".
bool WantsWorker(int argc, char **argv);
int RunWorker(int argc, char **argv);

// The folder a worker keeps its programs and work in: $VANTORIX_FARM_CACHE,
// else vantorix-farm in the user's cache folder.
QString WorkerFolder();

// Exit statuses of the worker mode.
constexpr int WorkerDone = 0;
constexpr int WorkerLost = 3;   // its input ended before the task was done
constexpr int WorkerUnfit = 4;  // --check: this machine cannot convert
