#pragma once
// Backup and restore of the shared database, for operators (ger-admin backup|restore).
//
// SQLite: a consistent copy taken with VACUUM INTO while servers keep saving (a read snapshot
// that blocks no writer); a restore copies the backup into the database with SQLite's backup
// interface in one write transaction, so the file keeps its identity under a running server and
// is either wholly the old database or wholly the backup. PostgreSQL: pg_dump's custom format,
// restored by pg_restore in one transaction.
//
// A backup file is written beside its final name and renamed into place once complete, so a
// failed backup never leaves a file that looks whole. Every failure raises std::runtime_error
// with an English sentence for operators; a refused restore changes nothing.
#include <filesystem>
#include <string>
#include <vector>

namespace ger::server {

void BackupDatabase(const std::string& dbUrl, const std::filesystem::path& file);
void RestoreDatabase(const std::string& dbUrl, const std::filesystem::path& file);

// Runs a program (argv[0] looked up in PATH) with `env` added to the environment; returns its
// exit status (-1 when it could not start or was killed) and what it wrote to stdout and stderr.
struct ProgramResult {
  int status = -1;
  std::string output;
};
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {});

}  // namespace ger::server
