#pragma once

// The one platform call of the link besides the cable driver: a blocking sleep of the calling
// thread. Tests put their own function in its place to record the waits instead of spending them.
using SleepFunction = void (*)(unsigned milliseconds);

void msleep(unsigned milliseconds);

// Installs fn (null restores the real sleep) and returns the function it replaced.
SleepFunction replace_sleep_function(SleepFunction fn);
