#include "server/access/passwords.h"

#include <sodium.h>

#include <mutex>
#include <vector>

namespace {

std::mutex &hashing() {
    static std::mutex one_at_a_time;
    return one_at_a_time;
}

bool ready() {
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

std::string hex(const unsigned char *bytes, std::size_t size) {
    std::string out(size * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), bytes, size);
    out.pop_back();
    return out;
}

} // namespace

std::string hash_password(const std::string &password) {
    char hash[crypto_pwhash_argon2id_STRBYTES];
    std::lock_guard<std::mutex> lock(hashing());
    if (!ready() || crypto_pwhash_argon2id_str(hash, password.data(), password.size(),
                                               crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE,
                                               crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return hash;
}

bool password_matches(const std::string &hash, const std::string &password) {
    // Made once, outside the lock below, then verified against like any other.
    static const std::string nobody = hash_password(random_hex(16));
    const std::string &against = hash.empty() ? nobody : hash;
    std::lock_guard<std::mutex> lock(hashing());
    return ready() &&
           crypto_pwhash_argon2id_str_verify(against.c_str(), password.data(), password.size()) ==
               0 &&
           !hash.empty();
}

std::string one_time_password() {
    static const char letters[] = "abcdefghijkmnpqrstuvwxyzACDEFGHJKLMNPQRTUVWXY3479";
    std::string password;
    if (!ready())
        return password;
    for (int i = 0; i < 20; ++i)
        password.push_back(letters[randombytes_uniform(sizeof letters - 1)]);
    return password;
}

std::string random_hex(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    if (!ready())
        return {};
    randombytes_buf(random.data(), bytes);
    return hex(random.data(), bytes);
}

std::string digest_hex(const std::string &text) {
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char *>(text.data()),
                       text.size(), nullptr, 0);
    return hex(digest, sizeof digest);
}
