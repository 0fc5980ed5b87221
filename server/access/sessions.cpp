#include "server/access/sessions.h"

#include "server/access/passwords.h"

int open_session(SqlConnection &connection, const std::string &name, std::time_t now,
                 std::string &cookie) {
    const std::string value = random_hex(32);
    if (value.empty() ||
        connection.run("DELETE FROM sessions WHERE expires <= $1", {static_cast<long long>(now)}) !=
            0 ||
        connection.run("INSERT INTO sessions (id, user_name, expires) VALUES ($1, $2, $3)",
                       {digest_hex(value), name, static_cast<long long>(now + session_seconds)}) !=
            0)
        return receiver_failed;
    cookie = value;
    return 0;
}

int session_reader(SqlConnection &connection, const std::string &cookie, std::time_t now,
                   Reader &reader) {
    SqlRows rows;
    if (connection.run("SELECT users.name, users.role, users.must_change FROM sessions"
                       " JOIN users ON users.name = sessions.user_name"
                       " WHERE sessions.id = $1 AND sessions.expires > $2 AND users.disabled = 0",
                       {digest_hex(cookie), static_cast<long long>(now)}, &rows) != 0)
        return receiver_failed;
    if (rows.empty() || !role_named(rows[0][1], reader.role))
        return session_missing;
    reader.name = rows[0][0];
    reader.must_change = rows[0][2] == "1";
    return 0;
}

int end_session(SqlConnection &connection, const std::string &cookie) {
    return connection.run("DELETE FROM sessions WHERE id = $1", {digest_hex(cookie)});
}

int end_sessions_of(SqlConnection &connection, const std::string &name) {
    return connection.run("DELETE FROM sessions WHERE user_name = $1", {name});
}

std::string cookie_named(const std::string &header, const std::string &name) {
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(';', start);
        if (end == std::string::npos)
            end = header.size();
        std::size_t first = header.find_first_not_of(' ', start);
        if (first < end && header.compare(first, name.size() + 1, name + "=") == 0)
            return header.substr(first + name.size() + 1, end - first - name.size() - 1);
        start = end + 1;
    }
    return {};
}
