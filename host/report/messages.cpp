#include "report/messages.h"

#include <vector>

namespace ger::report {

const char* ReportMessageLines() {
  return "Rel_Pagina|Página %1 de %2\n"
         "Rel_Emissao|Emissão: %1 às %2\n"
         "Rel_Vazio|Não há registros para listar.\n"
         "Rel_Total|Total de registros: %1\n"
         "Rel_Indisponivel|O relatório '%1' não está disponível nesta instalação.\n"
         "Rel_Gerando|Gerando o relatório \"%1\"...\n"
         "Rel_Gravando|Gravando o relatório \"%1\"...\n"
         "Rel_Salvo|Relatório salvo em '%1'.\n"
         "Rel_Gravar|Não foi possível gravar o arquivo '%1': %2.\n"
         "Rel_Tipo|Escolha um arquivo PDF (.pdf) ou uma planilha CSV (.csv).\n"
         "Rel_Filtro|Documento PDF (*.pdf)|*.pdf|Planilha CSV (*.csv)|*.csv\n"
         "Rel_Visualizacao|Visualização - %1\n"
         "Rel_Impressora|Não há impressora disponível nesta instalação.\n"
         "Err_Permissao|permissão negada\n"
         "Err_Pasta|a pasta não existe\n"
         "Err_NaoPasta|uma parte do caminho não é uma pasta\n"
         "Err_EhPasta|o nome é de uma pasta\n"
         "Err_Espaco|não há espaço no disco\n"
         "Err_SomenteLeitura|o disco só permite leitura\n"
         "Err_NomeLongo|o nome é longo demais\n"
         "Err_Sistema|erro %1 do sistema\n";
}

const TMessages& ReportMessages() {
  static const TMessages messages(ReportMessageLines());
  return messages;
}

std::string ReportMsg(std::string_view key, std::initializer_list<std::string_view> args) {
  return ReportMessages().Msg(key, args);
}

}  // namespace ger::report
