// Program entry: the run's result is the exit status.
#include "main/runlog.h"

int main(int argc, char** argv)
{
    return mdRun(argc, argv);
}
