#pragma once

#include "server/store/sql_connection.h"

#include <string>
#include <vector>

// Failed sign-ins, counted per account and per address in the database the receivers share.
// Five are free; after them each try waits 1 s, then 2, 4, ... up to a minute from the last
// failure. A failure a quarter of an hour after the one before counts from one again, and a
// sign-in clears its account's count, so no one is locked out for good.

constexpr int free_failures = 5;
constexpr long long longest_wait_ms = 60 * 1000;

// The wait after failures failed sign-ins, in milliseconds.
long long throttle_wait_ms(long long failures);

// How long a try on keys must still wait at now_ms (0: none) into wait_ms.
// 0 or receiver_failed.
int throttle_left(SqlConnection &connection, const std::vector<std::string> &keys, long long now_ms,
                  long long &wait_ms);

// Counts a failed try on each of keys at now_ms. 0 or receiver_failed.
int note_failure(SqlConnection &connection, const std::vector<std::string> &keys, long long now_ms);

int clear_failures(SqlConnection &connection, const std::string &key);
