#pragma once

// How long the report waits for the server's whole answer: 15000 ms. Tests put a shorter wait in
// its place to exercise the timeout without spending fifteen seconds.
constexpr int report_answer_wait_default_ms = 15000;

int report_answer_wait_ms();

// Installs ms (0 or less restores the default) and returns the wait it replaced.
int replace_report_answer_wait(int ms);
