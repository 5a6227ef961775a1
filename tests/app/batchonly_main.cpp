// The batch mode alone, linked with the batch library and what it brings:
// the program a test reads with ldd to see that the batch mode needs no
// widget library.
#include "batch/batchmode.h"

int main(int argc, char **argv)
{
    return RunBatch(argc, argv);
}
