#include "ger00200_dados.h"

#include <string>

namespace ger::embedded {
extern const std::string_view msgPadrao;
}

namespace ger::empresa {
namespace {

enum class Flags { None, InWhere, Default };

struct Column {
  const char* name;
  FieldKind kind;
  int size;
  const char* label;
  const char* mask;
  Flags flags;
  const char* displayFormat = "";
  int displayWidth = 0;
};

constexpr FieldKind S = FieldKind::String;
constexpr FieldKind F = FieldKind::Float;
constexpr FieldKind D = FieldKind::DateTime;
constexpr FieldKind B = FieldKind::Blob;
constexpr Flags N = Flags::None;
constexpr Flags W = Flags::InWhere;
constexpr Flags A = Flags::Default;

// The record as the server sends it, column by column.
const Column kEmpresa[] = {
    {"CDEMPRESA", S, 2, "Código", ">aa;0; ", N},
    {"NMEMPRESA", S, 40, "Nome", "", N},
    {"CDPAIS", S, 4, "Código", "9999;0; ", N},
    {"SGESTADO", S, 2, "", "ll>;0; ", N},
    {"CDMUNICIPIO", S, 4, "", "9999;0; ", N},
    {"CDBAIRRO", S, 10, "", "", N},
    {"CDCENTCUST", S, 4, "", "", N},
    {"NMRAZSOCEMPR", S, 80, "Razão Social", "", N},
    {"DSENDEEMPR", S, 50, "", "", N},
    {"NMBAIREMPR", S, 30, "", "", N, "", 50},
    {"NRCEPEMPR", S, 15, "", "", N},
    {"IDTPIJUREMPR", S, 1, "", "", N},
    {"NRINSJUREMPR", S, 20, "Inscrição", "99999999999999999999;0; ", N},
    {"NRINSCESTA", S, 16, "", "", N},
    {"NRREGJUNCOM", S, 20, "", "", W},
    {"DTREGJUNCOM", D, 0, "", "", N},
    {"NMTITUEMPR", S, 40, "", "", N},
    {"NMPAIS", S, 30, "", "", N},
    {"NMMUNICIPIO", S, 30, "", "", N},
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
    {"DSARQRECIBO", S, 100, "Modelo", "", N},
    {"NRPROPRIEMPR", F, 0, "", "", N},
    {"NRCAGED", F, 0, "", "", N},
    {"MEDATABASE", F, 0, "", "", N},
    {"DSARQRECIREC", S, 100, "Modelo a Receber", "", N},
    {"CDREGIMEAPUR", S, 1, "", "", A, "", 1},
    {"NMCOMPRZSEMP", S, 200, "", "", A},
    {"DSCOMPENDEMP", S, 200, "", "", A},
    {"DSEMAILEMPRESA", S, 100, "", "", A},
    {"DSENDWEBEMPR", S, 50, "", "", A},
    {"DSARQLOGOEMP", S, 250, "", "", A},
    {"IDNATUOPEREMPR", S, 2, "", "", A},
    {"IDREGESPTRIBEMP", S, 2, "", "", A},
    {"DSMENSEMAILCCE", S, 2000, "", "", A},
    {"DSMENSEMAILCANC", S, 2000, "", "", A},
    {"IDREGIMEICMSST", S, 2, "", "", A},
    {"IDFORMAPUR", S, 3, "", "", A},
    {"IDFORMAPUREMPR", S, 1, "", "", A},
    {"IDCUMUPICOEMP", S, 1, "", "", A},
    {"IDINCENTCULTURA", S, 1, "", "", A},
    {"IDINCENTFISCAL", S, 1, "", "", A},
    {"NRRNTRC", S, 8, "", "", A},
    {"DSMENSEMAILCTE", S, 2000, "", "", A},
    {"DSMENSEMAILMDFE", S, 2000, "", "", A},
    {"NRCLF", S, 15, "", "", A},
    {"CDPREFIXOGS1", S, 15, "", "", A},
    {"DSARQLOGOEMPCLOB", B, 0, "", "", A},
    {"IDCTBBAIXAEMPR", S, 1, "", "", N},
    {"CDEXTERNO", S, 20, "", "", A},
};
static_assert(std::size(kEmpresa) == 71);

ProviderFlags ToFlags(Flags f) {
  switch (f) {
    case Flags::None:
      return ProviderFlags::None();
    case Flags::InWhere:
      return ProviderFlags::InWhere();
    case Flags::Default:
      break;
  }
  return ProviderFlags::Default();
}

TField& AddHidden(TDataSet& dataset, const char* name, int size, ProviderFlags flags) {
  TField& field = dataset.AddField(FieldDef{name, FieldKind::String, size, flags});
  field.SetVisible(false);
  return field;
}

}  // namespace

void DefineEmpresa(TDataSet& cdsEmpresa) {
  for (const Column& c : kEmpresa) {
    TField& field = cdsEmpresa.AddField(FieldDef{c.name, c.kind, c.size, ToFlags(c.flags)});
    if (*c.label) field.SetDisplayLabel(c.label);
    if (*c.mask) field.SetEditMask(c.mask);
    if (*c.displayFormat) field.SetDisplayFormat(c.displayFormat);
    if (c.displayWidth) field.SetDisplayWidth(c.displayWidth);
    const std::string_view name = c.name;
    field.SetVisible(name == "CDEMPRESA" || name == "NMEMPRESA");
  }
}

void DefineVerifEmpresa(TDataSet& dataset) {
  AddHidden(dataset, "CDEMPRESA", 2, ProviderFlags::Default());
}

void DefineVEmp(TDataSet& dataset) {
  AddHidden(dataset, "CDEMPRESA", 2, ProviderFlags::Default());
}

void DefineVParGeral(TDataSet& dataset) {
  AddHidden(dataset, "CDFILIAL", 4, ProviderFlags::Default());
}

void DefineRepresentante(TDataSet& dataset) {
  AddHidden(dataset, "CDEMPRESA", 2, ProviderFlags::Default());
  TField& code = dataset.AddField(FieldDef{"CDREPRES", FieldKind::String, 2});
  code.SetDisplayLabel("Código");
  code.SetEditMask("99;0; ");
  dataset.AddField(FieldDef{"NMREPRES", FieldKind::String, 30}).SetDisplayLabel("Nome");
  dataset.AddField(FieldDef{"NRCPFREPRES", FieldKind::String, 11}).SetDisplayLabel("CPF");
  dataset.AddField(FieldDef{"IDATIVO", FieldKind::String, 1}).SetDisplayLabel("Utilizado");
  TField& qualif = dataset.AddField(FieldDef{"CDQUALIFASSINA", FieldKind::String, 5});
  qualif.SetDisplayLabel("Qualificação");
  qualif.SetVisible(false);
  TField& nmQualif = dataset.AddField(FieldDef{"NMQUALIFASSINA", FieldKind::String, 100});
  nmQualif.SetDisplayLabel("Qualificação");
  nmQualif.SetDisplayWidth(50);
}

const TMessages& CatalogoPadrao() {
  static const TMessages catalogue(embedded::msgPadrao);
  return catalogue;
}

}  // namespace ger::empresa
