#pragma once
#include "driver/run_options.h"

// Parses the command line into options. Returns -1 when the run should go on,
// otherwise the exit status to end with (0 after --help or --version, 2 after
// an error, which has been reported on standard error in one line plus a hint).
int parse_command_line(int argc, char **argv, RunOptions &options);
