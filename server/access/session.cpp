#include "server/access/session.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstdlib>

namespace {

std::string hmac_sha256(const std::string &key, const std::string &text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char *>(text.data()), text.size(), digest,
             &size) == nullptr)
        return {};
    return {reinterpret_cast<const char *>(digest), size};
}

std::string hex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char byte : bytes) {
        out.push_back(digits[(static_cast<unsigned char>(byte) >> 4) & 0xF]);
        out.push_back(digits[static_cast<unsigned char>(byte) & 0xF]);
    }
    return out;
}

} // namespace

SessionSeal::SessionSeal(const std::string &token) {
    // A key of its own, so a cookie never shows anything computed with the token itself.
    if (!token.empty())
        key_ = hmac_sha256(token, "veltora viewer session 1");
}

std::string SessionSeal::seal(const std::string &text) const {
    return hex(hmac_sha256(key_, text));
}

std::string SessionSeal::issue(std::time_t now) const {
    unsigned char nonce[16];
    if (key_.empty() || RAND_bytes(nonce, sizeof nonce) != 1)
        return {};
    const std::string text = std::to_string(now + session_seconds) + "." +
                             hex(std::string(reinterpret_cast<const char *>(nonce), sizeof nonce));
    const std::string mac = seal(text);
    if (mac.empty())
        return {};
    return text + "." + mac;
}

bool SessionSeal::valid(const std::string &value, std::time_t now) const {
    const std::size_t last_dot = value.rfind('.');
    if (key_.empty() || last_dot == std::string::npos)
        return false;
    const std::string text = value.substr(0, last_dot);
    const std::string mac = value.substr(last_dot + 1);
    const std::string expected = seal(text);
    if (expected.empty() || mac.size() != expected.size() ||
        CRYPTO_memcmp(mac.data(), expected.data(), mac.size()) != 0)
        return false;
    const long long expiry = std::strtoll(text.c_str(), nullptr, 10);
    return expiry > now && expiry <= now + session_seconds;
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
