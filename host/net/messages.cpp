#include "net/messages.h"

namespace ger::net {

const TMessages& NetMessages() {
  static const TMessages messages(
      "Tls_Nome|O certificado do servidor não é válido para '%1': ele foi emitido para %2. "
      "Confira o endereço do servidor nas configurações (web_url) ou peça ao responsável pelo "
      "servidor um certificado com esse nome.\n"
      "Tls_Autoridade|O certificado do servidor '%1' não foi emitido por uma autoridade "
      "confiável (emissor: %2). Indique nas configurações (ca_file) o arquivo da autoridade "
      "certificadora da empresa, ou confira se o endereço é mesmo o do servidor.\n"
      "Tls_Vencido|O certificado do servidor '%1' venceu em %2. Peça ao responsável pelo "
      "servidor que o renove, e confira a data deste computador.\n"
      "Tls_Futuro|O certificado do servidor '%1' só vale a partir de %2. Confira a data e a hora "
      "deste computador.\n"
      "Tls_Conexao|Não foi possível estabelecer uma conexão segura (TLS 1.2 ou mais recente) com "
      "o servidor '%1' (%2). Confira se o endereço e a porta são os do acesso seguro (https) do "
      "servidor.\n"
      "Tls_ArquivoCA|Não foi possível usar o arquivo de autoridades certificadoras '%1' (%2). "
      "Confira o caminho indicado em ca_file nas configurações.\n"
      "Srv_Endereco|O endereço do servidor de aplicação '%1' não é válido. Use um nome, "
      "http://nome:porta ou https://nome:porta.\n");
  return messages;
}

std::string NetMsg(std::string_view key, std::initializer_list<std::string_view> args) {
  return NetMessages().Msg(key, args);
}

}  // namespace ger::net
