#pragma once
#include "driver/run_options.h"

// Runs the whole demo: opens the input, creates the working images and the
// output video, then for each frame converts, detects (creating the detector on
// the first processed frame), draws, reports, writes and shows. Returns the
// exit status (driver/exit_codes.h). Every file it opened is closed and valid
// on every way out.
int run_demo(const RunOptions &options);

// Silences the video backends' own console chatter (unless the user asked for
// it through their environment variables). Call before the first video is opened.
void quiet_video_backends();
