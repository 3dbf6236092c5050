#include "schema.h"

#include <fstream>
#include <stdexcept>

namespace ger::server {
namespace {

// BLOB_TYPE is the engine's binary type (BLOB in SQLite, BYTEA in PostgreSQL); everything else is
// common SQL. Column types are what the packets report: VARCHAR(n) string n, TEXT memo, DOUBLE
// PRECISION float, TIMESTAMP datetime. NMMUNICIPIO is 40 wide: official municipality names reach
// 32 characters.
constexpr std::string_view kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS PAIS (
  CDPAIS VARCHAR(4) NOT NULL PRIMARY KEY,
  NMPAIS VARCHAR(30));
CREATE TABLE IF NOT EXISTS ESTADO (
  CDPAIS VARCHAR(4) NOT NULL,
  SGESTADO VARCHAR(2) NOT NULL,
  NMESTADO VARCHAR(30),
  CDIBGE VARCHAR(2),
  PRIMARY KEY (CDPAIS, SGESTADO));
CREATE TABLE IF NOT EXISTS MUNICIPIO (
  CDPAIS VARCHAR(4) NOT NULL,
  SGESTADO VARCHAR(2) NOT NULL,
  CDMUNICIPIO VARCHAR(4) NOT NULL,
  NMMUNICIPIO VARCHAR(40),
  CDIBGE VARCHAR(7),
  PRIMARY KEY (CDPAIS, SGESTADO, CDMUNICIPIO));
CREATE TABLE IF NOT EXISTS BAIRRO (
  CDPAIS VARCHAR(4) NOT NULL,
  SGESTADO VARCHAR(2) NOT NULL,
  CDMUNICIPIO VARCHAR(4) NOT NULL,
  CDBAIRRO VARCHAR(10) NOT NULL,
  NMBAIRRO VARCHAR(50),
  PRIMARY KEY (CDPAIS, SGESTADO, CDMUNICIPIO, CDBAIRRO));
CREATE TABLE IF NOT EXISTS CENTCUST (
  CDCENTCUST VARCHAR(4) NOT NULL PRIMARY KEY,
  NMCENTCUST VARCHAR(40));
CREATE TABLE IF NOT EXISTS CONTADOR (
  CDCONTADOR2 VARCHAR(2) NOT NULL PRIMARY KEY,
  NMCONTADOR VARCHAR(30));
CREATE TABLE IF NOT EXISTS CNAE (
  CDCNAE VARCHAR(7) NOT NULL PRIMARY KEY,
  DSCNAE VARCHAR(200));
CREATE TABLE IF NOT EXISTS FPAS (
  CDFPAS VARCHAR(3) NOT NULL PRIMARY KEY,
  DSFPAS VARCHAR(80));
CREATE TABLE IF NOT EXISTS NATUREZA (
  CDNATUJURI VARCHAR(4) NOT NULL PRIMARY KEY,
  DSNATUJURI VARCHAR(100));
CREATE TABLE IF NOT EXISTS EMPRESA (
  CDEMPRESA VARCHAR(2) NOT NULL PRIMARY KEY,
  NMEMPRESA VARCHAR(40),
  CDPAIS VARCHAR(4),
  SGESTADO VARCHAR(2),
  CDMUNICIPIO VARCHAR(4),
  CDBAIRRO VARCHAR(10),
  CDCENTCUST VARCHAR(4),
  NMRAZSOCEMPR VARCHAR(80),
  DSENDEEMPR VARCHAR(50),
  NMBAIREMPR VARCHAR(30),
  NRCEPEMPR VARCHAR(15),
  IDTPIJUREMPR VARCHAR(1),
  NRINSJUREMPR VARCHAR(20),
  NRINSCESTA VARCHAR(16),
  NRREGJUNCOM VARCHAR(20),
  DTREGJUNCOM TIMESTAMP,
  NMTITUEMPR VARCHAR(40),
  NMPAIS VARCHAR(30),
  NMMUNICIPIO VARCHAR(40),
  NMBAIRRO VARCHAR(50),
  NMCENTCUST VARCHAR(40),
  NMESTADO VARCHAR(30),
  VRPEMULEMPR DOUBLE PRECISION,
  VRPEMOREMPR DOUBLE PRECISION,
  CDCNAE VARCHAR(7),
  CDFPAS VARCHAR(3),
  DSCNAE VARCHAR(200),
  DSMENSEMAILNFE VARCHAR(2000),
  DSFPAS VARCHAR(80),
  CDNATUJURI VARCHAR(4),
  DSNATUJURI VARCHAR(100),
  CDCONTADOR2 VARCHAR(2),
  NMCONTADOR VARCHAR(30),
  NRTELEFOEMPR VARCHAR(25),
  DSLOGRADEMPR VARCHAR(50),
  NRLOGRADEMPR VARCHAR(6),
  DSCMPLOGEMPR VARCHAR(20),
  IDPARTICIPAT VARCHAR(1),
  IDTIPOEMPR VARCHAR(1),
  IDOPTSIMPLES VARCHAR(1),
  CDEMPRCAIXA VARCHAR(14),
  VRPETXADMPOR DOUBLE PRECISION,
  DSARQRECIBO VARCHAR(100),
  NRPROPRIEMPR DOUBLE PRECISION,
  NRCAGED DOUBLE PRECISION,
  MEDATABASE DOUBLE PRECISION,
  DSARQRECIREC VARCHAR(100),
  CDREGIMEAPUR VARCHAR(1),
  NMCOMPRZSEMP VARCHAR(200),
  DSCOMPENDEMP VARCHAR(200),
  DSEMAILEMPRESA VARCHAR(100),
  DSENDWEBEMPR VARCHAR(50),
  DSARQLOGOEMP VARCHAR(250),
  IDNATUOPEREMPR VARCHAR(2),
  IDREGESPTRIBEMP VARCHAR(2),
  DSMENSEMAILCCE VARCHAR(2000),
  DSMENSEMAILCANC VARCHAR(2000),
  IDREGIMEICMSST VARCHAR(2),
  IDFORMAPUR VARCHAR(3),
  IDFORMAPUREMPR VARCHAR(1),
  IDCUMUPICOEMP VARCHAR(1),
  IDINCENTCULTURA VARCHAR(1),
  IDINCENTFISCAL VARCHAR(1),
  NRRNTRC VARCHAR(8),
  DSMENSEMAILCTE VARCHAR(2000),
  DSMENSEMAILMDFE VARCHAR(2000),
  NRCLF VARCHAR(15),
  CDPREFIXOGS1 VARCHAR(15),
  DSARQLOGOEMPCLOB BLOB_TYPE,
  IDCTBBAIXAEMPR VARCHAR(1),
  CDEXTERNO VARCHAR(20));
CREATE INDEX IF NOT EXISTS EMPRESA_INSC ON EMPRESA (NRINSJUREMPR);
CREATE TABLE IF NOT EXISTS FILIAL (
  CDFILIAL VARCHAR(4) NOT NULL PRIMARY KEY,
  CDEMPRESA VARCHAR(2),
  NMFILIAL VARCHAR(40),
  IDCUMUPICOEMP VARCHAR(1));
CREATE INDEX IF NOT EXISTS FILIAL_EMPRESA ON FILIAL (CDEMPRESA);
CREATE TABLE IF NOT EXISTS PARGERAL (
  CDFILIAL VARCHAR(4) NOT NULL PRIMARY KEY);
CREATE TABLE IF NOT EXISTS QUALIFASSINA (
  CDQUALIFASSINA VARCHAR(5) NOT NULL PRIMARY KEY,
  NMQUALIFASSINA VARCHAR(100));
CREATE TABLE IF NOT EXISTS REPRESENTANTE (
  CDREPRES VARCHAR(2) NOT NULL PRIMARY KEY,
  NMREPRES VARCHAR(30),
  NRCPFREPRES VARCHAR(11),
  CDQUALIFASSINA VARCHAR(5));
CREATE TABLE IF NOT EXISTS EMPRREPRES (
  CDEMPRESA VARCHAR(2) NOT NULL,
  CDREPRES VARCHAR(2) NOT NULL,
  IDATIVO VARCHAR(1),
  PRIMARY KEY (CDEMPRESA, CDREPRES));
CREATE TABLE IF NOT EXISTS NOTASEXPLICATIVAS (
  CDEMPRESA VARCHAR(2) NOT NULL PRIMARY KEY,
  DSOBSERVEMP TEXT);
)SQL";

struct RefFile {
  const char* file;
  const char* table;
};
// Order matters only for readability; there are no foreign keys between reference tables.
constexpr RefFile kRefFiles[] = {
    {"paises.csv", "PAIS"},
    {"estados.csv", "ESTADO"},
    {"municipios.csv", "MUNICIPIO"},
    {"cnae.csv", "CNAE"},
    {"natureza_juridica.csv", "NATUREZA"},
    {"fpas.csv", "FPAS"},
};

constexpr std::size_t kBatchRows = 100;

void InsertBatch(db::Connection& connection, const std::string& table,
                 const std::vector<std::string>& columns,
                 const std::vector<std::vector<std::string>>& rows, bool ignoreExisting) {
  if (rows.empty()) return;
  std::string sql = "INSERT INTO " + table + " (";
  for (std::size_t c = 0; c < columns.size(); ++c) sql += (c ? "," : "") + columns[c];
  sql += ") VALUES ";
  db::Params params;
  params.reserve(rows.size() * columns.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    sql += r ? ",(" : "(";
    for (std::size_t c = 0; c < columns.size(); ++c) {
      std::string name = "P" + std::to_string(r) + "_" + std::to_string(c);
      sql += (c ? ",:" : ":") + name;
      params.emplace_back(std::move(name), rows[r][c]);
    }
    sql += ")";
  }
  if (ignoreExisting) sql += " ON CONFLICT DO NOTHING";
  connection.Execute(sql, params);
}

}  // namespace

std::vector<std::string> SplitCsvLine(std::string_view line) {
  std::vector<std::string> fields;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        current.push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        current.push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(std::move(current));
      current.clear();
    } else if (c != '\r') {
      current.push_back(c);
    }
  }
  fields.push_back(std::move(current));
  return fields;
}

void CreateSchema(db::Connection& connection) {
  std::string sql(kSchema);
  const std::string blob = connection.GetEngine() == db::Engine::PostgreSQL ? "BYTEA" : "BLOB";
  for (std::size_t at; (at = sql.find("BLOB_TYPE")) != std::string::npos;) sql.replace(at, 9, blob);
  connection.ExecuteScript(sql);
}

int SeedReferenceData(db::Connection& connection, const std::filesystem::path& dataDir) {
  if (!connection.Query("SELECT CDPAIS FROM PAIS LIMIT 1").rows.empty()) return 0;
  db::Transaction tx(connection);
  int total = 0;
  for (const RefFile& ref : kRefFiles) {
    std::filesystem::path path = dataDir / ref.file;
    std::ifstream in(path);
    if (!in) throw std::runtime_error("reference data file " + path.string() + " cannot be read");
    std::string line;
    if (!std::getline(in, line)) throw std::runtime_error(path.string() + " is empty");
    std::vector<std::string> columns = SplitCsvLine(line);
    std::vector<std::vector<std::string>> batch;
    int lineNo = 1;
    while (std::getline(in, line)) {
      ++lineNo;
      if (line.empty() || line == "\r") continue;
      auto fields = SplitCsvLine(line);
      if (fields.size() != columns.size())
        throw std::runtime_error(path.string() + " line " + std::to_string(lineNo) + " has " +
                                 std::to_string(fields.size()) + " fields, expected " +
                                 std::to_string(columns.size()));
      batch.push_back(std::move(fields));
      ++total;
      if (batch.size() == kBatchRows) {
        InsertBatch(connection, ref.table, columns, batch, false);
        batch.clear();
      }
    }
    InsertBatch(connection, ref.table, columns, batch, false);
  }
  tx.Commit();
  return total;
}

}  // namespace ger::server
