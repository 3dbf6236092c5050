#pragma once
// The change number of the company list: every stored change of a company (its record, its
// representatives' links, its notes, its delete) advances it in the transaction of the change,
// and the company's row in EMPRALTERACAO takes the new number, who made the change and, for the
// record's saves, its logo's size and digest. A seat that holds number N reads only the companies
// whose number is past N (the deleted ones as codes) instead of the whole list.
//
// The number lives in the database (SEQALTERACAO), not in a server's memory, and triggers advance
// it, so that a change written by another program is numbered too. The row's update orders the
// saves of every server on one PostgreSQL: a number read is never ahead of a change still
// uncommitted (the next writer waits for the lock of the one before). See docs/ARCHITECTURE.md.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/packet.h"
#include "db/database.h"

namespace ger::server {

// The company codes a change set names (CDEMPRESA of its old and new values), each once.
std::vector<std::string> CompaniesOf(const ChangeSet& changes);

// Taken first in each saving transaction of the server, before any company's row: on PostgreSQL
// the number's row lock, which the triggers would take at the first write, so that every writer
// takes it before the rows it locks and two saves never wait on each other. SQLite's transaction
// holds the one write lock already.
void LockChangeNumber(db::Connection& c);

// The server's own save of `companies`, numbered by the triggers inside the caller's transaction:
// adds who made it, when, and the logo's size and digest as stored now. Returns the number.
std::int64_t StampCompanies(db::Connection& c, const std::vector<std::string>& companies);

// The number's row and the triggers that number every change of the tables the list shows
// (EMPRESA, EMPRREPRES, NOTASEXPLICATIVAS), whoever writes them. Made again by each start and
// after a restore has filled the tables (the restored rows are not changes).
std::string ChangeTriggerSql(db::Engine engine);

// The change number now (0 before the first change).
std::int64_t CurrentChange(db::Connection& c);

// Gives every stored logo whose stored size or digest is missing or stale its own (companies
// brought in before the change number, or by a restore). Idempotent; run at start after the
// schema and by a restore.
void PrepareChangeFeed(db::Connection& c);

// The change number's tables: a backup made before they existed restores without them (they
// start empty, and the seats then read the whole list once).
bool RebuiltWhenMissing(std::string_view table);

// The logo's digest as the seats cache it: SHA-256, in lower-case hex; empty for no logo.
std::string LogoDigest(std::string_view bytes);

// The company list as GetEmpresa answers with its optional arguments. `withLogos` false leaves
// each logo's bytes out and carries NRTAMLOGO and DSRESUMOLOGO instead. `since` kWholeList: every
// company, as a packet. Otherwise a JSON object {"numero":N,"completa":bool,"excluidas":[...],
// "empresas":packet}: with `since` >= 0 only the companies changed after it, else (or when
// `since` is ahead of the database's number, as after a restore) the whole list, "completa" true.
inline constexpr std::int64_t kWholeList = -1, kWholeListNumbered = -2;
std::string CompanyList(db::Connection& c, bool withLogos, std::int64_t since);

// One company's logo: a packet of CDEMPRESA, DSARQLOGOEMPCLOB, NRTAMLOGO, DSRESUMOLOGO (no row
// when the company is not stored).
std::string CompanyLogo(db::Connection& c, std::string_view company);

}  // namespace ger::server
