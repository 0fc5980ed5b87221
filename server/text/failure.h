#pragma once

// What every fallible call of the receiver returns when it fails, with its message where it offers
// one; 0 is success. Only the store tells a few failures apart, with codes of its own.
constexpr int receiver_failed = -1;
