#include "change_feed.h"

#include <algorithm>

#include "contract/tables.h"
#include "core/utf8.h"
#include "people.h"

namespace ger::server {

namespace {

// The one numbered list there is.
constexpr std::string_view kList = "EMPRESA";

// --- Queries ------------------------------------------------------------------------------------

std::string LengthOf(db::Engine engine, std::string_view column) {
  return (engine == db::Engine::PostgreSQL ? "octet_length(" : "length(") + std::string(column) +
         ")";
}

std::string TextOf(const Value* v) {
  const auto* s = v ? std::get_if<std::string>(v) : nullptr;
  return s ? *s : std::string();
}

double NumberOf(const Value* v) {
  if (!v) return 0;
  if (const auto* d = std::get_if<double>(v)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(v)) return static_cast<double>(*i);
  return 0;
}

// The company's logo bytes as stored (empty for none or no such company).
std::string StoredLogo(db::Connection& c, const std::string& code) {
  const DataPacket p =
      c.Query("SELECT DSARQLOGOEMPCLOB FROM EMPRESA WHERE CDEMPRESA = :CD", {{"CD", code}});
  if (p.rows.empty()) return {};
  if (const auto* b = std::get_if<Bytes>(&p.rows[0][0])) return b->data;
  if (const auto* s = std::get_if<std::string>(&p.rows[0][0])) return *s;
  return {};
}

// Adds who made the server's own save, when, and its logo's digest (which a trigger on SQLite
// cannot make) to the company's row of EMPRALTERACAO, numbered by the triggers.
void WriteCompanyRow(db::Connection& c, const std::string& code) {
  // The size and digest the row holds stay when the stored logo still has that size and the
  // digest was made from it: the triggers clear the digest (SQLite) or make it again
  // (PostgreSQL) whenever a logo is written. Otherwise the logo is read and hashed.
  const DataPacket held = c.Query("SELECT " + LengthOf(c.GetEngine(), "E.DSARQLOGOEMPCLOB") +
                                      ", A.NRTAMLOGO, A.DSRESUMOLOGO FROM EMPRESA E LEFT JOIN "
                                      "EMPRALTERACAO A ON A.CDEMPRESA = E.CDEMPRESA WHERE "
                                      "E.CDEMPRESA = :CD",
                                  {{"CD", code}});
  Value size, digest;
  const Row* row = held.rows.empty() ? nullptr : &held.rows[0];
  const double length = row ? NumberOf(&(*row)[0]) : 0;
  if (length > 0 && NumberOf(&(*row)[1]) == length && !TextOf(&(*row)[2]).empty()) {
    size = length;
    digest = (*row)[2];
  } else if (const std::string logo = length > 0 ? StoredLogo(c, code) : std::string();
             !logo.empty()) {
    size = static_cast<double>(logo.size());
    digest = LogoDigest(logo);
  }
  c.Execute(
      "UPDATE EMPRALTERACAO SET NMUSUALTERACAO = :US, DTALTERACAO = :DT, NRTAMLOGO = :TAM, "
      "DSRESUMOLOGO = :RES WHERE CDEMPRESA = :CD",
      {{"CD", code},
       {"US", std::string(utf8::Left(
                  CurrentCaller().person,
                  static_cast<std::size_t>(record::kEmprAlteracao["NMUSUALTERACAO"].size)))},
       {"DT", DateTime::Now()},
       {"TAM", size},
       {"RES", digest}});
}

// The tables whose rows the list shows or a company's save writes, each numbered by triggers.
constexpr std::string_view kNumbered[] = {"EMPRESA", "EMPRREPRES", "NOTASEXPLICATIVAS"};

// SQLite: row triggers only, each advancing the number (SQLite has one writer at a time).
std::string SqliteTriggers() {
  const std::string advance =
      "INSERT INTO SEQALTERACAO (CDSEQALTERACAO, NRSEQALTERACAO) VALUES ('EMPRESA', 1) "
      "ON CONFLICT (CDSEQALTERACAO) DO UPDATE SET NRSEQALTERACAO = NRSEQALTERACAO + 1;\n";
  auto mark = [](const std::string& code) {
    return "INSERT INTO EMPRALTERACAO (CDEMPRESA, NRSEQALTERACAO, IDEXCLUIDA) SELECT " + code +
           ", S.NRSEQALTERACAO, CASE WHEN EXISTS (SELECT 1 FROM EMPRESA WHERE CDEMPRESA = " + code +
           ") THEN 'N' ELSE 'S' END FROM SEQALTERACAO S WHERE S.CDSEQALTERACAO = 'EMPRESA' AND " +
           code +
           " IS NOT NULL ON CONFLICT (CDEMPRESA) DO UPDATE SET NRSEQALTERACAO = "
           "excluded.NRSEQALTERACAO, IDEXCLUIDA = excluded.IDEXCLUIDA, NMUSUALTERACAO = NULL, "
           "DTALTERACAO = NULL;\n";
  };
  // A logo written here has its size; its digest is made when the list is read.
  const std::string logo =
      "UPDATE EMPRALTERACAO SET NRTAMLOGO = NULLIF(length(NEW.DSARQLOGOEMPCLOB), 0), "
      "DSRESUMOLOGO = NULL WHERE CDEMPRESA = NEW.CDEMPRESA";
  std::string sql;
  for (std::string_view table : kNumbered) {
    struct Op {
      std::string_view name, body;
    };
    const bool empresa = table == "EMPRESA";
    const std::string ins = mark("NEW.CDEMPRESA") + (empresa ? logo + ";\n" : "");
    const std::string upd = mark("OLD.CDEMPRESA") + mark("NEW.CDEMPRESA") +
                            (empresa ? logo +
                                           " AND (NEW.CDEMPRESA IS NOT OLD.CDEMPRESA OR "
                                           "NEW.DSARQLOGOEMPCLOB IS NOT OLD.DSARQLOGOEMPCLOB);\n"
                                     : "");
    const std::string del = mark("OLD.CDEMPRESA");
    for (const Op& op : {Op{"INSERT", ins}, Op{"UPDATE", upd}, Op{"DELETE", del}}) {
      const std::string name = "GER_NUMERA_" + std::string(table) + "_" + std::string(op.name);
      sql += "DROP TRIGGER IF EXISTS " + name + ";\nCREATE TRIGGER " + name + " AFTER " +
             std::string(op.name) + " ON " + std::string(table) + " FOR EACH ROW BEGIN\n" +
             advance + std::string(op.body) + "END;\n";
    }
  }
  return sql;
}

// PostgreSQL: a statement trigger advances the number before the statement touches a row, so
// every writer takes the number's row lock before any row lock of these tables (no deadlock
// between two saves), and holds it to its commit; row triggers give the number to the companies.
std::string PostgresTriggers() {
  std::string sql =
      "CREATE OR REPLACE FUNCTION GER_AVANCA_ALTERACAO() RETURNS trigger LANGUAGE plpgsql AS $$\n"
      "BEGIN\n"
      "  INSERT INTO SEQALTERACAO (CDSEQALTERACAO, NRSEQALTERACAO) VALUES ('EMPRESA', 1)\n"
      "    ON CONFLICT (CDSEQALTERACAO) DO UPDATE\n"
      "    SET NRSEQALTERACAO = SEQALTERACAO.NRSEQALTERACAO + 1;\n"
      "  RETURN NULL;\n"
      "END $$;\n"
      "CREATE OR REPLACE FUNCTION GER_MARCA_ALTERACAO(cd TEXT) RETURNS void LANGUAGE plpgsql AS "
      "$$\n"
      "BEGIN\n"
      "  IF cd IS NULL THEN RETURN; END IF;\n"
      "  INSERT INTO EMPRALTERACAO (CDEMPRESA, NRSEQALTERACAO, IDEXCLUIDA)\n"
      "    SELECT cd, S.NRSEQALTERACAO, CASE WHEN EXISTS (SELECT 1 FROM EMPRESA WHERE CDEMPRESA = "
      "cd)\n"
      "      THEN 'N' ELSE 'S' END FROM SEQALTERACAO S WHERE S.CDSEQALTERACAO = 'EMPRESA'\n"
      "    ON CONFLICT (CDEMPRESA) DO UPDATE SET NRSEQALTERACAO = excluded.NRSEQALTERACAO,\n"
      "      IDEXCLUIDA = excluded.IDEXCLUIDA, NMUSUALTERACAO = NULL, DTALTERACAO = NULL;\n"
      "END $$;\n"
      "CREATE OR REPLACE FUNCTION GER_NUMERA_ALTERACAO() RETURNS trigger LANGUAGE plpgsql AS $$\n"
      "BEGIN\n"
      "  IF TG_OP <> 'INSERT' THEN PERFORM GER_MARCA_ALTERACAO(OLD.CDEMPRESA); END IF;\n"
      "  IF TG_OP <> 'DELETE' THEN PERFORM GER_MARCA_ALTERACAO(NEW.CDEMPRESA); END IF;\n"
      "  RETURN NULL;\n"
      "END $$;\n"
      "CREATE OR REPLACE FUNCTION GER_NUMERA_LOGO() RETURNS trigger LANGUAGE plpgsql AS $$\n"
      "BEGIN\n"
      "  IF TG_OP = 'INSERT' OR NEW.CDEMPRESA IS DISTINCT FROM OLD.CDEMPRESA\n"
      "     OR NEW.DSARQLOGOEMPCLOB IS DISTINCT FROM OLD.DSARQLOGOEMPCLOB THEN\n"
      "    UPDATE EMPRALTERACAO SET NRTAMLOGO = NULLIF(octet_length(NEW.DSARQLOGOEMPCLOB), 0),\n"
      "      DSRESUMOLOGO = CASE WHEN octet_length(NEW.DSARQLOGOEMPCLOB) > 0\n"
      "        THEN encode(sha256(NEW.DSARQLOGOEMPCLOB), 'hex') END\n"
      "      WHERE CDEMPRESA = NEW.CDEMPRESA;\n"
      "  END IF;\n"
      "  RETURN NULL;\n"
      "END $$;\n";
  for (std::string_view table : kNumbered) {
    const std::string t(table);
    sql += "CREATE OR REPLACE TRIGGER GER_AVANCA_" + t + " BEFORE INSERT OR UPDATE OR DELETE ON " +
           t +
           " FOR EACH STATEMENT EXECUTE FUNCTION GER_AVANCA_ALTERACAO();\n"
           "CREATE OR REPLACE TRIGGER GER_NUMERA_" +
           t + " AFTER INSERT OR UPDATE OR DELETE ON " + t +
           " FOR EACH ROW EXECUTE FUNCTION GER_NUMERA_ALTERACAO();\n";
  }
  // After the numbering trigger (triggers of one event run in the order of their names).
  sql +=
      "CREATE OR REPLACE TRIGGER GER_NUMERA_EMPRESA_LOGO AFTER INSERT OR UPDATE ON EMPRESA "
      "FOR EACH ROW EXECUTE FUNCTION GER_NUMERA_LOGO();\n";
  return sql;
}

// The company columns as the list selects them: the logo's bytes, or a null in their place and
// the logo's size and stored digest after the record's columns.
std::string ListColumns(db::Engine engine, bool withLogos) {
  std::string cols;
  for (const record::Column& col : record::kEmpresa.columns) {
    cols += cols.empty() ? "" : ", ";
    if (!withLogos && col.name == record::Empresa::DSARQLOGOEMPCLOB)
      cols += "NULL AS DSARQLOGOEMPCLOB";
    else
      cols += "E." + std::string(col.name);
  }
  if (!withLogos)
    cols += ", " + LengthOf(engine, "E.DSARQLOGOEMPCLOB") +
            " AS NRTAMLOGO, A.NRTAMLOGO AS NRTAMREG, A.DSRESUMOLOGO";
  return cols;
}

// The company columns with a null in place of the logo's bytes, and its stored size and digest.
std::string StoredListColumns() {
  std::string cols;
  for (const record::Column& col : record::kEmpresa.columns) {
    cols += cols.empty() ? "" : ", ";
    cols += col.name == record::Empresa::DSARQLOGOEMPCLOB ? std::string("NULL AS DSARQLOGOEMPCLOB")
                                                          : "E." + std::string(col.name);
  }
  return cols + ", A.NRTAMLOGO, A.DSRESUMOLOGO";
}

// The list's fields as the declaration has them (kinds, sizes, flags), and the logo's size and
// digest.
void ListFields(std::vector<FieldDef>& fields) {
  for (FieldDef& f : fields) {
    if (const record::Column* col = record::kEmpresa.Find(f.name)) {
      f.kind = col->kind;
      f.size = col->size;
      f.flags = col->flags;
      f.flags.key = record::kEmpresa.IsKey(f.name);
    } else {
      f.flags = ProviderFlags::None();
      f.kind = f.name == "NRTAMLOGO" ? FieldKind::Float : FieldKind::String;
      f.size = f.name == "NRTAMLOGO" ? 0 : 64;
    }
  }
}

// Field kinds and flags as the plain list gives them; the sizes and digests a company's row lacks
// (a logo written by another program) computed from the stored bytes.
void Finish(db::Connection& c, DataPacket& list, bool withLogos) {
  ListFields(list.fields);
  if (withLogos) return;
  const int size = list.IndexOf("NRTAMLOGO"), registered = list.IndexOf("NRTAMREG"),
            digest = list.IndexOf("DSRESUMOLOGO"), code = list.IndexOf("CDEMPRESA");
  list.fields[static_cast<std::size_t>(size)].kind = FieldKind::Float;
  list.fields[static_cast<std::size_t>(digest)].kind = FieldKind::String;
  list.fields[static_cast<std::size_t>(digest)].size = 64;
  for (Row& row : list.rows) {
    const double bytes = NumberOf(&row[static_cast<std::size_t>(size)]);
    row[static_cast<std::size_t>(size)] = bytes > 0 ? Value(bytes) : Value();
    if (bytes <= 0) {
      row[static_cast<std::size_t>(digest)] = Value();
    } else if (TextOf(&row[static_cast<std::size_t>(digest)]).empty() ||
               NumberOf(&row[static_cast<std::size_t>(registered)]) != bytes) {
      // Written around the server: the digest is made from the bytes, here only.
      row[static_cast<std::size_t>(digest)] =
          Value(LogoDigest(StoredLogo(c, TextOf(&row[static_cast<std::size_t>(code)]))));
    }
  }
  // The stored size is only the check above.
  list.fields.erase(list.fields.begin() + registered);
  for (Row& row : list.rows) row.erase(row.begin() + registered);
}

// The logos whose stored size and digest are missing or stale get them here, so that the list is
// written straight from the cursor. `everyCompany` compares each stored size with the bytes' (at
// start and after a restore: rows from before the change number, or from a backup); otherwise
// only the digests the triggers left to make are looked for (a logo written around the server on
// SQLite, whose triggers cannot make one). Not a change: a seat's copy stays good, and a row
// made here has number 0, out of every delta. False when some are missing and the database is
// open for reading only.
bool StoreLogoDigests(db::Connection& c, bool everyCompany) {
  const std::string length = LengthOf(c.GetEngine(), "E.DSARQLOGOEMPCLOB");
  const DataPacket stale =
      everyCompany
          ? c.Query(
                "SELECT E.CDEMPRESA FROM EMPRESA E LEFT JOIN EMPRALTERACAO A ON A.CDEMPRESA = "
                "E.CDEMPRESA WHERE (" +
                length +
                " > 0 AND (A.DSRESUMOLOGO IS NULL OR A.NRTAMLOGO IS NULL OR A.NRTAMLOGO <> " +
                length + ")) OR (COALESCE(" + length + ", 0) = 0 AND A.NRTAMLOGO IS NOT NULL)")
          : c.Query(
                "SELECT CDEMPRESA FROM EMPRALTERACAO WHERE NRTAMLOGO IS NOT NULL AND "
                "DSRESUMOLOGO IS NULL AND IDEXCLUIDA = 'N'");
  if (stale.rows.empty()) return true;
  if (c.ReadOnly()) return false;
  for (const Row& row : stale.rows) {
    const std::string code = TextOf(&row[0]);
    const std::string bytes = StoredLogo(c, code);
    Value size, digest;
    if (!bytes.empty()) {
      size = static_cast<double>(bytes.size());
      digest = LogoDigest(bytes);
    }
    c.Execute(
        "INSERT INTO EMPRALTERACAO (CDEMPRESA, NRSEQALTERACAO, IDEXCLUIDA, NRTAMLOGO, "
        "DSRESUMOLOGO) VALUES (:CD, 0, 'N', :TAM, :RES) ON CONFLICT (CDEMPRESA) DO UPDATE SET "
        "NRTAMLOGO = excluded.NRTAMLOGO, DSRESUMOLOGO = excluded.DSRESUMOLOGO",
        {{"CD", code}, {"TAM", size}, {"RES", digest}});
  }
  return true;
}

}  // namespace

std::vector<std::string> CompaniesOf(const ChangeSet& changes) {
  std::vector<std::string> out;
  const int code = changes.IndexOf("CDEMPRESA");
  if (code < 0) return out;
  auto add = [&](const Row& row) {
    if (static_cast<std::size_t>(code) >= row.size()) return;
    const auto* s = std::get_if<std::string>(&row[static_cast<std::size_t>(code)]);
    if (s && !s->empty() && std::find(out.begin(), out.end(), *s) == out.end()) out.push_back(*s);
  };
  for (const Change& ch : changes.changes) {
    add(ch.oldValues);
    add(ch.newValues);
  }
  return out;
}

std::int64_t CurrentChange(db::Connection& c) {
  const DataPacket p = c.Query("SELECT NRSEQALTERACAO FROM SEQALTERACAO WHERE CDSEQALTERACAO = :L",
                               {{"L", std::string(kList)}});
  return p.rows.empty() ? 0 : static_cast<std::int64_t>(NumberOf(&p.rows[0][0]));
}

void LockChangeNumber(db::Connection& c) {
  if (c.GetEngine() == db::Engine::PostgreSQL)
    c.Query("SELECT NRSEQALTERACAO FROM SEQALTERACAO WHERE CDSEQALTERACAO = :L FOR UPDATE",
            {{"L", std::string(kList)}});
}

std::int64_t StampCompanies(db::Connection& c, const std::vector<std::string>& companies) {
  for (const std::string& code : companies) WriteCompanyRow(c, code);
  return CurrentChange(c);
}

std::string ChangeTriggerSql(db::Engine engine) {
  return "INSERT INTO SEQALTERACAO (CDSEQALTERACAO, NRSEQALTERACAO) VALUES ('EMPRESA', 0) ON "
         "CONFLICT DO NOTHING;\n" +
         (engine == db::Engine::PostgreSQL ? PostgresTriggers() : SqliteTriggers());
}

void PrepareChangeFeed(db::Connection& c) {
  StoreLogoDigests(c, true);
}

bool RebuiltWhenMissing(std::string_view table) {
  return table == record::kSeqAlteracao.name || table == record::kEmprAlteracao.name;
}

std::string LogoDigest(std::string_view bytes) {
  return bytes.empty() ? std::string() : Sha256Hex(bytes);
}

std::string CompanyList(db::Connection& c, bool withLogos, std::int64_t since) {
  const db::Engine engine = c.GetEngine();
  const std::string from = " FROM EMPRESA E LEFT JOIN EMPRALTERACAO A ON A.CDEMPRESA = E.CDEMPRESA";
  if (since == kWholeList) {
    DataPacket list =
        c.Query("SELECT " + ListColumns(engine, withLogos) + from + " ORDER BY E.CDEMPRESA");
    Finish(c, list, withLogos);
    return codec::Encode(list);
  }
  // Digests stored first, so that the list is written straight from the cursor; on a database
  // open for reading only with some missing, they are made from the bytes as the list is read.
  const bool stored = withLogos || StoreLogoDigests(c, false);
  // The number first: what is committed after it is read again next time, never missed.
  const std::int64_t number = CurrentChange(c);
  const bool whole = since < 0 || since > number;
  std::string out = "{\"numero\":" + std::to_string(number) +
                    ",\"completa\":" + (whole ? "true" : "false") + ",\"excluidas\":[";
  if (!whole) {
    const DataPacket gone = c.Query(
        "SELECT CDEMPRESA FROM EMPRALTERACAO WHERE NRSEQALTERACAO > :DESDE AND IDEXCLUIDA = 'S' "
        "ORDER BY CDEMPRESA",
        {{"DESDE", static_cast<double>(since)}});
    for (std::size_t i = 0; i < gone.rows.size(); ++i)
      out += (i ? "," : "") + codec::EncodeText(TextOf(&gone.rows[i][0]));
  }
  out += "],\"empresas\":";
  // The changed companies found by their number's index, not by reading every company.
  const std::string changed =
      " FROM EMPRALTERACAO A CROSS JOIN EMPRESA E WHERE E.CDEMPRESA = A.CDEMPRESA AND "
      "A.NRSEQALTERACAO > :DESDE";
  const db::Params params = {{"DESDE", static_cast<double>(since)}};
  if (stored) {
    const std::string columns = withLogos ? ListColumns(engine, true) : StoredListColumns();
    out += c.QueryEncoded("SELECT " + columns + (whole ? from : changed) + " ORDER BY E.CDEMPRESA",
                          whole ? db::Params{} : params, ListFields);
  } else {
    DataPacket list = c.Query("SELECT " + ListColumns(engine, withLogos) +
                                  (whole ? from : changed) + " ORDER BY E.CDEMPRESA",
                              whole ? db::Params{} : params);
    Finish(c, list, withLogos);
    out += codec::Encode(list);
  }
  out += "}";
  return out;
}

std::string CompanyLogo(db::Connection& c, std::string_view company) {
  DataPacket p = c.Query("SELECT CDEMPRESA, DSARQLOGOEMPCLOB FROM EMPRESA WHERE CDEMPRESA = :CD",
                         {{"CD", std::string(company)}});
  p.fields[1].kind = FieldKind::Blob;
  p.fields.push_back({"NRTAMLOGO", FieldKind::Float, 0, ProviderFlags::None()});
  p.fields.push_back({"DSRESUMOLOGO", FieldKind::String, 64, ProviderFlags::None()});
  for (Row& row : p.rows) {
    // The engine may give a blob as its bytes or as a text of them.
    if (auto* s = std::get_if<std::string>(&row[1])) row[1] = Bytes{std::move(*s)};
    const auto* b = std::get_if<Bytes>(&row[1]);
    if (b && !b->data.empty()) {
      // Both made before the row grows (which moves its values).
      Value size = static_cast<double>(b->data.size()), digest = LogoDigest(b->data);
      row.push_back(std::move(size));
      row.push_back(std::move(digest));
    } else {
      row.emplace_back();
      row.emplace_back();
    }
  }
  return codec::Encode(p);
}

}  // namespace ger::server
