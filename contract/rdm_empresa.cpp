#include "contract/rdm_empresa.h"

#include <initializer_list>
#include <string>

namespace ger {

namespace {

// One argument already written as JSON text.
struct Arg {
  std::string json;
  Arg(std::string_view text) : json(codec::EncodeText(text)) {}  // NOLINT: texts convert
  Arg(const char* text) : Arg(std::string_view(text)) {}         // NOLINT
  Arg(bool flag) : json(flag ? "true" : "false") {}              // NOLINT
  Arg(const ChangeSet& delta) : json(codec::Encode(delta)) {}    // NOLINT
  Arg(const VarArray& items) {                                   // NOLINT
    json = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i) json += ',';
      json += codec::EncodeValue(items[i]);
    }
    json += ']';
  }
};

std::string List(std::initializer_list<Arg> args) {
  std::string out = "[";
  bool first = true;
  for (const Arg& a : args) {
    if (!first) out += ',';
    first = false;
    out += a.json;
  }
  out += ']';
  return out;
}

}  // namespace

ServerAnswer TRdmEmpresa::GetEmpresa() {
  return net_.CallEncoded("GetEmpresa", "[]");
}

ServerAnswer TRdmEmpresa::GetEmpresa(std::string_view logos) {
  return net_.CallEncoded("GetEmpresa", List({logos}));
}

ServerAnswer TRdmEmpresa::GetEmpresa(std::string_view logos, std::string_view since) {
  return net_.CallEncoded("GetEmpresa", List({logos, since}));
}

ServerAnswer TRdmEmpresa::GetLogoEmpresa(std::string_view company) {
  return net_.CallEncoded("GetLogoEmpresa", List({company}));
}

ServerAnswer TRdmEmpresa::SetEmpresa(const ChangeSet& delta, bool emptyTxAdm, bool emptyDtRegJunCom,
                                     bool emptyPeMulta, bool emptyPeMora, bool emptyCaged,
                                     bool emptyExterno) {
  return net_.CallEncoded("SetEmpresa", List({delta, emptyTxAdm, emptyDtRegJunCom, emptyPeMulta,
                                              emptyPeMora, emptyCaged, emptyExterno}));
}

ServerAnswer TRdmEmpresa::Delete(std::string_view company) {
  return net_.CallEncoded("Delete", List({company}));
}

ServerAnswer TRdmEmpresa::Delete(std::string_view company, const ChangeSet& held) {
  return net_.CallEncoded("Delete", List({company, held}));
}

ServerAnswer TRdmEmpresa::GetVerifEmpresa(std::string_view company) {
  return net_.CallEncoded("GetVerifEmpresa", List({company}));
}

ServerAnswer TRdmEmpresa::GetVerifInsc(std::string_view personType, std::string_view number) {
  return net_.CallEncoded("GetVerifInsc", List({personType, number}));
}

ServerAnswer TRdmEmpresa::GetContador(std::string_view code, std::string_view all) {
  return net_.CallEncoded("GetContador", List({code, all}));
}

ServerAnswer TRdmEmpresa::GetCNAE(std::string_view code, std::string_view all) {
  return net_.CallEncoded("GetCNAE", List({code, all}));
}

ServerAnswer TRdmEmpresa::GetFPAS(std::string_view code, std::string_view all) {
  return net_.CallEncoded("GetFPAS", List({code, all}));
}

ServerAnswer TRdmEmpresa::GetNatureza(std::string_view code, std::string_view all) {
  return net_.CallEncoded("GetNatureza", List({code, all}));
}

ServerAnswer TRdmEmpresa::GetPesqBairro(std::string_view country, std::string_view state,
                                        std::string_view municipality,
                                        std::string_view neighbourhood) {
  return net_.CallEncoded("GetPesqBairro", List({country, state, municipality, neighbourhood}));
}

ServerAnswer TRdmEmpresa::InsertBairro(std::string_view country, std::string_view state,
                                       std::string_view municipality, std::string_view name) {
  return net_.CallEncoded("InsertBairro", List({country, state, municipality, name}));
}

ServerAnswer TRdmEmpresa::GetBairro(std::string_view municipality, std::string_view name) {
  return net_.CallEncoded("GetBairro", List({municipality, name}));
}

ServerAnswer TRdmEmpresa::GetBairro(std::string_view municipality, std::string_view name,
                                    std::string_view country, std::string_view state) {
  return net_.CallEncoded("GetBairro", List({municipality, name, country, state}));
}

ServerAnswer TRdmEmpresa::GetVEmp() {
  return net_.CallEncoded("GetVEmp", "[]");
}

ServerAnswer TRdmEmpresa::GetVParGeral() {
  return net_.CallEncoded("GetVParGeral", "[]");
}

ServerAnswer TRdmEmpresa::getRepresentante(std::string_view company,
                                           std::string_view representative) {
  return net_.CallEncoded("getRepresentante", List({company, representative}));
}

ServerAnswer TRdmEmpresa::setRepresentante(const ChangeSet& delta) {
  return net_.CallEncoded("setRepresentante", List({delta}));
}

ServerAnswer TRdmEmpresa::getVdRepresentante(std::string_view representative) {
  return net_.CallEncoded("getVdRepresentante", List({representative}));
}

ServerAnswer TRdmEmpresa::getVdRepresAtivo(std::string_view representative,
                                           std::string_view company) {
  return net_.CallEncoded("getVdRepresAtivo", List({representative, company}));
}

ServerAnswer TRdmEmpresa::GetPesqRepresentante(std::string_view representative,
                                               std::string_view all) {
  return net_.CallEncoded("GetPesqRepresentante", List({representative, all}));
}

ServerAnswer TRdmEmpresa::setRegimeFilial(std::string_view regime, std::string_view company) {
  return net_.CallEncoded("setRegimeFilial", List({regime, company}));
}

ServerAnswer TRdmEmpresa::GetNotasExplicativas(VarArray& params) {
  return net_.CallEncoded("GetNotasExplicativas", List({params}));
}

ServerAnswer TRdmEmpresa::SetNotasExplicativas(const ChangeSet& delta) {
  return net_.CallEncoded("SetNotasExplicativas", List({delta}));
}

ServerAnswer TRdmEmpresa::GetUsuario() {
  return net_.CallEncoded("GetUsuario", "[]");
}

ServerAnswer TRdmEmpresa::GetHistorico(std::string_view company) {
  return net_.CallEncoded("GetHistorico", "[" + codec::EncodeText(company) + "]");
}

}  // namespace ger
