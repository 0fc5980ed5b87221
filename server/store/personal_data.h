#pragma once

#include "server/store/report_store.h"

#include <string>
#include <string_view>
#include <vector>

// A person's data in the stored reports: finding every report that holds one person's CPF, CNPJ
// or e-mail, and anonymizing reports on request or once they are old. Anonymizing replaces the
// customer's items (name, e-mail, phone, CEP, CPF, CNPJ) and what the facts took from them; the
// chair's serials, parameters and events stay, so its technical history survives.

constexpr int personal_count_changed = -5; // the reports are no longer as many as confirmed

// What every personal item of an anonymized report holds.
constexpr const char *anonymized_text = "anonimizado";

// The key that finds a person's reports from a CPF, CNPJ or e-mail as typed. An e-mail (a text
// holding "@") is kept without the blanks around it, in lower case; a CPF or CNPJ by its letters
// and digits in upper case, so "529.982.247-25" and "52998224725" find the same reports. Only a
// whole key is found: part of a number finds nothing. "" when text holds nothing to look for.
std::string personal_key(std::string_view text);

// Adds to statements the one recording the keys of report id's CPF, CNPJ and e-mail.
void add_personal_keys(long long id, const FormItems &items, std::vector<SqlStatement> &statements);

// Records the keys of every report stored before keys were kept. 0 or receiver_failed.
int backfill_personal_keys(SqlConnection &connection);

// Every report holding key, oldest first, with all its items. 0 or receiver_failed.
int find_personal(SqlConnection &connection, const std::string &key,
                  std::vector<StoredReport> &reports);

// Anonymizes, in one transaction, the reports holding key when they are still `confirmed` many,
// and appends entry to the audit with their ids as its subject and their count as its result; the
// erased values reach neither. Their count, personal_count_changed with nothing changed, or
// receiver_failed.
long long anonymize_person(SqlConnection &connection, const std::string &key, long long confirmed,
                           AuditEntry entry);

// Anonymizes the reports received before `before` (UTC, ISO-8601) that still hold personal data,
// a batch per transaction, each batch appended to the audit as entry with its count. How many, or
// receiver_failed.
long long anonymize_received_before(SqlConnection &connection, const std::string &before,
                                    AuditEntry entry);
