#include "routines/components.h"

#include "core/utf8.h"
#include "routines/routines.h"
#include "ui/forms.h"

namespace ger {

const ComponentClass TBtnPesquisa::ClassInfo{"TBtnPesquisa", &TSpeedButton::ClassInfo};
const ComponentClass& TBtnPesquisa::Class() const {
  return ClassInfo;
}
const ComponentClass TADOIBQuery::ClassInfo{"TADOIBQuery", &TComponent::ClassInfo};
const ComponentClass& TADOIBQuery::Class() const {
  return ClassInfo;
}

// --- TBtnPesquisa -----------------------------------------------------------------------------

TBtnPesquisa::TBtnPesquisa(TComponent* owner, std::string name)
    : TSpeedButton(owner, std::move(name)) {
  Glyph = "edit-find";
  Flat = false;
}

void TBtnPesquisa::Click() {
  bool proceed = true;
  if (OnBeforePesq) OnBeforePesq(*this, proceed);
  if (!proceed) return;
  if (!DataSource) throw Exception("O botão de pesquisa '" + Name() + "' não tem fonte de dados.");
  if (Pesquisa::Pesquisar(*DataSource, Title + "|" + EmptyError, false, true) && OnAfterPesq)
    OnAfterPesq(*this);
  if (OnClick) OnClick(*this);
}

// --- dtmDBGeral -------------------------------------------------------------------------------

db::Connection& TdtmDBGeral::Connection() {
  const std::string& url = Application().Settings.databaseUrl;
  if (connection_ && (handedIn_ || url == url_)) return *connection_;
  if (url.empty())
    throw EDatabaseError("No database configured for the host (setting 'database').");
  connection_.reset();
  // Seats only read here (the reference lists); every change goes through the server, its
  // checks and its log. A seat's role on PostgreSQL is made by `ger-admin seat-role`.
  try {
    connection_ = db::Connection::Open(url, db::Access::ReadOnly);
  } catch (const db::DbError& e) {
    throw EDatabaseError(e.what());
  }
  url_ = url;
  handedIn_ = false;
  return *connection_;
}

void TdtmDBGeral::SetConnection(std::unique_ptr<db::Connection> connection) {
  connection_ = std::move(connection);
  url_.clear();
  handedIn_ = connection_ != nullptr;
}

TdtmDBGeral& dtmDBGeral() {
  static TdtmDBGeral module;
  return module;
}

// --- TADOIBQuery ------------------------------------------------------------------------------

TADOIBQuery::TADOIBQuery(TComponent* owner, std::string name)
    : TComponent(owner, name), Query(name) {}

void TADOIBQuery::Param::SetAsString(std::string text) {
  value_ = std::move(text);
}

TADOIBQuery::Param& TADOIBQuery::ParamByName(const std::string& name) {
  for (auto& [key, param] : params_)
    if (utf8::SameText(key, name)) return param;
  return params_[name];
}

const std::string& TADOIBQuery::StatementFor(db::Engine) const {
  for (const std::string* s : {&SQL, &SQL_IB, &SQL_MSSQL, &SQL_ORACLE})
    if (!s->empty()) return *s;
  return SQL;
}

void TADOIBQuery::Open() {
  if (Query.Active()) return;
  db::Connection& connection = dtmDBGeral().Connection();
  const std::string& sql = StatementFor(connection.GetEngine());
  if (sql.empty()) throw EDatabaseError("Query '" + Name() + "' has no statement.");
  db::Params params;
  for (auto& [name, param] : params_) params.emplace_back(name, param.GetValue());
  DataPacket packet;
  try {
    packet = connection.Query(sql, params);
  } catch (const db::DbError& e) {
    throw EDatabaseError(e.what());
  }
  Query.SetData(packet);
}

void TADOIBQuery::Close() {
  Query.Close();
}

}  // namespace ger
