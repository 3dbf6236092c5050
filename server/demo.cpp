// The demo set behind `--demo`: three companies in three states, so that the company screen
// opens on data. Registration numbers and CPFs carry valid check digits.
#include "schema.h"

namespace ger::server {
namespace {

void Put(db::Connection& connection, const std::string& table, const db::Params& row) {
  std::string cols, vals;
  for (const auto& [name, value] : row) {
    cols += (cols.empty() ? "" : ",") + name;
    vals += (vals.empty() ? ":" : ",:") + name;
  }
  connection.Execute(
      "INSERT INTO " + table + " (" + cols + ") VALUES (" + vals + ") ON CONFLICT DO NOTHING", row);
}

struct DemoCompany {
  const char *code, *name, *legalName, *cnpj, *state, *stateName, *municipality, *municipalityName,
      *district, *districtName, *street, *number, *zip, *costCentre, *costCentreName, *accountant,
      *accountantName, *cnae, *cnaeText, *nature, *natureText, *email;
};

constexpr DemoCompany kCompanies[] = {
    {"01",
     "Andrade Comércio",
     "Andrade Comércio de Alimentos Ltda",
     "11222333000181",
     "SP",
     "São Paulo",
     "5030",
     "São Paulo",
     "0000000001",
     "Pinheiros",
     "Rua dos Pinheiros",
     "1200",
     "05422-001",
     "0001",
     "Administração",
     "01",
     "Márcia Oliveira",
     "4711302",
     "COMÉRCIO VAREJISTA DE MERCADORIAS EM GERAL, COM PREDOMINÂNCIA DE PRODUTOS "
     "ALIMENTÍCIOS - SUPERMERCADOS",
     "2062",
     "Sociedade Empresária Limitada",
     "contato@andrade.com.br"},
    {"02",
     "Serra Verde Indústria",
     "Serra Verde Indústria Metalúrgica S.A.",
     "44555666000181",
     "MG",
     "Minas Gerais",
     "0620",
     "Belo Horizonte",
     "0000000001",
     "Savassi",
     "Avenida Getúlio Vargas",
     "850",
     "30112-020",
     "0002",
     "Produção",
     "02",
     "Paulo Nogueira",
     "2599399",
     "FABRICAÇÃO DE OUTROS PRODUTOS DE METAL NÃO ESPECIFICADOS ANTERIORMENTE",
     "2054",
     "Sociedade Anônima Fechada",
     "contato@serraverde.ind.br"},
    {"03",
     "Araucária Serviços",
     "Araucária Serviços de Informática Ltda",
     "77888999000181",
     "PR",
     "Paraná",
     "0690",
     "Curitiba",
     "0000000001",
     "Batel",
     "Avenida do Batel",
     "1550",
     "80420-090",
     "0003",
     "Tecnologia",
     "01",
     "Márcia Oliveira",
     "6201501",
     "DESENVOLVIMENTO DE PROGRAMAS DE COMPUTADOR SOB ENCOMENDA",
     "2062",
     "Sociedade Empresária Limitada",
     "contato@araucaria.com.br"},
};

}  // namespace

void SeedDemo(db::Connection& connection) {
  db::Transaction tx(connection);
  auto text = [](std::string_view s) { return Value(std::string(s)); };

  for (const char* q : {"203|Diretor", "205|Administrador", "900|Contador"}) {
    std::string_view s(q);
    auto bar = s.find('|');
    Put(connection, "QUALIFASSINA",
        {{"CDQUALIFASSINA", std::string(s.substr(0, bar))},
         {"NMQUALIFASSINA", std::string(s.substr(bar + 1))}});
  }
  Put(connection, "REPRESENTANTE",
      {{"CDREPRES", text("01")},
       {"NMREPRES", text("Ana Beatriz Andrade")},
       {"NRCPFREPRES", text("12345678909")},
       {"CDQUALIFASSINA", text("205")}});
  Put(connection, "REPRESENTANTE",
      {{"CDREPRES", text("02")},
       {"NMREPRES", text("Carlos Eduardo Lima")},
       {"NRCPFREPRES", text("98765432100")},
       {"CDQUALIFASSINA", text("203")}});
  Put(connection, "REPRESENTANTE",
      {{"CDREPRES", text("03")},
       {"NMREPRES", text("Márcia Oliveira")},
       {"NRCPFREPRES", text("11144477735")},
       {"CDQUALIFASSINA", text("900")}});

  int branch = 0;
  for (const DemoCompany& c : kCompanies) {
    Put(connection, "CENTCUST",
        {{"CDCENTCUST", text(c.costCentre)}, {"NMCENTCUST", text(c.costCentreName)}});
    Put(connection, "CONTADOR",
        {{"CDCONTADOR2", text(c.accountant)}, {"NMCONTADOR", text(c.accountantName)}});
    Put(connection, "BAIRRO",
        {{"CDPAIS", text("1058")},
         {"SGESTADO", text(c.state)},
         {"CDMUNICIPIO", text(c.municipality)},
         {"CDBAIRRO", text(c.district)},
         {"NMBAIRRO", text(c.districtName)}});
    Put(connection, "BAIRRO",
        {{"CDPAIS", text("1058")},
         {"SGESTADO", text(c.state)},
         {"CDMUNICIPIO", text(c.municipality)},
         {"CDBAIRRO", text("0000000002")},
         {"NMBAIRRO", text("Centro")}});
    const std::string address = std::string(c.street) + ", " + c.number;
    Put(connection, "EMPRESA",
        {{"CDEMPRESA", text(c.code)},
         {"NMEMPRESA", text(c.name)},
         {"CDPAIS", text("1058")},
         {"SGESTADO", text(c.state)},
         {"CDMUNICIPIO", text(c.municipality)},
         {"CDBAIRRO", text(c.district)},
         {"CDCENTCUST", text(c.costCentre)},
         {"NMRAZSOCEMPR", text(c.legalName)},
         {"DSENDEEMPR", address},
         {"NMBAIREMPR", text("*")},
         {"NRCEPEMPR", text(c.zip)},
         {"IDTPIJUREMPR", text("J")},
         {"NRINSJUREMPR", text(c.cnpj)},
         {"NRINSCESTA", text("*")},
         {"NRREGJUNCOM", text("*")},
         {"NMTITUEMPR", text("*")},
         {"NMPAIS", text("Brasil")},
         {"NMMUNICIPIO", text(c.municipalityName)},
         {"NMBAIRRO", text(c.districtName)},
         {"NMCENTCUST", text(c.costCentreName)},
         {"NMESTADO", text(c.stateName)},
         {"VRPEMULEMPR", 2.0},
         {"VRPEMOREMPR", 0.033},
         {"CDCNAE", text(c.cnae)},
         {"DSCNAE", text(c.cnaeText)},
         {"CDFPAS", text("515")},
         {"DSFPAS", text("Comércio e serviços em geral")},
         {"CDNATUJURI", text(c.nature)},
         {"DSNATUJURI", text(c.natureText)},
         {"CDCONTADOR2", text(c.accountant)},
         {"NMCONTADOR", text(c.accountantName)},
         {"DSLOGRADEMPR", text(c.street)},
         {"NRLOGRADEMPR", text(c.number)},
         {"IDPARTICIPAT", text("N")},
         {"IDTIPOEMPR", text("3")},
         {"IDOPTSIMPLES", text("N")},
         {"DSARQRECIBO", text("*")},
         {"DSARQRECIREC", text("*")},
         {"NRPROPRIEMPR", 2.0},
         {"MEDATABASE", 5.0},
         {"CDREGIMEAPUR", text("1")},
         {"DSEMAILEMPRESA", c.email},
         // No logo: its file would live on a user's machine, not the server's, so a path here
         // would name a file no seat has (and the logo check would stop every save), and a
         // picture without its path is what no seat can show or choose again.
         {"IDNATUOPEREMPR", text("01")},
         {"IDREGESPTRIBEMP", text("99")},
         {"IDREGIMEICMSST", text("0")},
         {"IDFORMAPUR", text("LRM")},
         {"IDFORMAPUREMPR", text("")},
         {"IDCUMUPICOEMP", text("N")},
         {"IDINCENTCULTURA", text("N")},
         {"IDINCENTFISCAL", text("N")},
         {"IDCTBBAIXAEMPR", text("S")},
         {"DTREGJUNCOM", DateTime::FromParts(2010 + branch, 3 + branch, 15)}});
    ++branch;
    char code[5];
    std::snprintf(code, sizeof code, "%04d", branch);
    Put(connection, "FILIAL",
        {{"CDFILIAL", std::string(code)},
         {"CDEMPRESA", text(c.code)},
         {"NMFILIAL", std::string(c.name) + " - Matriz"},
         {"IDCUMUPICOEMP", text("N")}});
    Put(connection, "EMPRREPRES",
        {{"CDEMPRESA", text(c.code)},
         {"CDREPRES", std::string(c.code[1] == '2' ? "02" : "01")},
         {"IDATIVO", text("S")}});
  }
  Put(connection, "EMPRREPRES",
      {{"CDEMPRESA", text("01")}, {"CDREPRES", text("03")}, {"IDATIVO", text("N")}});
  Put(connection, "PARGERAL", {{"CDFILIAL", text("0001")}});
  Put(connection, "NOTASEXPLICATIVAS",
      {{"CDEMPRESA", text("01")},
       {"DSOBSERVEMP", text("As demonstrações contábeis foram elaboradas de acordo com as "
                            "práticas contábeis adotadas no Brasil.")}});
  tx.Commit();
}

}  // namespace ger::server
