#pragma once

#include "server/access/accounts.h"
#include "server/store/sql_connection.h"

#include <ctime>
#include <string>

// A sign-in lasts this long at most.
constexpr std::time_t session_seconds = 12L * 60 * 60;

// Sessions are rows of the database the receivers share, so ending one there ends it on every
// receiver at once. A row keeps a hash of its cookie, never the cookie.

constexpr int session_missing = -2;

// A new session of the account called name until now + session_seconds; its cookie's value in
// cookie. 0 or receiver_failed.
int open_session(SqlConnection &connection, const std::string &name, std::time_t now,
                 std::string &cookie);

// The reader of the live session whose cookie this is, its account enabled. 0, session_missing or
// receiver_failed.
int session_reader(SqlConnection &connection, const std::string &cookie, std::time_t now,
                   Reader &reader);

int end_session(SqlConnection &connection, const std::string &cookie);

int end_sessions_of(SqlConnection &connection, const std::string &name);

// The value of the cookie called name in a Cookie header, or "".
std::string cookie_named(const std::string &header, const std::string &name);
