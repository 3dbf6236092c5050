#pragma once
// The host's own components: the search button, and the query over the shared database with
// the host data module that holds the connection.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "data/dataset.h"
#include "data/datasource.h"
#include "db/database.h"
#include "ui/stdctrls.h"

namespace ger {

// A search button beside a code box. A click runs OnBeforePesq (which may veto by clearing its
// flag), then the pick list over DataSource's dataset under Title (an empty dataset reports
// EmptyError), then, only when the user picked a row, OnAfterPesq with that row current. Like a
// tool button it never takes the focus.
class TBtnPesquisa : public TSpeedButton {
 public:
  explicit TBtnPesquisa(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  std::string Title;
  TDataSource* DataSource = nullptr;
  std::string EmptyError;
  std::function<void(TComponent& sender, bool& proceed)> OnBeforePesq;
  Notify OnAfterPesq;
  void Click() override;
};

// The host data module: the connection to the shared database, opened on first use from the
// host settings' database URL, and opened again when the settings name another database.
class TdtmDBGeral {
 public:
  db::Connection& Connection();
  bool Connected() const { return connection_ != nullptr; }
  // Uses this connection instead (tests, or a shell that opened it already), whatever the
  // settings say, until it is closed.
  void SetConnection(std::unique_ptr<db::Connection> connection);
  void Close() {
    connection_.reset();
    url_.clear();
    handedIn_ = false;
  }

 private:
  std::unique_ptr<db::Connection> connection_;
  std::string url_;  // what the connection was opened from; empty when it was handed in
  bool handedIn_ = false;
};
TdtmDBGeral& dtmDBGeral();

// A query over the shared database: one statement per database kind, parameters ":NAME" set as
// text, and the rows in the inner dataset Query. Both engines of the host (SQLite, PostgreSQL)
// take the generic SQL; when it is empty the first other statement given is used.
class TADOIBQuery : public TComponent {
 public:
  explicit TADOIBQuery(TComponent* owner = nullptr, std::string name = {});
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  std::string SQL, SQL_ORACLE, SQL_MSSQL, SQL_IB;

  class Param {
   public:
    void SetAsString(std::string text);
    void SetValue(Value v) { value_ = std::move(v); }
    void Clear() { value_ = std::monostate{}; }
    const Value& GetValue() const { return value_; }

   private:
    Value value_;
  };
  // The parameter by name (case-insensitive), created on first use.
  Param& ParamByName(const std::string& name);

  void Open();  // raises EDatabaseError with the database's message when the statement fails
  void Close();
  bool Active() const { return Query.Active(); }
  bool IsEmpty() const { return Query.IsEmpty(); }
  TField& FieldByName(std::string_view name) { return Query.FieldByName(name); }

  TClientDataSet Query;
  // The statement for an engine (tests read it).
  const std::string& StatementFor(db::Engine engine) const;

 private:
  std::map<std::string, Param> params_;
};

}  // namespace ger
