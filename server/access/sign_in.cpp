#include "server/access/access.h"

#include "server/access/passwords.h"
#include "server/access/sessions.h"
#include "server/access/sign_in_throttle.h"
#include "server/store/report_store.h"

#include <chrono>
#include <ctime>

namespace {

long long now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

constexpr std::size_t shortest_password = 10;

} // namespace

int Access::sign_in(const std::string &name, const std::string &password,
                    const std::string &address, std::string &cookie, Reader &reader,
                    long long &wait_ms) const {
    // What was typed as a name is kept only when it names an account: it may be a password.
    Account account;
    int found = account_missing;
    std::vector<std::string> keys{"endereco:" + address};
    const int waited = store_.keep([&](SqlConnection &connection) {
        found = find_account(connection, name, account);
        if (found == 0)
            keys.push_back("conta:" + name);
        return found == receiver_failed ? receiver_failed
                                        : throttle_left(connection, keys, now_ms(), wait_ms);
    });
    if (waited != 0)
        return receiver_failed;
    const std::string who = found == 0 ? name : "desconhecido";
    if (wait_ms > 0)
        return store_.record({who, address, "entrada", "", "aguarde"}) == 0 ? sign_in_waits
                                                                            : receiver_failed;
    const bool right = password_matches(found == 0 ? account.password : "", password);
    if (!right || account.disabled) {
        if (store_.keep([&](SqlConnection &connection) {
                return note_failure(connection, keys, now_ms());
            }) != 0 ||
            store_.record({who, address, "entrada", "", "recusado"}) != 0)
            return receiver_failed;
        return sign_in_refused;
    }
    const int opened = store_.keep([&](SqlConnection &connection) {
        return clear_failures(connection, "conta:" + name) == 0 &&
                       open_session(connection, name, std::time(nullptr), cookie) == 0 &&
                       append_audit(connection, {name, address, "entrada", "", "ok"}) == 0
                   ? 0
                   : receiver_failed;
    });
    reader = Reader{name, account.role, account.must_change};
    return opened;
}

int Access::sign_out(const HttpRequest &request) const {
    const std::string cookie = cookie_named(request.header("Cookie"), session_cookie);
    if (cookie.empty())
        return 0;
    return store_.keep([&](SqlConnection &connection) {
        Reader reader;
        if (session_reader(connection, cookie, std::time(nullptr), reader) == 0 &&
            append_audit(connection, {reader.name, request.client, "saida", "", "ok"}) != 0)
            return receiver_failed;
        return end_session(connection, cookie);
    });
}

int Access::change_password(const Reader &reader, const std::string &current,
                            const std::string &fresh, const std::string &address,
                            std::string &cookie) const {
    Account account;
    if (reader.role == Role::machine || store_.keep([&](SqlConnection &connection) {
            return find_account(connection, reader.name, account);
        }) != 0)
        return reader.role == Role::machine ? sign_in_refused : receiver_failed;
    const bool acceptable = fresh.size() >= shortest_password && fresh != current &&
                            password_matches(account.password, current);
    if (!acceptable)
        return store_.record({reader.name, address, "senha", "", "recusado"}) == 0
                   ? sign_in_refused
                   : receiver_failed;
    const std::string hash = hash_password(fresh);
    return store_.keep([&](SqlConnection &connection) {
        return !hash.empty() && set_password(connection, reader.name, hash, false) == 0 &&
                       open_session(connection, reader.name, std::time(nullptr), cookie) == 0 &&
                       append_audit(connection, {reader.name, address, "senha", "", "ok"}) == 0
                   ? 0
                   : receiver_failed;
    });
}
