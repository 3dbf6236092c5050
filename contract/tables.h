#pragma once
// The tables the application server owns and the screens' datasets over them, declared once.
//
// A table names its columns in order with their kind and size (sizes count characters) and the
// way its own dataset presents them: label, edit mask, display format and width, visibility,
// provider flags, the code that means none and the value of a new record where they have one.
// The company record (EMPRESA) is the table the company screen edits as it stands; the other
// datasets of the screens (lookups, checks, representatives, notes) take columns of one or more
// tables, each with its own presentation.
//
// What is derived from here: the server's schema (both engines) and the provider flags of its
// answers, the screens' field definitions, the benchmark and test samples. Code elsewhere names
// only the columns it uses. The declarations are constant data: safe to read from any thread,
// before main and after.
#include <span>
#include <string_view>
#include <vector>

#include "data/packet.h"

namespace ger {
class TDataSet;
}

namespace ger::record {

// Provider flags as constants of the declarations.
inline constexpr ProviderFlags kNoFlags{false, false, false};
inline constexpr ProviderFlags kInWhere{false, true, false};
inline constexpr ProviderFlags kDefaultFlags{true, true, false};

// How a dataset shows one column.
struct Shown {
  std::string_view label = {};  // blank: the column name
  std::string_view mask = {};
  std::string_view displayFormat = {};
  int displayWidth = 0;  // 0: the size
  bool visible = true;
  bool required = false;
  bool readOnly = false;
};

struct Column {
  std::string_view name;
  FieldKind kind = FieldKind::String;
  int size = 0;  // characters, for String; 0 elsewhere
  ProviderFlags flags = kDefaultFlags;
  Shown shown;
  std::string_view none = {};     // the code that means none in a coded column
  std::string_view initial = {};  // the value a new record starts with
  bool placeholder = false;       // an empty box is stored as "*" at confirm

  FieldDef Def() const;
};

struct Index {
  std::string_view name;
  std::string_view column;
};

struct Table {
  std::string_view name;
  std::span<const Column> columns;
  std::span<const std::string_view> key;
  std::span<const Index> indexes = {};

  // Names compare case-insensitively (utf8::SameText).
  const Column* Find(std::string_view column) const;
  // std::out_of_range naming the table and the column when there is no such column.
  const Column& operator[](std::string_view column) const;
  bool IsKey(std::string_view column) const;
  std::vector<FieldDef> Fields() const;
};

// One field of a screen's dataset: a column of a table, shown the dataset's way.
struct DatasetField {
  const Table* table;
  std::string_view column;
  Shown shown;
  ProviderFlags flags = kDefaultFlags;

  const Column& Source() const { return (*table)[column]; }
  FieldDef Def() const;
};

struct Dataset {
  std::string_view name;
  std::span<const DatasetField> fields;
};

// The tables of the server, each declared once.
extern const Table kPais, kEstado, kMunicipio, kBairro, kCentCust, kContador, kCnae, kFpas,
    kNatureza, kEmpresa, kFilial, kParGeral, kQualifAssina, kRepresentante, kEmprRepres,
    kNotasExplicativas;

// Every table of the server in the order they are created.
std::span<const Table* const> ServerTables();

// The columns whose edit box being empty the company save reports to the server, in the order of
// the save's flags (after a delete the screen sends the last two the other way round).
inline constexpr std::string_view kEmptyBoxColumns[6] = {
    "VRPETXADMPOR", "DTREGJUNCOM", "VRPEMULEMPR", "VRPEMOREMPR", "NRCAGED", "CDEXTERNO"};

// The screens' datasets over the server's tables.
extern const Dataset kCdsVerifEmpresa;   // cdsVerifEmpresa
extern const Dataset kCdsVEmp;           // cdsVEmp
extern const Dataset kCdsVParGeral;      // cdsVParGeral
extern const Dataset kQryVeriFilial;     // qryVeriFilial
extern const Dataset kCdsVerifInsc;      // cdsVerifInsc
extern const Dataset kCdsRepresentante;  // cdsRepresentante and its mirror cdsEspelho
extern const Dataset kCdsPesqRepres;     // cdsPesqRepres
extern const Dataset kCdsContador;       // cdsContador
extern const Dataset kCdsCNAE;           // cdsCNAE
extern const Dataset kCdsFPAS;           // cdsFPAS
extern const Dataset kCdsNatureza;       // cdsNatureza
extern const Dataset kCdsPesqBairro;     // cdsPesqBairro
extern const Dataset kQryPais;           // qryPais
extern const Dataset kQryEstado;         // qryEstado
extern const Dataset kQryMunicipio;      // qryMunicipio
extern const Dataset kQryCentCusto;      // qryCentCusto
extern const Dataset kCdsObservacao;     // cdsObservacao

// The tables a seat (the desktop host) reads straight from the database: the reference lists of
// qryPais, qryEstado, qryMunicipio and qryCentCusto, and the branch check of qryVeriFilial. All
// else goes through the server, its checks and its log; `ger-admin seat-role` grants a seat's
// role reading these and nothing more.
inline constexpr std::string_view kSeatReadTables[5] = {"PAIS", "ESTADO", "MUNICIPIO", "CENTCUST",
                                                        "FILIAL"};

// Adds the persistent fields, in order, with their presentation: every column of a table, or the
// fields of a dataset. The dataset must have no fields yet.
void DefineFields(TDataSet& dataset, const Table& table);
void DefineFields(TDataSet& dataset, const Dataset& declared);

}  // namespace ger::record
