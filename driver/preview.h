#pragma once
#include "driver/run_options.h"

// Reads the first frame of the input, draws a coordinate grid and the regions
// on it (thick, numbered), writes it as PNG to options.preview_path, and
// prints the frame size and rate. Regions outside the frame are named on
// standard error but still drawn. Returns the exit status: 0, 3 when the
// input cannot be read, 4 when the picture cannot be written.
int write_preview(const RunOptions &options);
