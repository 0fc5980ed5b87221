#pragma once

#include "server/store/sql_connection.h"

#include <string>
#include <vector>

// What a reader may do: the machines' shared token reads reports; "leitura" reads services;
// "admin" also reads the audit and manages the staff's data.
enum class Role { machine, reading, admin };

// Who a request reads as: a user, or "token".
struct Reader {
    std::string name;
    Role role = Role::machine;
    bool must_change = false; // signed in with a one-time password not yet changed
    bool admin() const { return role == Role::admin; }
};

const char *role_name(Role role);

// The role called text ("leitura" or "admin"); false for any other text.
bool role_named(const std::string &text, Role &role);

struct Account {
    std::string name;
    Role role = Role::reading;
    std::string password; // its hash
    bool must_change = true;
    bool disabled = false;
    std::string created;
};

constexpr int account_missing = -2;

// A name an account may have: 1 to 64 letters, digits, '.', '_', '-' or '@', and not "token",
// which the audit keeps for the shared token.
bool account_name_valid(const std::string &name);

// 0, or receiver_failed (the name taken, among others).
int add_account(SqlConnection &connection, const Account &account);

// 0, account_missing or receiver_failed.
int find_account(SqlConnection &connection, const std::string &name, Account &account);

int list_accounts(SqlConnection &connection, std::vector<Account> &accounts);

// Sets the password hash, whether it must be changed at the next sign-in, and enables the
// account; ends every session of it. 0, account_missing or receiver_failed.
int set_password(SqlConnection &connection, const std::string &name, const std::string &hash,
                 bool must_change);

// Disables the account and ends its sessions. 0, account_missing or receiver_failed.
int disable_account(SqlConnection &connection, const std::string &name);
