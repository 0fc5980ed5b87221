#pragma once

#include <string>

constexpr int backup_failed = -1;

// Copies the SQLite database at database, while receivers go on storing reports in it, into a new
// file copy (mode 600), and checks the copy with PRAGMA integrity_check. The copy holds every
// report committed before the backup began. 0, or backup_failed with error saying why and no
// copy left behind.
int backup_sqlite(const std::string &database, const std::string &copy, std::string &error);
