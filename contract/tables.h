#pragma once
// The tables the company module's server owns and the screens' datasets over them, declared once
// with the host's declaration types (record/table.h).
//
// The company record (EMPRESA) is the table the company screen edits as it stands; the other
// datasets of the screens (lookups, checks, representatives, notes) take columns of one or more
// tables, each with its own presentation.
//
// What is derived from here: the server's schema (both engines) and the provider flags of its
// answers, the screens' field definitions, the benchmark and test samples. Code elsewhere names
// only the columns it uses.
#include <string_view>

#include "record/table.h"

namespace ger::record {

// The columns of each table, in order, declared once as a list that tables.cpp turns into the
// table and that gives every table a struct of its column names (record::Empresa::NMEMPRESA):
// code names a column through them, so a column that is not declared does not compile.
// A row is X(NAME, kind, size) with kind S (text), M (memo), F (number), D (date) or B (blob);
// the company's rows go on with its dataset's presentation: label, mask, provider flags (N none,
// W in where, A the default) and, where they have them, display format, display width, the code
// that means none, the value of a new record and the placeholder rule.
// The company record is in the order of its dataset. Only the list's two columns are visible;
// the others are edited through the screen's controls. NMMUNICIPIO is 40 wide, as the
// municipality table: official names reach 32 characters, and a narrower record would cut them
// when copied.
// clang-format off
#define GER_EMPRESA_COLUMNS(X) \
  X(CDEMPRESA, S, 2, "Código", ">aa;0; ", N) \
  X(NMEMPRESA, S, 40, "Nome", "", N) \
  X(CDPAIS, S, 4, "Código", "9999;0; ", N) \
  X(SGESTADO, S, 2, "", "ll>;0; ", N) \
  X(CDMUNICIPIO, S, 4, "", "9999;0; ", N) \
  X(CDBAIRRO, S, 10, "", "", N) \
  X(CDCENTCUST, S, 4, "", "", N) \
  X(NMRAZSOCEMPR, S, 80, "Razão Social", "", N) \
  X(DSENDEEMPR, S, 50, "", "", N, {}, 0, {}, {}, true) \
  X(NMBAIREMPR, S, 30, "", "", N, {}, 50, {}, {}, true) \
  X(NRCEPEMPR, S, 15, "", "", N, {}, 0, {}, {}, true) \
  X(IDTPIJUREMPR, S, 1, "", "", N) \
  X(NRINSJUREMPR, S, 20, "Inscrição", "99999999999999999999;0; ", N) \
  X(NRINSCESTA, S, 16, "", "", N, {}, 0, {}, {}, true) \
  X(NRREGJUNCOM, S, 20, "", "", W, {}, 0, {}, {}, true) \
  X(DTREGJUNCOM, D, 0, "", "", N) \
  X(NMTITUEMPR, S, 40, "", "", N, {}, 0, {}, {}, true) \
  X(NMPAIS, S, 30, "", "", N) \
  X(NMMUNICIPIO, S, 40, "", "", N) \
  X(NMBAIRRO, S, 50, "", "", N) \
  X(NMCENTCUST, S, 40, "", "", N) \
  X(NMESTADO, S, 30, "", "", N) \
  X(VRPEMULEMPR, F, 0, "Multa (%)", "", N, "#,##0.000") \
  X(VRPEMOREMPR, F, 0, "Mora Diária (%)", "", N, "#,##0.000") \
  X(CDCNAE, S, 7, "", "9999-9/99;0; ", N) \
  X(CDFPAS, S, 3, "", "", N) \
  X(DSCNAE, S, 200, "", "", N) \
  X(DSMENSEMAILNFE, S, 2000, "", "", A) \
  X(DSFPAS, S, 80, "", "", N) \
  X(CDNATUJURI, S, 4, "", "!999\\-9;0; ", N) \
  X(DSNATUJURI, S, 100, "", "", N) \
  X(CDCONTADOR2, S, 2, "", "", N) \
  X(NMCONTADOR, S, 30, "", "", N) \
  X(NRTELEFOEMPR, S, 25, "", "", N) \
  X(DSLOGRADEMPR, S, 50, "", "", N) \
  X(NRLOGRADEMPR, S, 6, "", "999999;0; ", N) \
  X(DSCMPLOGEMPR, S, 20, "", "", N) \
  X(IDPARTICIPAT, S, 1, "", "", N) \
  X(IDTIPOEMPR, S, 1, "", "", N) \
  X(IDOPTSIMPLES, S, 1, "", "", N) \
  X(CDEMPRCAIXA, S, 14, "", "", N) \
  X(VRPETXADMPOR, F, 0, "", "", N, "#,##0.00") \
  X(DSARQRECIBO, S, 100, "Modelo", "", N, {}, 0, {}, {}, true) \
  X(NRPROPRIEMPR, F, 0, "", "", N) \
  X(NRCAGED, F, 0, "", "", N) \
  X(MEDATABASE, F, 0, "", "", N) \
  X(DSARQRECIREC, S, 100, "Modelo a Receber", "", N, {}, 0, {}, {}, true) \
  X(CDREGIMEAPUR, S, 1, "", "", A, {}, 1) \
  X(NMCOMPRZSEMP, S, 200, "", "", A) \
  X(DSCOMPENDEMP, S, 200, "", "", A) \
  X(DSEMAILEMPRESA, S, 100, "", "", A) \
  X(DSENDWEBEMPR, S, 50, "", "", A) \
  X(DSARQLOGOEMP, S, 250, "", "", A) \
  X(IDNATUOPEREMPR, S, 2, "", "", A, {}, 0, "99") \
  X(IDREGESPTRIBEMP, S, 2, "", "", A, {}, 0, "99") \
  X(DSMENSEMAILCCE, S, 2000, "", "", A) \
  X(DSMENSEMAILCANC, S, 2000, "", "", A) \
  X(IDREGIMEICMSST, S, 2, "", "", A, {}, 0, "0") \
  X(IDFORMAPUR, S, 3, "", "", A, {}, 0, "I", "I") \
  X(IDFORMAPUREMPR, S, 1, "", "", A) \
  X(IDCUMUPICOEMP, S, 1, "", "", A, {}, 0, "T") \
  X(IDINCENTCULTURA, S, 1, "", "", A, {}, 0, "N") \
  X(IDINCENTFISCAL, S, 1, "", "", A) \
  X(NRRNTRC, S, 8, "", "", A) \
  X(DSMENSEMAILCTE, S, 2000, "", "", A) \
  X(DSMENSEMAILMDFE, S, 2000, "", "", A) \
  X(NRCLF, S, 15, "", "", A) \
  X(CDPREFIXOGS1, S, 15, "", "", A) \
  X(DSARQLOGOEMPCLOB, B, 0, "", "", A) \
  X(IDCTBBAIXAEMPR, S, 1, "", "", N, {}, 0, {}, "S") \
  X(CDEXTERNO, S, 20, "", "", A)
#define GER_PAIS_COLUMNS(X) \
  X(CDPAIS, S, 4) \
  X(NMPAIS, S, 30)
#define GER_ESTADO_COLUMNS(X) \
  X(CDPAIS, S, 4) \
  X(SGESTADO, S, 2) \
  X(NMESTADO, S, 30) \
  X(CDIBGE, S, 2)
#define GER_MUNICIPIO_COLUMNS(X) \
  X(CDPAIS, S, 4) \
  X(SGESTADO, S, 2) \
  X(CDMUNICIPIO, S, 4) \
  X(NMMUNICIPIO, S, 40) \
  X(CDIBGE, S, 7)
#define GER_BAIRRO_COLUMNS(X) \
  X(CDPAIS, S, 4) \
  X(SGESTADO, S, 2) \
  X(CDMUNICIPIO, S, 4) \
  X(CDBAIRRO, S, 10) \
  X(NMBAIRRO, S, 50)
#define GER_CENTCUST_COLUMNS(X) \
  X(CDCENTCUST, S, 4) \
  X(NMCENTCUST, S, 40)
#define GER_CONTADOR_COLUMNS(X) \
  X(CDCONTADOR2, S, 2) \
  X(NMCONTADOR, S, 30)
#define GER_CNAE_COLUMNS(X) \
  X(CDCNAE, S, 7) \
  X(DSCNAE, S, 200)
#define GER_FPAS_COLUMNS(X) \
  X(CDFPAS, S, 3) \
  X(DSFPAS, S, 80)
#define GER_NATUREZA_COLUMNS(X) \
  X(CDNATUJURI, S, 4) \
  X(DSNATUJURI, S, 100)
#define GER_FILIAL_COLUMNS(X) \
  X(CDFILIAL, S, 4) \
  X(CDEMPRESA, S, 2) \
  X(NMFILIAL, S, 40) \
  X(IDCUMUPICOEMP, S, 1)
#define GER_PARGERAL_COLUMNS(X) \
  X(CDFILIAL, S, 4)
#define GER_QUALIFASSINA_COLUMNS(X) \
  X(CDQUALIFASSINA, S, 5) \
  X(NMQUALIFASSINA, S, 100)
#define GER_REPRESENTANTE_COLUMNS(X) \
  X(CDREPRES, S, 2) \
  X(NMREPRES, S, 30) \
  X(NRCPFREPRES, S, 11) \
  X(CDQUALIFASSINA, S, 5)
#define GER_EMPRREPRES_COLUMNS(X) \
  X(CDEMPRESA, S, 2) \
  X(CDREPRES, S, 2) \
  X(IDATIVO, S, 1)
#define GER_NOTASEXPLICATIVAS_COLUMNS(X) \
  X(CDEMPRESA, S, 2) \
  X(DSOBSERVEMP, M, 0)
// The change number: one row per numbered list (CDSEQALTERACAO "EMPRESA"), advanced in the
// transaction of each stored change; and the number of each company's last change, who made it,
// whether it deleted the company, and its logo's size and digest.
#define GER_SEQALTERACAO_COLUMNS(X) \
  X(CDSEQALTERACAO, S, 20) \
  X(NRSEQALTERACAO, F, 0)
#define GER_EMPRALTERACAO_COLUMNS(X) \
  X(CDEMPRESA, S, 2) \
  X(NRSEQALTERACAO, F, 0) \
  X(IDEXCLUIDA, S, 1) \
  X(NMUSUALTERACAO, S, 100) \
  X(DTALTERACAO, D, 0) \
  X(NRTAMLOGO, F, 0) \
  X(DSRESUMOLOGO, S, 64)

struct Pais { GER_PAIS_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Estado { GER_ESTADO_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Municipio { GER_MUNICIPIO_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Bairro { GER_BAIRRO_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct CentCust { GER_CENTCUST_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Contador { GER_CONTADOR_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Cnae { GER_CNAE_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Fpas { GER_FPAS_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Natureza { GER_NATUREZA_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Empresa { GER_EMPRESA_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Filial { GER_FILIAL_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct ParGeral { GER_PARGERAL_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct QualifAssina { GER_QUALIFASSINA_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct Representante { GER_REPRESENTANTE_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct EmprRepres { GER_EMPRREPRES_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct NotasExplicativas { GER_NOTASEXPLICATIVAS_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct SeqAlteracao { GER_SEQALTERACAO_COLUMNS(GER_RECORD_COLUMN_NAME) };
struct EmprAlteracao { GER_EMPRALTERACAO_COLUMNS(GER_RECORD_COLUMN_NAME) };
// clang-format on

// The tables of the server, each declared once.
extern const Table kPais, kEstado, kMunicipio, kBairro, kCentCust, kContador, kCnae, kFpas,
    kNatureza, kEmpresa, kFilial, kParGeral, kQualifAssina, kRepresentante, kEmprRepres,
    kNotasExplicativas, kSeqAlteracao, kEmprAlteracao;

// Every table of the server in the order they are created.
std::span<const Table* const> ServerTables();

// The columns whose edit box being empty the company save reports to the server, in the order of
// the save's flags (after a delete the screen sends the last two the other way round).
inline constexpr std::string_view kEmptyBoxColumns[6] = {
    Empresa::VRPETXADMPOR, Empresa::DTREGJUNCOM, Empresa::VRPEMULEMPR,
    Empresa::VRPEMOREMPR,  Empresa::NRCAGED,     Empresa::CDEXTERNO};

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

}  // namespace ger::record
