#pragma once

// An unexpected chair result ends the process with status 1. The window records it here; main
// reads it after the normal shut-down, which also covers a stop met while the window is closing.
void record_fatal_stop();
bool fatal_stop_recorded();
