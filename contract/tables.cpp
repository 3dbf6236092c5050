#include "contract/tables.h"

#include <array>
#include <stdexcept>
#include <string>

#include "core/utf8.h"
#include "data/dataset.h"

namespace ger::record {

namespace {

constexpr FieldKind S = FieldKind::String;
constexpr FieldKind M = FieldKind::Memo;
constexpr FieldKind F = FieldKind::Float;
constexpr FieldKind D = FieldKind::DateTime;
constexpr FieldKind B = FieldKind::Blob;
constexpr ProviderFlags N = kNoFlags;
constexpr ProviderFlags W = kInWhere;
constexpr ProviderFlags A = kDefaultFlags;

// The company record, in the order of its dataset. Only the list's two columns are visible; the
// others are edited through the screen's controls. NMMUNICIPIO is 40 wide, as the municipality
// table: official names reach 32 characters, and a narrower record would cut them when copied.
struct EmpresaRow {
  std::string_view name;
  FieldKind kind;
  int size;
  std::string_view label;
  std::string_view mask;
  ProviderFlags flags;
  std::string_view displayFormat = {};
  int displayWidth = 0;
  std::string_view none = {};
  std::string_view initial = {};
  bool placeholder = false;
};

constexpr EmpresaRow kEmpresaRows[] = {
    {"CDEMPRESA", S, 2, "Código", ">aa;0; ", N},
    {"NMEMPRESA", S, 40, "Nome", "", N},
    {"CDPAIS", S, 4, "Código", "9999;0; ", N},
    {"SGESTADO", S, 2, "", "ll>;0; ", N},
    {"CDMUNICIPIO", S, 4, "", "9999;0; ", N},
    {"CDBAIRRO", S, 10, "", "", N},
    {"CDCENTCUST", S, 4, "", "", N},
    {"NMRAZSOCEMPR", S, 80, "Razão Social", "", N},
    {"DSENDEEMPR", S, 50, "", "", N, {}, 0, {}, {}, true},
    {"NMBAIREMPR", S, 30, "", "", N, {}, 50, {}, {}, true},
    {"NRCEPEMPR", S, 15, "", "", N, {}, 0, {}, {}, true},
    {"IDTPIJUREMPR", S, 1, "", "", N},
    {"NRINSJUREMPR", S, 20, "Inscrição", "99999999999999999999;0; ", N},
    {"NRINSCESTA", S, 16, "", "", N, {}, 0, {}, {}, true},
    {"NRREGJUNCOM", S, 20, "", "", W, {}, 0, {}, {}, true},
    {"DTREGJUNCOM", D, 0, "", "", N},
    {"NMTITUEMPR", S, 40, "", "", N, {}, 0, {}, {}, true},
    {"NMPAIS", S, 30, "", "", N},
    {"NMMUNICIPIO", S, 40, "", "", N},
    {"NMBAIRRO", S, 50, "", "", N},
    {"NMCENTCUST", S, 40, "", "", N},
    {"NMESTADO", S, 30, "", "", N},
    {"VRPEMULEMPR", F, 0, "Multa (%)", "", N, "#,##0.000"},
    {"VRPEMOREMPR", F, 0, "Mora Diária (%)", "", N, "#,##0.000"},
    {"CDCNAE", S, 7, "", "9999-9/99;0; ", N},
    {"CDFPAS", S, 3, "", "", N},
    {"DSCNAE", S, 200, "", "", N},
    {"DSMENSEMAILNFE", S, 2000, "", "", A},
    {"DSFPAS", S, 80, "", "", N},
    {"CDNATUJURI", S, 4, "", "!999\\-9;0; ", N},
    {"DSNATUJURI", S, 100, "", "", N},
    {"CDCONTADOR2", S, 2, "", "", N},
    {"NMCONTADOR", S, 30, "", "", N},
    {"NRTELEFOEMPR", S, 25, "", "", N},
    {"DSLOGRADEMPR", S, 50, "", "", N},
    {"NRLOGRADEMPR", S, 6, "", "999999;0; ", N},
    {"DSCMPLOGEMPR", S, 20, "", "", N},
    {"IDPARTICIPAT", S, 1, "", "", N},
    {"IDTIPOEMPR", S, 1, "", "", N},
    {"IDOPTSIMPLES", S, 1, "", "", N},
    {"CDEMPRCAIXA", S, 14, "", "", N},
    {"VRPETXADMPOR", F, 0, "", "", N, "#,##0.00"},
    {"DSARQRECIBO", S, 100, "Modelo", "", N, {}, 0, {}, {}, true},
    {"NRPROPRIEMPR", F, 0, "", "", N},
    {"NRCAGED", F, 0, "", "", N},
    {"MEDATABASE", F, 0, "", "", N},
    {"DSARQRECIREC", S, 100, "Modelo a Receber", "", N, {}, 0, {}, {}, true},
    {"CDREGIMEAPUR", S, 1, "", "", A, {}, 1},
    {"NMCOMPRZSEMP", S, 200, "", "", A},
    {"DSCOMPENDEMP", S, 200, "", "", A},
    {"DSEMAILEMPRESA", S, 100, "", "", A},
    {"DSENDWEBEMPR", S, 50, "", "", A},
    {"DSARQLOGOEMP", S, 250, "", "", A},
    {"IDNATUOPEREMPR", S, 2, "", "", A, {}, 0, "99"},
    {"IDREGESPTRIBEMP", S, 2, "", "", A, {}, 0, "99"},
    {"DSMENSEMAILCCE", S, 2000, "", "", A},
    {"DSMENSEMAILCANC", S, 2000, "", "", A},
    {"IDREGIMEICMSST", S, 2, "", "", A, {}, 0, "0"},
    {"IDFORMAPUR", S, 3, "", "", A, {}, 0, "I", "I"},
    {"IDFORMAPUREMPR", S, 1, "", "", A},
    {"IDCUMUPICOEMP", S, 1, "", "", A, {}, 0, "T"},
    {"IDINCENTCULTURA", S, 1, "", "", A, {}, 0, "N"},
    {"IDINCENTFISCAL", S, 1, "", "", A},
    {"NRRNTRC", S, 8, "", "", A},
    {"DSMENSEMAILCTE", S, 2000, "", "", A},
    {"DSMENSEMAILMDFE", S, 2000, "", "", A},
    {"NRCLF", S, 15, "", "", A},
    {"CDPREFIXOGS1", S, 15, "", "", A},
    {"DSARQLOGOEMPCLOB", B, 0, "", "", A},
    {"IDCTBBAIXAEMPR", S, 1, "", "", N, {}, 0, {}, "S"},
    {"CDEXTERNO", S, 20, "", "", A},
};

constexpr auto kEmpresaColumns = [] {
  std::array<Column, std::size(kEmpresaRows)> out{};
  for (std::size_t i = 0; i < out.size(); ++i) {
    const EmpresaRow& r = kEmpresaRows[i];
    const bool listed = r.name == "CDEMPRESA" || r.name == "NMEMPRESA";
    out[i] = Column{r.name,
                    r.kind,
                    r.size,
                    r.flags,
                    Shown{r.label, r.mask, r.displayFormat, r.displayWidth, listed},
                    r.none,
                    r.initial,
                    r.placeholder};
  }
  return out;
}();
static_assert(kEmpresaColumns.size() == 71);

// The other tables. Their columns carry no presentation: the datasets below give it.
constexpr Column Col(std::string_view name, FieldKind kind, int size) {
  Column c;
  c.name = name;
  c.kind = kind;
  c.size = size;
  return c;
}
constexpr Column kPaisColumns[] = {Col("CDPAIS", S, 4), Col("NMPAIS", S, 30)};
constexpr Column kEstadoColumns[] = {Col("CDPAIS", S, 4), Col("SGESTADO", S, 2),
                                     Col("NMESTADO", S, 30), Col("CDIBGE", S, 2)};
constexpr Column kMunicipioColumns[] = {Col("CDPAIS", S, 4), Col("SGESTADO", S, 2),
                                        Col("CDMUNICIPIO", S, 4), Col("NMMUNICIPIO", S, 40),
                                        Col("CDIBGE", S, 7)};
constexpr Column kBairroColumns[] = {Col("CDPAIS", S, 4), Col("SGESTADO", S, 2),
                                     Col("CDMUNICIPIO", S, 4), Col("CDBAIRRO", S, 10),
                                     Col("NMBAIRRO", S, 50)};
constexpr Column kCentCustColumns[] = {Col("CDCENTCUST", S, 4), Col("NMCENTCUST", S, 40)};
constexpr Column kContadorColumns[] = {Col("CDCONTADOR2", S, 2), Col("NMCONTADOR", S, 30)};
constexpr Column kCnaeColumns[] = {Col("CDCNAE", S, 7), Col("DSCNAE", S, 200)};
constexpr Column kFpasColumns[] = {Col("CDFPAS", S, 3), Col("DSFPAS", S, 80)};
constexpr Column kNaturezaColumns[] = {Col("CDNATUJURI", S, 4), Col("DSNATUJURI", S, 100)};
constexpr Column kFilialColumns[] = {Col("CDFILIAL", S, 4), Col("CDEMPRESA", S, 2),
                                     Col("NMFILIAL", S, 40), Col("IDCUMUPICOEMP", S, 1)};
constexpr Column kParGeralColumns[] = {Col("CDFILIAL", S, 4)};
constexpr Column kQualifAssinaColumns[] = {Col("CDQUALIFASSINA", S, 5),
                                           Col("NMQUALIFASSINA", S, 100)};
constexpr Column kRepresentanteColumns[] = {Col("CDREPRES", S, 2), Col("NMREPRES", S, 30),
                                            Col("NRCPFREPRES", S, 11), Col("CDQUALIFASSINA", S, 5)};
constexpr Column kEmprRepresColumns[] = {Col("CDEMPRESA", S, 2), Col("CDREPRES", S, 2),
                                         Col("IDATIVO", S, 1)};
constexpr Column kNotasColumns[] = {Col("CDEMPRESA", S, 2), Col("DSOBSERVEMP", M, 0)};

constexpr std::string_view kKeyPais[] = {"CDPAIS"};
constexpr std::string_view kKeyEstado[] = {"CDPAIS", "SGESTADO"};
constexpr std::string_view kKeyMunicipio[] = {"CDPAIS", "SGESTADO", "CDMUNICIPIO"};
constexpr std::string_view kKeyBairro[] = {"CDPAIS", "SGESTADO", "CDMUNICIPIO", "CDBAIRRO"};
constexpr std::string_view kKeyCentCust[] = {"CDCENTCUST"};
constexpr std::string_view kKeyContador[] = {"CDCONTADOR2"};
constexpr std::string_view kKeyCnae[] = {"CDCNAE"};
constexpr std::string_view kKeyFpas[] = {"CDFPAS"};
constexpr std::string_view kKeyNatureza[] = {"CDNATUJURI"};
constexpr std::string_view kKeyEmpresa[] = {"CDEMPRESA"};
constexpr std::string_view kKeyFilial[] = {"CDFILIAL"};
constexpr std::string_view kKeyQualifAssina[] = {"CDQUALIFASSINA"};
constexpr std::string_view kKeyRepresentante[] = {"CDREPRES"};
constexpr std::string_view kKeyEmprRepres[] = {"CDEMPRESA", "CDREPRES"};

// The registration check and the branch list look companies up by these.
constexpr Index kEmpresaIndexes[] = {{"EMPRESA_INSC", "NRINSJUREMPR"}};
constexpr Index kFilialIndexes[] = {{"FILIAL_EMPRESA", "CDEMPRESA"}};

}  // namespace

constexpr Table kPais{"PAIS", kPaisColumns, kKeyPais};
constexpr Table kEstado{"ESTADO", kEstadoColumns, kKeyEstado};
constexpr Table kMunicipio{"MUNICIPIO", kMunicipioColumns, kKeyMunicipio};
constexpr Table kBairro{"BAIRRO", kBairroColumns, kKeyBairro};
constexpr Table kCentCust{"CENTCUST", kCentCustColumns, kKeyCentCust};
constexpr Table kContador{"CONTADOR", kContadorColumns, kKeyContador};
constexpr Table kCnae{"CNAE", kCnaeColumns, kKeyCnae};
constexpr Table kFpas{"FPAS", kFpasColumns, kKeyFpas};
constexpr Table kNatureza{"NATUREZA", kNaturezaColumns, kKeyNatureza};
constexpr Table kEmpresa{"EMPRESA", kEmpresaColumns, kKeyEmpresa, kEmpresaIndexes};
constexpr Table kFilial{"FILIAL", kFilialColumns, kKeyFilial, kFilialIndexes};
constexpr Table kParGeral{"PARGERAL", kParGeralColumns, kKeyFilial};
constexpr Table kQualifAssina{"QUALIFASSINA", kQualifAssinaColumns, kKeyQualifAssina};
constexpr Table kRepresentante{"REPRESENTANTE", kRepresentanteColumns, kKeyRepresentante};
constexpr Table kEmprRepres{"EMPRREPRES", kEmprRepresColumns, kKeyEmprRepres};
constexpr Table kNotasExplicativas{"NOTASEXPLICATIVAS", kNotasColumns, kKeyEmpresa};

namespace {

constexpr const Table* kServerTables[] = {
    &kPais,         &kEstado,        &kMunicipio,  &kBairro,           &kCentCust, &kContador,
    &kCnae,         &kFpas,          &kNatureza,   &kEmpresa,          &kFilial,   &kParGeral,
    &kQualifAssina, &kRepresentante, &kEmprRepres, &kNotasExplicativas};

// The screens' datasets.
constexpr Shown kHidden{.visible = false};
constexpr Shown Labelled(std::string_view label) {
  return Shown{.label = label};
}

constexpr DatasetField kVerifEmpresaFields[] = {{&kEmpresa, "CDEMPRESA", kHidden}};
constexpr DatasetField kVParGeralFields[] = {{&kParGeral, "CDFILIAL", kHidden}};
constexpr DatasetField kVeriFilialFields[] = {
    {&kFilial, "CDFILIAL", {.visible = false, .required = true}}};
constexpr DatasetField kVerifInscFields[] = {{&kEmpresa, "NRINSJUREMPR", kHidden}};

constexpr DatasetField kRepresentanteFields[] = {
    {&kEmprRepres, "CDEMPRESA", kHidden},
    {&kEmprRepres, "CDREPRES", {.label = "Código", .mask = "99;0; "}},
    {&kRepresentante, "NMREPRES", Labelled("Nome")},
    {&kRepresentante, "NRCPFREPRES", Labelled("CPF")},
    {&kEmprRepres, "IDATIVO", Labelled("Utilizado")},
    {&kRepresentante, "CDQUALIFASSINA", {.label = "Qualificação", .visible = false}},
    {&kQualifAssina, "NMQUALIFASSINA", {.label = "Qualificação", .displayWidth = 50}},
};
constexpr DatasetField kPesqRepresFields[] = {
    {&kRepresentante, "CDREPRES", Labelled("Código")},
    {&kRepresentante, "NMREPRES", Labelled("Nome")},
    {&kRepresentante, "NRCPFREPRES", Labelled("CPF")},
    {&kQualifAssina, "NMQUALIFASSINA", Labelled("Qualificação")},
};

constexpr DatasetField kContadorFields[] = {{&kContador, "CDCONTADOR2", Labelled("Código")},
                                            {&kContador, "NMCONTADOR", Labelled("Nome")}};
constexpr DatasetField kCnaeFields[] = {
    {&kCnae, "CDCNAE", {.label = "Código", .mask = "9999-9\\/99;0; "}},
    {&kCnae, "DSCNAE", Labelled("Descrição")}};
constexpr DatasetField kFpasFields[] = {
    {&kFpas, "CDFPAS", Labelled("Código")},
    {&kFpas, "DSFPAS", {.label = "Descrição", .readOnly = true}}};
constexpr DatasetField kNaturezaFields[] = {
    {&kNatureza, "CDNATUJURI", {.label = "Código", .mask = "!999\\-9;0;_"}},
    {&kNatureza, "DSNATUJURI", Labelled("Descrição")}};
constexpr DatasetField kPesqBairroFields[] = {{&kBairro, "CDBAIRRO", Labelled("Código")},
                                              {&kBairro, "NMBAIRRO", Labelled("Nome")}};

constexpr Shown kRequiredCode{.label = "Código", .required = true};
constexpr DatasetField kPaisListaFields[] = {{&kPais, "CDPAIS", kRequiredCode},
                                             {&kPais, "NMPAIS", Labelled("Nome")}};
constexpr DatasetField kEstadoListaFields[] = {
    {&kEstado, "SGESTADO", {.label = "Sigla", .required = true}},
    {&kEstado, "NMESTADO", Labelled("Nome")}};
constexpr DatasetField kMunicipioListaFields[] = {{&kMunicipio, "CDMUNICIPIO", kRequiredCode},
                                                  {&kMunicipio, "NMMUNICIPIO", Labelled("Nome")}};
constexpr DatasetField kCentCustoListaFields[] = {
    {&kCentCust, "CDCENTCUST", kRequiredCode},
    {&kCentCust, "NMCENTCUST", {.label = "Nome", .required = true}}};

constexpr DatasetField kObservacaoFields[] = {
    {&kNotasExplicativas, "CDEMPRESA", kHidden},
    {&kNotasExplicativas, "DSOBSERVEMP", Labelled("Descrição")}};

// Every dataset field names a column its table has, as declared.
constexpr bool Resolves(std::span<const DatasetField> fields) {
  for (const DatasetField& f : fields) {
    bool found = false;
    for (const Column& c : f.table->columns) found = found || c.name == f.column;
    if (!found) return false;
  }
  return true;
}
static_assert(Resolves(kVerifEmpresaFields) && Resolves(kVParGeralFields) &&
              Resolves(kVeriFilialFields) && Resolves(kVerifInscFields) &&
              Resolves(kRepresentanteFields) && Resolves(kPesqRepresFields) &&
              Resolves(kContadorFields) && Resolves(kCnaeFields) && Resolves(kFpasFields) &&
              Resolves(kNaturezaFields) && Resolves(kPesqBairroFields) &&
              Resolves(kPaisListaFields) && Resolves(kEstadoListaFields) &&
              Resolves(kMunicipioListaFields) && Resolves(kCentCustoListaFields) &&
              Resolves(kObservacaoFields));

TField& AddField(TDataSet& dataset, FieldDef def, const Shown& shown) {
  TField& field = dataset.AddField(std::move(def));
  if (!shown.label.empty()) field.SetDisplayLabel(std::string(shown.label));
  if (!shown.mask.empty()) field.SetEditMask(std::string(shown.mask));
  if (!shown.displayFormat.empty()) field.SetDisplayFormat(std::string(shown.displayFormat));
  if (shown.displayWidth) field.SetDisplayWidth(shown.displayWidth);
  field.SetVisible(shown.visible);
  field.SetRequired(shown.required);
  field.SetReadOnly(shown.readOnly);
  return field;
}

}  // namespace

constexpr Dataset kCdsVerifEmpresa{"cdsVerifEmpresa", kVerifEmpresaFields};
constexpr Dataset kCdsVEmp{"cdsVEmp", kVerifEmpresaFields};
constexpr Dataset kCdsVParGeral{"cdsVParGeral", kVParGeralFields};
constexpr Dataset kQryVeriFilial{"qryVeriFilial", kVeriFilialFields};
constexpr Dataset kCdsVerifInsc{"cdsVerifInsc", kVerifInscFields};
constexpr Dataset kCdsRepresentante{"cdsRepresentante", kRepresentanteFields};
constexpr Dataset kCdsPesqRepres{"cdsPesqRepres", kPesqRepresFields};
constexpr Dataset kCdsContador{"cdsContador", kContadorFields};
constexpr Dataset kCdsCNAE{"cdsCNAE", kCnaeFields};
constexpr Dataset kCdsFPAS{"cdsFPAS", kFpasFields};
constexpr Dataset kCdsNatureza{"cdsNatureza", kNaturezaFields};
constexpr Dataset kCdsPesqBairro{"cdsPesqBairro", kPesqBairroFields};
constexpr Dataset kQryPais{"qryPais", kPaisListaFields};
constexpr Dataset kQryEstado{"qryEstado", kEstadoListaFields};
constexpr Dataset kQryMunicipio{"qryMunicipio", kMunicipioListaFields};
constexpr Dataset kQryCentCusto{"qryCentCusto", kCentCustoListaFields};
constexpr Dataset kCdsObservacao{"cdsObservacao", kObservacaoFields};

FieldDef Column::Def() const {
  return FieldDef{std::string(name), kind, size, flags};
}

const Column* Table::Find(std::string_view column) const {
  for (const Column& c : columns)
    if (utf8::SameText(c.name, column)) return &c;
  return nullptr;
}

const Column& Table::operator[](std::string_view column) const {
  if (const Column* c = Find(column)) return *c;
  throw std::out_of_range("table " + std::string(name) + " has no column " + std::string(column));
}

bool Table::IsKey(std::string_view column) const {
  for (std::string_view k : key)
    if (utf8::SameText(k, column)) return true;
  return false;
}

std::vector<FieldDef> Table::Fields() const {
  std::vector<FieldDef> out;
  out.reserve(columns.size());
  for (const Column& c : columns) out.push_back(c.Def());
  return out;
}

FieldDef DatasetField::Def() const {
  const Column& c = Source();
  return FieldDef{std::string(c.name), c.kind, c.size, flags};
}

std::span<const Table* const> ServerTables() {
  return kServerTables;
}

void DefineFields(TDataSet& dataset, const Table& table) {
  for (const Column& c : table.columns) AddField(dataset, c.Def(), c.shown);
}

void DefineFields(TDataSet& dataset, const Dataset& declared) {
  for (const DatasetField& f : declared.fields) AddField(dataset, f.Def(), f.shown);
}

}  // namespace ger::record
