#include "contract/tables.h"

#include <array>
#include <span>

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

// One row of GER_EMPRESA_COLUMNS.
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
#define GER_EMPRESA_ROW(name, ...) EmpresaRow{#name, __VA_ARGS__},
    GER_EMPRESA_COLUMNS(GER_EMPRESA_ROW)
#undef GER_EMPRESA_ROW
};

constexpr auto kEmpresaColumns = [] {
  std::array<Column, std::size(kEmpresaRows)> out{};
  for (std::size_t i = 0; i < out.size(); ++i) {
    const EmpresaRow& r = kEmpresaRows[i];
    const bool listed = r.name == Empresa::CDEMPRESA || r.name == Empresa::NMEMPRESA;
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
#define GER_COLUMN(name, kind, size) Col(#name, kind, size),
constexpr Column kPaisColumns[] = {GER_PAIS_COLUMNS(GER_COLUMN)};
constexpr Column kEstadoColumns[] = {GER_ESTADO_COLUMNS(GER_COLUMN)};
constexpr Column kMunicipioColumns[] = {GER_MUNICIPIO_COLUMNS(GER_COLUMN)};
constexpr Column kBairroColumns[] = {GER_BAIRRO_COLUMNS(GER_COLUMN)};
constexpr Column kCentCustColumns[] = {GER_CENTCUST_COLUMNS(GER_COLUMN)};
constexpr Column kContadorColumns[] = {GER_CONTADOR_COLUMNS(GER_COLUMN)};
constexpr Column kCnaeColumns[] = {GER_CNAE_COLUMNS(GER_COLUMN)};
constexpr Column kFpasColumns[] = {GER_FPAS_COLUMNS(GER_COLUMN)};
constexpr Column kNaturezaColumns[] = {GER_NATUREZA_COLUMNS(GER_COLUMN)};
constexpr Column kFilialColumns[] = {GER_FILIAL_COLUMNS(GER_COLUMN)};
constexpr Column kParGeralColumns[] = {GER_PARGERAL_COLUMNS(GER_COLUMN)};
constexpr Column kQualifAssinaColumns[] = {GER_QUALIFASSINA_COLUMNS(GER_COLUMN)};
constexpr Column kRepresentanteColumns[] = {GER_REPRESENTANTE_COLUMNS(GER_COLUMN)};
constexpr Column kEmprRepresColumns[] = {GER_EMPRREPRES_COLUMNS(GER_COLUMN)};
constexpr Column kNotasColumns[] = {GER_NOTASEXPLICATIVAS_COLUMNS(GER_COLUMN)};
constexpr Column kSeqAlteracaoColumns[] = {GER_SEQALTERACAO_COLUMNS(GER_COLUMN)};
constexpr Column kEmprAlteracaoColumns[] = {GER_EMPRALTERACAO_COLUMNS(GER_COLUMN)};
#undef GER_COLUMN

constexpr std::string_view kKeyPais[] = {Pais::CDPAIS};
constexpr std::string_view kKeyEstado[] = {Estado::CDPAIS, Estado::SGESTADO};
constexpr std::string_view kKeyMunicipio[] = {Municipio::CDPAIS, Municipio::SGESTADO,
                                              Municipio::CDMUNICIPIO};
constexpr std::string_view kKeyBairro[] = {Bairro::CDPAIS, Bairro::SGESTADO, Bairro::CDMUNICIPIO,
                                           Bairro::CDBAIRRO};
constexpr std::string_view kKeyCentCust[] = {CentCust::CDCENTCUST};
constexpr std::string_view kKeyContador[] = {Contador::CDCONTADOR2};
constexpr std::string_view kKeyCnae[] = {Cnae::CDCNAE};
constexpr std::string_view kKeyFpas[] = {Fpas::CDFPAS};
constexpr std::string_view kKeyNatureza[] = {Natureza::CDNATUJURI};
constexpr std::string_view kKeyEmpresa[] = {Empresa::CDEMPRESA};
constexpr std::string_view kKeyFilial[] = {Filial::CDFILIAL};
constexpr std::string_view kKeyQualifAssina[] = {QualifAssina::CDQUALIFASSINA};
constexpr std::string_view kKeyRepresentante[] = {Representante::CDREPRES};
constexpr std::string_view kKeyEmprRepres[] = {EmprRepres::CDEMPRESA, EmprRepres::CDREPRES};
constexpr std::string_view kKeySeqAlteracao[] = {SeqAlteracao::CDSEQALTERACAO};

// The registration check and the branch list look companies up by these.
constexpr Index kEmpresaIndexes[] = {{"EMPRESA_INSC", Empresa::NRINSJUREMPR}};
constexpr Index kFilialIndexes[] = {{"FILIAL_EMPRESA", Filial::CDEMPRESA}};
// A seat asks for the companies changed since its number.
constexpr Index kEmprAlteracaoIndexes[] = {{"EMPRALTERACAO_SEQ", EmprAlteracao::NRSEQALTERACAO}};

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
constexpr Table kSeqAlteracao{"SEQALTERACAO", kSeqAlteracaoColumns, kKeySeqAlteracao};
constexpr Table kEmprAlteracao{"EMPRALTERACAO", kEmprAlteracaoColumns, kKeyEmpresa,
                               kEmprAlteracaoIndexes};

namespace {

constexpr const Table* kServerTables[] = {
    &kPais,         &kEstado,        &kMunicipio,  &kBairro,           &kCentCust, &kContador,
    &kCnae,         &kFpas,          &kNatureza,   &kEmpresa,          &kFilial,   &kParGeral,
    &kQualifAssina, &kRepresentante, &kEmprRepres, &kNotasExplicativas, &kSeqAlteracao,
    &kEmprAlteracao};

// The screens' datasets.
constexpr Shown kHidden{.visible = false};
constexpr Shown Labelled(std::string_view label) {
  return Shown{.label = label};
}

constexpr DatasetField kVerifEmpresaFields[] = {{&kEmpresa, Empresa::CDEMPRESA, kHidden}};
constexpr DatasetField kVParGeralFields[] = {{&kParGeral, ParGeral::CDFILIAL, kHidden}};
constexpr DatasetField kVeriFilialFields[] = {
    {&kFilial, Filial::CDFILIAL, {.visible = false, .required = true}}};
constexpr DatasetField kVerifInscFields[] = {{&kEmpresa, Empresa::NRINSJUREMPR, kHidden}};

constexpr DatasetField kRepresentanteFields[] = {
    {&kEmprRepres, EmprRepres::CDEMPRESA, kHidden},
    {&kEmprRepres, EmprRepres::CDREPRES, {.label = "Código", .mask = "99;0; "}},
    {&kRepresentante, Representante::NMREPRES, Labelled("Nome")},
    {&kRepresentante, Representante::NRCPFREPRES, Labelled("CPF")},
    {&kEmprRepres, EmprRepres::IDATIVO, Labelled("Utilizado")},
    {&kRepresentante, Representante::CDQUALIFASSINA, {.label = "Qualificação", .visible = false}},
    {&kQualifAssina, QualifAssina::NMQUALIFASSINA, {.label = "Qualificação", .displayWidth = 50}},
};
constexpr DatasetField kPesqRepresFields[] = {
    {&kRepresentante, Representante::CDREPRES, Labelled("Código")},
    {&kRepresentante, Representante::NMREPRES, Labelled("Nome")},
    {&kRepresentante, Representante::NRCPFREPRES, Labelled("CPF")},
    {&kQualifAssina, QualifAssina::NMQUALIFASSINA, Labelled("Qualificação")},
};

constexpr DatasetField kContadorFields[] = {{&kContador, Contador::CDCONTADOR2, Labelled("Código")},
                                            {&kContador, Contador::NMCONTADOR, Labelled("Nome")}};
constexpr DatasetField kCnaeFields[] = {
    {&kCnae, Cnae::CDCNAE, {.label = "Código", .mask = "9999-9\\/99;0; "}},
    {&kCnae, Cnae::DSCNAE, Labelled("Descrição")}};
constexpr DatasetField kFpasFields[] = {
    {&kFpas, Fpas::CDFPAS, Labelled("Código")},
    {&kFpas, Fpas::DSFPAS, {.label = "Descrição", .readOnly = true}}};
constexpr DatasetField kNaturezaFields[] = {
    {&kNatureza, Natureza::CDNATUJURI, {.label = "Código", .mask = "!999\\-9;0;_"}},
    {&kNatureza, Natureza::DSNATUJURI, Labelled("Descrição")}};
constexpr DatasetField kPesqBairroFields[] = {{&kBairro, Bairro::CDBAIRRO, Labelled("Código")},
                                              {&kBairro, Bairro::NMBAIRRO, Labelled("Nome")}};

constexpr Shown kRequiredCode{.label = "Código", .required = true};
constexpr DatasetField kPaisListaFields[] = {{&kPais, Pais::CDPAIS, kRequiredCode},
                                             {&kPais, Pais::NMPAIS, Labelled("Nome")}};
constexpr DatasetField kEstadoListaFields[] = {
    {&kEstado, Estado::SGESTADO, {.label = "Sigla", .required = true}},
    {&kEstado, Estado::NMESTADO, Labelled("Nome")}};
constexpr DatasetField kMunicipioListaFields[] = {
    {&kMunicipio, Municipio::CDMUNICIPIO, kRequiredCode},
    {&kMunicipio, Municipio::NMMUNICIPIO, Labelled("Nome")}};
constexpr DatasetField kCentCustoListaFields[] = {
    {&kCentCust, CentCust::CDCENTCUST, kRequiredCode},
    {&kCentCust, CentCust::NMCENTCUST, {.label = "Nome", .required = true}}};

constexpr DatasetField kObservacaoFields[] = {
    {&kNotasExplicativas, NotasExplicativas::CDEMPRESA, kHidden},
    {&kNotasExplicativas, NotasExplicativas::DSOBSERVEMP, Labelled("Descrição")}};

// Every dataset field names a column its table has, as declared.
static_assert(Resolves(kVerifEmpresaFields) && Resolves(kVParGeralFields) &&
              Resolves(kVeriFilialFields) && Resolves(kVerifInscFields) &&
              Resolves(kRepresentanteFields) && Resolves(kPesqRepresFields) &&
              Resolves(kContadorFields) && Resolves(kCnaeFields) && Resolves(kFpasFields) &&
              Resolves(kNaturezaFields) && Resolves(kPesqBairroFields) &&
              Resolves(kPaisListaFields) && Resolves(kEstadoListaFields) &&
              Resolves(kMunicipioListaFields) && Resolves(kCentCustoListaFields) &&
              Resolves(kObservacaoFields));

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

std::span<const Table* const> ServerTables() {
  return kServerTables;
}

}  // namespace ger::record
