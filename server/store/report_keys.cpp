#include "server/store/report_keys.h"

#include <cstdio>

namespace {

struct Range {
    int first;
    int last;
};

void add_numbered(std::vector<std::string> &keys, const char *prefix,
                  std::initializer_list<Range> ranges) {
    for (const Range &range : ranges) {
        for (int number = range.first; number <= range.last; ++number) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", number);
            keys.push_back(std::string(prefix) + hex);
        }
    }
}

std::vector<std::string> build_keys() {
    std::vector<std::string> keys = {"nome",
                                     "email",
                                     "telefone",
                                     "cep",
                                     "cpf",
                                     "cnpj",
                                     "cabo_comunicacao",
                                     "painel_serial",
                                     "painel_versao_fw",
                                     "painel_versao_hw"};
    // Parameters 1 to 7 are the identity, sent above as serial and versions.
    add_numbered(keys, "painel_event_0x", {{0x01, 0x14}, {0x21, 0x22}});
    add_numbered(keys, "painel_param_0x", {{0x08, 0x2C}});
    for (const char *key :
         {"drive_serial", "drive_versao_fw", "drive_versao_hw", "drive_motorizacao"})
        keys.emplace_back(key);
    add_numbered(keys, "drive_event_0x", {{0x01, 0x16}, {0x21, 0x25}, {0x31, 0x33}});
    add_numbered(keys, "drive_param_0x", {{0x08, 0x2C}});
    return keys;
}

} // namespace

const std::vector<std::string> &report_keys() {
    static const std::vector<std::string> keys = build_keys();
    return keys;
}

bool is_service_report(const FormItems &items) {
    const std::vector<std::string> &keys = report_keys();
    if (items.size() != keys.size() + 1 || !items[0].first.empty() || !items[0].second.empty())
        return false;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (items[i + 1].first != keys[i])
            return false;
    }
    return true;
}
