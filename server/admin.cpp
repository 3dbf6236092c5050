// ger-admin: what an operator does to the shared database besides serving it: back it up,
// restore a backup, refresh the reference lists, make a seat's read-only role, and make the TLS
// authority and the servers' certificates of an office that has none.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "backup.h"
#include "contract/tables.h"
#include "db/database.h"
#include "history.h"
#include "paths.h"
#include "people.h"
#include "reference.h"
#include "schema.h"
#include "seat_role.h"
#include "tls_files.h"

namespace fs = std::filesystem;
using namespace ger;

namespace {

std::string DatabaseUrl(const std::string& url, const std::string& dataDir) {
  return url.empty() ? "sqlite:" + (fs::path(dataDir) / "ger.db").string() : url;
}

void PrintReport(const std::vector<server::ReferenceChanges>& report) {
  std::cout << "table       added  changed  removed  kept\n";
  for (const auto& t : report) {
    std::printf("%-10s %6d %8d %8d %5zu\n", t.table.c_str(), t.added, t.changed, t.removed,
                t.kept.size());
  }
  for (const auto& t : report)
    for (const auto& k : t.kept) std::cout << "kept in " << t.table << ": " << k << "\n";
  std::cout.flush();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"ger-admin: back up, restore and refresh the reference lists of the database"};
  app.require_subcommand(1);
  std::string dbUrl, dataDir = "var", file, csvDir;
  auto common = [&](CLI::App* sub) {
    sub->add_option(
        "--db", dbUrl,
        "database: sqlite:PATH or postgresql://... (default: sqlite:<data-dir>/ger.db)");
    sub->add_option("--data-dir", dataDir, "folder of the embedded database")
        ->capture_default_str();
  };
  CLI::App* backup = app.add_subcommand(
      "backup",
      "write a consistent copy of the database to FILE while servers keep running (SQLite: one "
      "database file; PostgreSQL: pg_dump's custom format)");
  common(backup);
  backup->add_option("FILE", file, "the backup file; it must not exist")->required();
  CLI::App* restore = app.add_subcommand(
      "restore",
      "replace the rows of the database's tables with those of a backup made by 'backup', wholly "
      "or not at all; the tables are made from this system's own declaration and nothing else "
      "the file holds (triggers, views, functions, indexes) is taken; a file that is not a "
      "backup of this database, a newer version's backup, and a target that is a symbolic link "
      "or another program's database are refused");
  common(restore);
  restore->add_option("FILE", file, "the backup file")->required();
  CLI::App* reference = app.add_subcommand(
      "reference",
      "load newer reference lists (paises, estados, municipios, cnae, natureza_juridica and fpas "
      ".csv, in the shipped format) into the database in one transaction and report the rows "
      "added, changed and removed; rows a company still uses are kept and listed");
  common(reference);
  server::RefreshOptions refresh;
  reference->add_flag("--dry-run", refresh.dryRun,
                      "report what the files would change, and change nothing");
  reference->add_flag("--allow-removals", refresh.allowRemovals,
                      "let a file leave out more than one in " +
                          std::to_string(server::kMaxRemovedShareDivisor) +
                          " rows of a table (refused otherwise, as a cut or wrong file would)");
  csvDir = server::ReferenceDataDir().string();
  reference->add_option("DIR", csvDir, "folder of the CSV files")->capture_default_str();
  std::string roleName;
  CLI::App* seatRole = app.add_subcommand(
      "seat-role",
      "make a PostgreSQL login role NAME for the desktop hosts (seats): it reads only the tables "
      "the host reads and writes nothing; prints the URL the seats' setting 'database' takes");
  common(seatRole);
  seatRole->add_option("NAME", roleName, "the new role's name")->required();
  std::string tlsDir;
  std::vector<std::string> tlsNames;
  server::Validity authorityValidity{3650, 0}, certificateValidity;
  CLI::App* tlsCa = app.add_subcommand(
      "tls-ca",
      "make a self-signed certificate authority in DIR for an office without one: DIR/ca.pem goes "
      "to every seat (its ca_file setting), DIR/ca.key stays private (mode 0600; a new DIR is "
      "made 0700); existing files are never overwritten");
  tlsCa->add_option("DIR", tlsDir, "folder of the authority")->required();
  tlsCa->add_option("--days", authorityValidity.days, "days the authority is valid")
      ->check(CLI::Range(1, 36500))
      ->capture_default_str();
  CLI::App* tlsCert = app.add_subcommand(
      "tls-cert",
      "issue with DIR's authority the certificate nginx presents for NAME (more host names or IP "
      "addresses may follow): DIR/NAME.pem and DIR/NAME.key (mode 0600), for nginx's "
      "ssl_certificate and ssl_certificate_key");
  tlsCert->add_option("DIR", tlsDir, "folder of the authority")->required();
  tlsCert
      ->add_option("NAME", tlsNames,
                   "the servers' host names or addresses, as the seats' "
                   "web_url names them")
      ->required();
  tlsCert->add_option("--days", certificateValidity.days, "days the certificate is valid")
      ->check(CLI::Range(1, 3650))
      ->capture_default_str();
  CLI::App* user = app.add_subcommand(
      "user", "the people who sign in to the server, each with an access (token) of their own");
  user->require_subcommand(1);
  std::string personName;
  bool newToken = false;
  CLI::App* userAdd = user->add_subcommand(
      "add",
      "make an access for the person NAME and print its token once, on the last line (only a "
      "salted hash is kept); once a person exists the server takes only people's tokens (and "
      "the service token, as the person 'servico')");
  common(userAdd);
  userAdd->add_option("NAME", personName, "the person's name")->required();
  userAdd->add_flag("--new-token", newToken,
                    "give a person who exists a new token; the old one stops working at once");
  CLI::App* userList =
      user->add_subcommand("list", "list the people: name, created, last seen (UTC), active");
  common(userList);
  CLI::App* userDisable = user->add_subcommand(
      "disable", "withdraw the access of NAME: refused at its next call, on every server");
  common(userDisable);
  userDisable->add_option("NAME", personName, "the person's name")->required();
  CLI::App* userEnable = user->add_subcommand("enable", "give NAME its access back");
  common(userEnable);
  userEnable->add_option("NAME", personName, "the person's name")->required();
  CLI::App* history =
      app.add_subcommand("history", "print the change history as CSV, newest first (times in UTC)");
  common(history);
  server::HistoryFilter filter;
  history->add_option("--company", filter.company, "only the changes of this company code");
  history->add_option("--user", filter.person, "only the changes this person made");
  history->add_option("--since", filter.since, "only the changes from this day on (YYYY-MM-DD)");
  CLI11_PARSE(app, argc, argv);

  try {
    if (*tlsCa) {
      server::MakeAuthority(tlsDir, "Autoridade certificadora Ger", authorityValidity);
      std::cout << "authority written: " << (fs::path(tlsDir) / "ca.pem").string()
                << " (the seats' ca_file) and its key " << (fs::path(tlsDir) / "ca.key").string()
                << " (keep it private)\n";
      return 0;
    }
    if (*tlsCert) {
      server::MakeCertificate(tlsDir, tlsNames, certificateValidity);
      const fs::path stem = fs::path(tlsDir) / tlsNames.front();
      std::cout << "certificate written: " << stem.string() << ".pem (ssl_certificate) and its key "
                << stem.string() << ".key (ssl_certificate_key)\n";
      return 0;
    }
  } catch (const std::exception& e) {
    std::cerr << "ger-admin: " << e.what() << "\n";
    return 1;
  }

  const std::string url = DatabaseUrl(dbUrl, dataDir);
  try {
    if (*backup) {
      server::BackupDatabase(url, file);
      std::cout << "backup written to " << file << "\n";
    } else if (*restore) {
      for (const std::string& note : server::RestoreDatabase(url, file)) std::cout << note << "\n";
      std::cout << "restored " << file << "\n";
    } else if (*seatRole) {
      const server::SeatRole role = server::CreateSeatRole(url, roleName);
      std::cout << "role " << role.name << " created: it reads ";
      for (std::string_view table : record::kSeatReadTables) std::cout << table << " ";
      std::cout << "and writes nothing.\nseats' database setting (keep it secret): " << role.url
                << "\n";
    } else if (*user || *history) {
      if (url.starts_with("sqlite:") && !fs::exists(url.substr(7)))
        throw std::runtime_error("the database file " + url.substr(7) + " does not exist");
      auto connection = db::Connection::Open(url);
      server::CreateSchema(*connection);
      if (*userAdd) {
        const std::string token = server::AddPerson(*connection, personName, newToken);
        std::cout << (newToken ? "new token of " : "access made for ") << personName
                  << "; give the person this token (shown only now) for the setting token_file "
                     "of the desktop host:\n"
                  << token << "\n";
      } else if (*userList) {
        std::cout << "name,created_utc,last_seen_utc,active\n";
        for (const server::Person& p : server::ListPeople(*connection))
          std::cout << p.name << "," << p.created << "," << p.lastSeen << ","
                    << (p.active ? "yes" : "no") << "\n";
      } else if (*userDisable || *userEnable) {
        server::SetPersonActive(*connection, personName, userEnable->parsed());
        std::cout << personName
                  << (*userEnable ? " may sign in again\n" : " is refused from its next call\n");
      } else {
        std::cout << server::HistoryCsv(server::HistoryRows(*connection, filter));
      }
    } else if (*reference) {
      if (url.starts_with("sqlite:") && !fs::exists(url.substr(7)))
        throw std::runtime_error("the database file " + url.substr(7) + " does not exist");
      auto connection = db::Connection::Open(url);
      server::CreateSchema(*connection);
      PrintReport(server::RefreshReferenceData(*connection, csvDir, refresh));
      if (refresh.dryRun) std::cout << "dry run: nothing was changed\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "ger-admin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
