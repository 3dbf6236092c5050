#pragma once
// Backup and restore of the shared database, for operators (ger-admin backup|restore).
//
// SQLite: a consistent copy taken with VACUUM INTO while servers keep saving (a read snapshot
// that blocks no writer). PostgreSQL: pg_dump's custom format.
//
// A restore takes rows only: the declared tables are made again from this system's own
// declaration and filled with the declared columns of the backup's rows, in one transaction, so
// the database is either wholly as it was or wholly the backup's rows, and a running server keeps
// its files and sees the restored rows. Nothing else a backup holds (triggers, views, functions,
// indexes, other tables) ever reaches the database, and a PostgreSQL archive is only read as
// text (pg_restore --file=-), never run. A backup of a newer version (a column this one does not
// know that cannot be empty or holds data) is refused, and so is a target that is a symbolic
// link or another program's database.
//
// A backup file is written beside its final name and renamed into place once complete, so a
// failed backup never leaves a file that looks whole. Every failure raises std::runtime_error
// with an English sentence for operators; a refused restore changes nothing.
#include <filesystem>
#include <string>
#include <vector>

namespace ger::server {

void BackupDatabase(const std::string& dbUrl, const std::filesystem::path& file);
// Returns what the backup held besides the rows of the declared tables and was left out.
std::vector<std::string> RestoreDatabase(const std::string& dbUrl,
                                         const std::filesystem::path& file);

// Runs a program (argv[0] looked up in PATH) with `env` added to the environment; returns its
// exit status (-1 when it could not start or was killed) and what it wrote to stdout and stderr.
struct ProgramResult {
  int status = -1;
  std::string output;
};
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {});

}  // namespace ger::server
