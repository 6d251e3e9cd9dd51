#pragma once

// Exit statuses of qv_demo; listed in --help.
enum ExitCode {
    kExitOk = 0,
    kExitFailure = 1,         // an unexpected fault (out of memory, a library exception)
    kExitUsage = 2,           // bad option or region on the command line
    kExitInput = 3,           // the video cannot be opened or has no first frame
    kExitOutput = 4,          // an output file cannot be written, or the disk filled up mid-run
    kExitModelInit = 5,       // the detector could not be created
    kExitRegions = 6,         // the detector rejected the regions
    kExitSourceLost = 7,      // a stream or camera stopped delivering frames mid-run
    kExitInterrupted = 128,   // plus the signal number: 130 for SIGINT, 143 for SIGTERM
};
