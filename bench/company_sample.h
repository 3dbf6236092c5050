#pragma once
// A company list as real ones are filled: the company record's 71 columns with plausible values
// (codes and flags short, names and addresses with accents, e-mail texts of a company that issues
// NF-e), shared by the codec and the whole-program benchmarks.
#include <string>
#include <vector>

#include "contract/tables.h"
#include "core/value.h"
#include "data/packet.h"

namespace ger::benchdata {

// The company record's columns as the server sends them.
inline std::vector<FieldDef> CompanyFields() {
  std::vector<FieldDef> fields = record::kEmpresa.Fields();
  for (FieldDef& f : fields) f.flags.key = record::kEmpresa.IsKey(f.name);
  return fields;
}

// A plausible value for each column, as a real company list holds them: codes and flags short,
// names and addresses of ordinary length with accents, the e-mail messages of a company that
// issues NF-e (CT-e and MDF-e mostly empty), some optional columns left empty.
inline Value Sample(const FieldDef& f, int row) {
  const std::string n = std::to_string(row);
  const std::string& c = f.name;
  auto pick = [&](std::initializer_list<const char*> options) {
    return std::string(options.begin()[row % options.size()]);
  };
  auto code = [&](int width) {
    std::string s = std::to_string(row * 7919 % 100000000);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
    return Value{s.substr(s.size() - width)};
  };
  if (c == "CDEMPRESA") return code(2);
  if (c == "NMEMPRESA") return "Empresa " + n;
  if (c == "CDPAIS") return std::string("1058");
  if (c == "SGESTADO") return pick({"SP", "RJ", "MG", "PR", "RS", "BA"});
  if (c == "CDMUNICIPIO" || c == "CDCENTCUST" || c == "CDNATUJURI") return code(4);
  if (c == "CDBAIRRO") return code(6);
  if (c == "NMRAZSOCEMPR") return "Comércio e Indústria São João " + n + " Ltda";
  if (c == "DSENDEEMPR") return "Avenida Brasil, " + n + " - Sala 12";
  if (c == "NMBAIREMPR" || c == "NMBAIRRO") return pick({"Centro", "Jardim América", "Vila Nova"});
  if (c == "NRCEPEMPR") return std::string("12245000");
  if (c == "IDTPIJUREMPR") return std::string("J");
  if (c == "NRINSJUREMPR") return std::string("11222333000181");
  if (c == "NRINSCESTA") return row % 4 ? Value{std::string("110042490114")} : Value{"*"};
  if (c == "NRREGJUNCOM") return row % 3 ? Value{"3520" + n} : Value{std::string("*")};
  if (c == "DTREGJUNCOM")
    return row % 5 ? Value{DateTime::FromParts(1990 + row % 30, row % 12 + 1, row % 28 + 1)}
                   : Value{};
  if (c == "NMTITUEMPR") return pick({"José da Silva", "Maria Conceição Souza", "João Pereira"});
  if (c == "NMPAIS") return std::string("Brasil");
  if (c == "NMMUNICIPIO") return pick({"São José dos Campos", "Campinas", "Ribeirão Preto"});
  if (c == "NMCENTCUST") return std::string("Administração");
  if (c == "NMESTADO") return pick({"São Paulo", "Rio de Janeiro", "Minas Gerais"});
  if (c == "VRPEMULEMPR") return 2.0;
  if (c == "VRPEMOREMPR") return 0.033;
  if (c == "CDCNAE") return std::string("4711302");
  if (c == "CDFPAS") return std::string("515");
  if (c == "DSCNAE")
    return std::string(
        "Comércio varejista de mercadorias em geral, com predominância de produtos "
        "alimentícios - supermercados");
  if (c == "DSFPAS") return std::string("Comércio");
  if (c == "DSNATUJURI") return std::string("Sociedade Empresária Limitada");
  if (c == "CDCONTADOR2") return code(2);
  if (c == "NMCONTADOR") return std::string("Aparecida Contabilidade");
  if (c == "NRTELEFOEMPR") return std::string("(12) 3456-7890");
  if (c == "DSLOGRADEMPR") return std::string("Avenida Brasil");
  if (c == "NRLOGRADEMPR") return n.substr(0, 6);
  if (c == "DSCMPLOGEMPR") return std::string("Sala 12");
  if (c == "IDPARTICIPAT" || c == "IDOPTSIMPLES" || c == "IDINCENTCULTURA" || c == "IDINCENTFISCAL")
    return pick({"S", "N", "N"});
  if (c == "IDTIPOEMPR") return pick({"1", "2", "3"});
  if (c == "CDEMPRCAIXA") return row % 2 ? Value{} : Value{std::string("00123456789012")};
  if (c == "VRPETXADMPOR") return row % 10 ? Value{} : Value{1.5};
  if (c == "DSARQRECIBO" || c == "DSARQRECIREC")
    return row % 3 ? Value{std::string("*")} : Value{std::string("C:\\Modelos\\Recibo.qr2")};
  if (c == "NRPROPRIEMPR") return static_cast<double>(row % 5 + 1);
  if (c == "NRCAGED") return static_cast<double>(1000000 + row);
  if (c == "MEDATABASE") return static_cast<double>(row % 12 + 1);
  if (c == "CDREGIMEAPUR" || c == "IDCUMUPICOEMP") return pick({"N", "C"});
  if (c == "NMCOMPRZSEMP" || c == "DSCOMPENDEMP") return row % 4 ? Value{} : Value{"Bloco " + n};
  if (c == "DSEMAILEMPRESA") return "fiscal@empresa" + n + ".com.br";
  if (c == "DSENDWEBEMPR") return "www.empresa" + n + ".com.br";
  if (c == "DSARQLOGOEMP") return "C:\\Logos\\empresa" + n + ".bmp";
  if (c == "IDNATUOPEREMPR" || c == "IDREGESPTRIBEMP" || c == "IDREGIMEICMSST")
    return pick({"1", "2", "99"});
  if (c == "DSMENSEMAILNFE" || c == "DSMENSEMAILCCE" || c == "DSMENSEMAILCANC")
    return std::string(
        "Prezado cliente,\nsegue em anexo o documento fiscal eletrônico referente à operação "
        "realizada. Em caso de dúvidas, entre em contato com o nosso atendimento.\n"
        "Atenciosamente,\nDepartamento Fiscal");
  if (c == "DSMENSEMAILCTE" || c == "DSMENSEMAILMDFE")
    return row % 5 ? Value{} : Value{std::string("Segue o conhecimento de transporte em anexo.")};
  if (c == "IDFORMAPUR") return std::string("I");
  if (c == "IDFORMAPUREMPR") return pick({"P", ""}).empty() ? Value{} : Value{std::string("P")};
  if (c == "NRRNTRC") return row % 5 ? Value{} : Value{std::string("12345678")};
  if (c == "NRCLF" || c == "CDPREFIXOGS1") return row % 3 ? Value{} : Value{"7891234" + n};
  if (c == "IDCTBBAIXAEMPR") return std::string("S");
  if (c == "CDEXTERNO") return row % 2 ? Value{} : Value{"EXT-" + n};
  return Value{};  // the logo: no blobs in this list
}

}  // namespace ger::benchdata
