// What every post of the company does before the row is written, whatever started the post:
// none codes into empty coded fields, the address line split into its parts, the typed
// neighbourhood registered and its code filled in, the logo file's bytes, and the neighbourhood
// check that refuses the post for an unknown code.
#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_endereco.h"
#include "contract/tables.h"
#include "core/utf8.h"

namespace ger {

using record::Empresa;

namespace empresa {

PartesEndereco SeparaEndereco(std::string_view line) {
  PartesEndereco parts;
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) return parts;
  parts.logradouro = std::string(line.substr(0, comma));
  const std::string_view rest = utf8::Trim(line.substr(comma + 1));
  std::size_t cut = rest.find('-');
  if (cut == std::string_view::npos) cut = rest.find(',');
  if (cut == std::string_view::npos) {
    parts.numero = std::string(rest);
    return parts;
  }
  parts.numero = std::string(rest.substr(0, cut));
  parts.complemento = std::string(utf8::Trim(rest.substr(cut + 1)));
  return parts;
}

}  // namespace empresa

void TfrmEmpresa::cdsEmpresaBeforePost(TDataSet&) {
  const std::string line = cdsEmpresa.FieldByName(Empresa::DSENDEEMPR).AsString();

  // None codes, tested by the text each field shows; the cumulative regime by its list's.
  for (const record::Column& c : record::kEmpresa.columns) {
    if (c.none.empty()) continue;
    TField& field = cdsEmpresa.FieldByName(c.name);
    const std::string shown = c.name == Empresa::IDCUMUPICOEMP ? dbRegime.Text() : field.Text();
    if (Consiste::EmptyString(shown)) field.SetAsString(c.none);
  }

  const empresa::PartesEndereco parts = empresa::SeparaEndereco(line);
  cdsEmpresa.FieldByName(Empresa::DSLOGRADEMPR).SetAsString(parts.logradouro);
  cdsEmpresa.FieldByName(Empresa::NRLOGRADEMPR).SetAsString(parts.numero);
  cdsEmpresa.FieldByName(Empresa::DSCMPLOGEMPR).SetAsString(parts.complemento);

  InsertBairro(dbeNMBairro, dbeCdPais, dbeSgEstado, dbeCdMunicipio);
  cdsEmpresa.FieldByName(Empresa::CDBAIRRO)
      .SetAsString(PreencheBairro(dbeNMBairro, dbeCdMunicipio));

  // The picture is read again only when the path changed. A path the user emptied in this edit
  // removes it; a path that was empty before too leaves the stored picture as it was (companies
  // brought from older programs hold a picture without a path), even when a file chosen and then
  // cleared in this edit had put other bytes in the record.
  TField& path = cdsEmpresa.FieldByName(Empresa::DSARQLOGOEMP);
  TField& logo = cdsEmpresa.FieldByName(Empresa::DSARQLOGOEMPCLOB);
  if (path.AsString().empty()) {
    const Value before = path.OldValue();
    const auto* hadPath = std::get_if<std::string>(&before);
    if (hadPath && !hadPath->empty())
      logo.Clear();
    else
      logo.SetValue(logo.OldValue());
  } else if (Value(path.AsString()) != path.OldValue()) {
    CarregaLogo(path.AsString());
  }

  Vd_Bairro(true);
}

}  // namespace ger
