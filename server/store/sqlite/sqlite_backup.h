#pragma once

#include "server/text/failure.h"

#include <string>

// Copies the SQLite database at database, while receivers go on storing reports in it, into a new
// file copy (mode 600), and checks the copy with PRAGMA integrity_check. The copy holds every
// report committed before the backup began. 0, or receiver_failed with error saying why and no
// copy left behind.
int backup_sqlite(const std::string &database, const std::string &copy, std::string &error);
