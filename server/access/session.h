#pragma once

#include <ctime>
#include <string>

// How long a sign-in lasts.
constexpr std::time_t session_seconds = 12L * 60 * 60;

// The viewer's sign-in, kept by the browser alone: the cookie holds its own expiry, sealed with a
// key derived from the receiver's token. Every receiver sharing the token file accepts it, and
// changing the token ends every session.
class SessionSeal {
public:
    // token: "" seals nothing and accepts nothing.
    explicit SessionSeal(const std::string &token);

    // A cookie value valid until now + session_seconds; "" when none can be made.
    std::string issue(std::time_t now) const;

    // True when value was issued with this token and has not expired.
    bool valid(const std::string &value, std::time_t now) const;

private:
    std::string seal(const std::string &text) const;

    std::string key_;
};

// The value of the cookie called name in a Cookie header, or "".
std::string cookie_named(const std::string &header, const std::string &name);
