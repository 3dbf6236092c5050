#pragma once
// "Histórico de alterações": the current company's changes, newest first, as the server keeps
// them. The model reads the server's rows and gives them as the window shows them (date and time
// in pt-BR on this machine's clock, the screen's own label of each field, old and new value) with
// the filters by field and by person; the form draws it as a grid under two lists.
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/datasource.h"
#include "data/packet.h"
#include "ui/dbctrls.h"
#include "ui/forms.h"
#include "ui/grids.h"
#include "ui/stdctrls.h"

namespace ger {

class TMessages;

struct HistoricoLinha {
  std::string dataHora;  // "dd/mm/aaaa hh:mm:ss", local time
  std::string pessoa, estacao;
  std::string campo;  // the screen's label (a whole-row operation: its name)
  std::string antes, depois;
};

class HistoricoModel {
 public:
  // The packet of GetHistorico; texts of the catalogue (operations, "all").
  HistoricoModel(const DataPacket& rows, const TMessages& catalogue);

  // The rows that pass the filters; an empty filter lets everything through.
  std::vector<HistoricoLinha> Rows(const std::string& campo = {},
                                   const std::string& pessoa = {}) const;
  // What the filters offer, in order of first appearance.
  const std::vector<std::string>& Campos() const { return campos_; }
  const std::vector<std::string>& Pessoas() const { return pessoas_; }

  // A UTC time as the server writes it, as local pt-BR date and time ("" for a malformed one).
  static std::string LocalTime(const std::string& utc);
  // The label the company screen shows for a column of a table; the column's name without one.
  static std::string Label(const std::string& table, const std::string& column);

 private:
  std::vector<HistoricoLinha> rows_;
  std::vector<std::string> campos_, pessoas_;
};

class TfrmHistorico : public TForm {
 public:
  TfrmHistorico(const DataPacket& rows, const TMessages& catalogue, const std::string& company);

  TLabel lblCampo{this, "lblCampo"};
  TComboBox cbxCampo{this, "cbxCampo"};
  TLabel lblPessoa{this, "lblPessoa"};
  TComboBox cbxPessoa{this, "cbxPessoa"};
  TClientDataSet cdsHistorico{"cdsHistorico"};
  TDataSource dtsHistorico{"dtsHistorico"};
  TDBGrid dbgHistorico{this, "dbgHistorico"};

  // Shows the rows of the filters chosen.
  void Filtra();
  const HistoricoModel& Model() const { return model_; }

 private:
  HistoricoModel model_;
  std::string todos_;
};

}  // namespace ger
