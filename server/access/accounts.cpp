#include "server/access/accounts.h"

#include "server/access/sessions.h"
#include "server/text/utc_time.h"

namespace {

Account account_of(const SqlRow &row) {
    Account account;
    account.name = row[0];
    role_named(row[1], account.role);
    account.password = row[2];
    account.must_change = row[3] == "1";
    account.disabled = row[4] == "1";
    account.created = row[5];
    return account;
}

// Runs an UPDATE of the account called name, then ends its sessions.
int change(SqlConnection &connection, const std::string &name, const std::string &sql,
           const std::vector<SqlValue> &params) {
    Account account;
    const int found = find_account(connection, name, account);
    if (found != 0)
        return found;
    return connection.run(sql, params) == 0 ? end_sessions_of(connection, name) : receiver_failed;
}

constexpr const char *columns = "SELECT name, role, password, must_change, disabled, created"
                                " FROM users";

} // namespace

const char *role_name(Role role) {
    return role == Role::admin ? "admin" : role == Role::reading ? "leitura" : "token";
}

bool role_named(const std::string &text, Role &role) {
    if (text != "admin" && text != "leitura")
        return false;
    role = text == "admin" ? Role::admin : Role::reading;
    return true;
}

bool account_name_valid(const std::string &name) {
    return !name.empty() && name.size() <= 64 && name != "token" &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                  "0123456789._-@") == std::string::npos;
}

int add_account(SqlConnection &connection, const Account &account) {
    return connection.run("INSERT INTO users (name, role, password, must_change, disabled, created)"
                          " VALUES ($1, $2, $3, $4, 0, $5)",
                          {account.name, role_name(account.role), account.password,
                           account.must_change ? 1LL : 0LL,
                           utc_iso8601(std::chrono::system_clock::now())});
}

int find_account(SqlConnection &connection, const std::string &name, Account &account) {
    SqlRows rows;
    if (connection.run(std::string(columns) + " WHERE name = $1", {name}, &rows) != 0)
        return receiver_failed;
    if (rows.empty())
        return account_missing;
    account = account_of(rows[0]);
    return 0;
}

int list_accounts(SqlConnection &connection, std::vector<Account> &accounts) {
    SqlRows rows;
    if (connection.run(std::string(columns) + " ORDER BY name", {}, &rows) != 0)
        return receiver_failed;
    for (const SqlRow &row : rows)
        accounts.push_back(account_of(row));
    return 0;
}

int set_password(SqlConnection &connection, const std::string &name, const std::string &hash,
                 bool must_change) {
    return change(connection, name,
                  "UPDATE users SET password = $2, must_change = $3, disabled = 0 WHERE name = $1",
                  {name, hash, must_change ? 1LL : 0LL});
}

int disable_account(SqlConnection &connection, const std::string &name) {
    return change(connection, name, "UPDATE users SET disabled = 1 WHERE name = $1", {name});
}
