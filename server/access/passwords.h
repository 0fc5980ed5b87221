#pragma once

#include <string>

// Passwords are kept as Argon2id hashes (libsodium), at its interactive limits: some 0.1 s and
// 64 MiB a hash. Hashes are made one at a time, so sign-ins together never hold more than that.

// password's hash, with its salt and limits, as text; "" when it cannot be made.
std::string hash_password(const std::string &password);

// Whether password is the one hash was made from. hash "" takes as long and matches nothing, so an
// unknown name answers as slowly as a known one.
bool password_matches(const std::string &hash, const std::string &password);

// A new one-time password: 20 letters and digits from the system's random source.
std::string one_time_password();

// Random bytes as lower-case hex, 2 * bytes characters.
std::string random_hex(std::size_t bytes);

// The hex of text's BLAKE2b hash: what is kept of a session's cookie.
std::string digest_hex(const std::string &text);
