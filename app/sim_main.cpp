// The tool on the simulated chair. Its options set faults of the chair, so that a person can see
// how the tool meets them; every other argument goes to Qt.
#include "app/application.h"
#include "sim/sim_chair.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr char misstore_option[] = "--drive-misstores";

// A number in decimal, or in hexadecimal after "0x", no larger than limit.
bool parse_number(const std::string &text, std::uint64_t limit, std::uint32_t &value) {
    const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const std::string digits = hex ? text.substr(2) : text;
    // Ten digits at most, so the number cannot overflow before it meets the limit.
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
            std::string::npos)
        return false;
    const std::uint64_t number = std::stoull(digits, nullptr, hex ? 16 : 10);
    value = static_cast<std::uint32_t>(number);
    return number <= limit;
}

// INDEX or INDEX=WORD: the drive keeps its old value of parameter INDEX, or stores WORD.
bool set_misstore(const std::string &argument) {
    const std::size_t equals = argument.find('=');
    std::uint32_t index = 0;
    std::uint32_t word = 0;
    if (!parse_number(argument.substr(0, equals), 0xFF, index) ||
        (equals != std::string::npos &&
         !parse_number(argument.substr(equals + 1), 0xFFFFFFFF, word)))
        return false;
    sim::misstore(sim::drive, static_cast<std::uint8_t>(index),
                  equals == std::string::npos ? std::nullopt : std::optional<std::uint32_t>(word));
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], misstore_option) != 0)
            continue;
        if (i + 1 == argc || !set_misstore(argv[++i])) {
            std::fprintf(stderr,
                         "%s: %s takes INDEX or INDEX=WORD, each in decimal or in hexadecimal "
                         "after 0x (INDEX up to 0xFF, WORD up to 0xFFFFFFFF)\n",
                         argv[0], misstore_option);
            return 2;
        }
    }
    return run_application(argc, argv);
}
