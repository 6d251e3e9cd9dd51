#pragma once

// SIGINT and SIGTERM ask the run to stop after the frame in hand; the run then
// ends in order (average printed, output files closed).
void install_stop_handlers();

// The signal that asked for a stop, or 0.
int stop_requested();

// Forgets an earlier request (for tests that run several times in one process).
void clear_stop_request();
