#include "server/users_command.h"

#include "server/access/accounts.h"
#include "server/access/passwords.h"
#include "server/store/report_store.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

struct UsersCommand {
    std::string action; // add, list, disable, reset
    std::string name;
    std::string role;
    std::string database = "reports.sqlite3";
};

int parse(int argc, const char *const *argv, UsersCommand &command, std::string &error) {
    command.action = argc > 2 ? argv[2] : "";
    if (command.action != "add" && command.action != "list" && command.action != "disable" &&
        command.action != "reset") {
        error = "users needs add, list, disable or reset";
        return receiver_failed;
    }
    for (int i = 3; i < argc; ++i) {
        const std::string word = argv[i];
        if ((word == "--database" || word == "--role") && i + 1 < argc)
            (word == "--role" ? command.role : command.database) = argv[++i];
        else if (word.rfind("--", 0) != 0 && command.name.empty() && command.action != "list")
            command.name = word;
        else {
            error = "unexpected argument: " + word;
            return receiver_failed;
        }
    }
    Role role = Role::reading;
    if (command.action != "list" && !account_name_valid(command.name))
        error = "a user's name is 1 to 64 letters, digits, '.', '_', '-' or '@' (not \"token\")";
    else if ((command.action == "add") != !command.role.empty() ||
             (command.action == "add" && !role_named(command.role, role)))
        error = "add, and add only, takes --role admin or --role leitura";
    return error.empty() ? 0 : receiver_failed;
}

int fail(const std::string &message) {
    std::fprintf(stderr, "report-receiver: users: %s\n", message.c_str());
    return 1;
}

// A new one-time password for the account, printed for its user. The exit status.
int with_password(ReportStore &store, const UsersCommand &command) {
    const std::string password = one_time_password();
    const std::string hash = hash_password(password);
    if (hash.empty())
        return fail("no password could be made");
    Account account;
    account.name = command.name;
    account.password = hash;
    role_named(command.role, account.role);
    const int done = store.keep([&](SqlConnection &connection) {
        return command.action == "add" ? add_account(connection, account)
                                       : set_password(connection, command.name, hash, true);
    });
    if (done == account_missing)
        return fail("no user called " + command.name);
    if (done != 0)
        return fail("cannot " + command.action + " " + command.name + ": " + store.failure());
    std::printf("one-time password of %s (to be changed at the first sign-in): %s\n",
                command.name.c_str(), password.c_str());
    return 0;
}

int list(ReportStore &store) {
    std::vector<Account> accounts;
    if (store.keep([&](SqlConnection &c) { return list_accounts(c, accounts); }) != 0)
        return fail("cannot list the users: " + store.failure());
    for (const Account &account : accounts)
        std::printf("%s\t%s\t%s\t%s\n", account.name.c_str(), role_name(account.role),
                    account.disabled      ? "desativado"
                    : account.must_change ? "senha provisoria"
                                          : "ativo",
                    account.created.c_str());
    return 0;
}

} // namespace

int users_command(int argc, const char *const *argv) {
    UsersCommand command;
    std::string error;
    if (parse(argc, argv, command, error) != 0) {
        std::fprintf(stderr, "report-receiver: users: %s\n", error.c_str());
        return 2;
    }
    std::unique_ptr<ReportStore> store;
    if (open_report_store(command.database, store, error) != 0)
        return fail("--database: " + error);
    if (command.action == "list")
        return list(*store);
    if (command.action != "disable")
        return with_password(*store, command);
    const int done = store->keep(
        [&](SqlConnection &connection) { return disable_account(connection, command.name); });
    if (done == account_missing)
        return fail("no user called " + command.name);
    return done == 0 ? 0 : fail("cannot disable " + command.name + ": " + store->failure());
}
