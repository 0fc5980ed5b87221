#pragma once

// The whole life of the tool: single-instance lock, the window, the event loop and the shut-down
// in order. Returns the process exit status.
int run_application(int argc, char *argv[]);
