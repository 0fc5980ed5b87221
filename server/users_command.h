#pragma once

// report-receiver users add NAME --role admin|leitura | list | disable NAME | reset NAME
// [--database D]: manages the staff's accounts on the receivers' database. argv[1] is "users".
// The process's exit status: 0, 1 when the command failed, 2 for a bad command line.
int users_command(int argc, const char *const *argv);
