#pragma once
// The remote data module "GER00200.rdmEmpresa": the company screen's server methods, by name.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <boost/json/array.hpp>

#include "connection_pool.h"
#include "db/database.h"
#include "rpc_request.h"

namespace ger::server {

class RdmEmpresa {
 public:
  // The tables' columns are the declared ones (contract/tables.h).
  RdmEmpresa(ConnectionPool& pool, bool testHooks);
  const std::string& DatabaseUrl() const { return pool_.Url(); }

  // Runs a method; returns the JSON text of its result. Raises RpcError for a refused call. A
  // method may give back parameters it has read (a change set, once decoded).
  std::string Invoke(std::string_view method, boost::json::array& params);
  // Whether the method changes the database (and so may wait for another writer's lock).
  bool Writes(std::string_view method) const;
  // The change number of the company list now.
  std::int64_t ChangeNumber();

  // A table as the change sets and the company list use it (upper-case names).
  struct Table {
    std::string name;
    std::vector<std::string> key;
    std::vector<FieldDef> columns;
    std::vector<std::string> derived;  // change-set fields read from other tables, not stored
    // Columns an update may not change, with the sentence that refuses it.
    std::vector<std::pair<std::string, std::string>> fixed;
    int ColumnIndex(std::string_view column) const;
  };

 private:
  using Handler = std::function<std::string(db::Connection&, boost::json::array&)>;
  struct Method {
    std::size_t minArgs, maxArgs;
    Handler handler;
    bool writes = false;
    std::atomic<long> calls{0};
  };
  void Register(std::string name, std::size_t minArgs, std::size_t maxArgs, Handler handler);
  // A method whose body is a member below.
  using Body = std::string (RdmEmpresa::*)(db::Connection&, boost::json::array&);
  void Register(std::string name, std::size_t minArgs, std::size_t maxArgs, Body body);

  // The methods, by the name they are called by (the register's lists and checks are plain
  // queries; the saves go through the change sets).
  std::string GetEmpresa(db::Connection& c, boost::json::array& p);
  std::string SetEmpresa(db::Connection& c, boost::json::array& p);
  std::string DeleteEmpresa(db::Connection& c, boost::json::array& p);
  std::string GetVerifEmpresa(db::Connection& c, boost::json::array& p);
  std::string GetVerifInsc(db::Connection& c, boost::json::array& p);
  std::string GetPesqBairro(db::Connection& c, boost::json::array& p);
  std::string GetVEmp(db::Connection& c, boost::json::array& p);
  std::string GetVParGeral(db::Connection& c, boost::json::array& p);
  std::string GetRepresentante(db::Connection& c, boost::json::array& p);
  std::string SetRepresentante(db::Connection& c, boost::json::array& p);
  std::string GetVdRepresentante(db::Connection& c, boost::json::array& p);
  std::string GetVdRepresAtivo(db::Connection& c, boost::json::array& p);
  std::string GetPesqRepresentante(db::Connection& c, boost::json::array& p);
  std::string SetRegimeFilial(db::Connection& c, boost::json::array& p);
  std::string GetNotasExplicativas(db::Connection& c, boost::json::array& p);
  std::string SetNotasExplicativas(db::Connection& c, boost::json::array& p);
  // What goes before a company's row is deleted: refused while branches name it; its
  // representatives' links and notes go with it.
  void BeforeCompanyDelete(db::Connection& c, const Row& old, const std::vector<int>& columnOf);
  std::string InsertBairro(db::Connection& c, boost::json::array& p);
  std::string GetBairro(db::Connection& c, boost::json::array& p);

  ConnectionPool& pool_;
  bool testHooks_;
  // Looked up by the request's name as it is, without a string made of it.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      return std::hash<std::string_view>{}(name);
    }
  };
  std::unordered_map<std::string, std::unique_ptr<Method>, NameHash, std::equal_to<>> methods_;
  std::size_t codeSize_ = 0;  // characters of EMPRESA.CDEMPRESA
  Table empresa_, emprRepres_, notas_;
  std::mutex failMutex_;
  std::map<std::string, std::string> pendingFailures_;
  std::map<std::string, std::string> lastArgs_;  // JSON text of each method's last arguments
};

}  // namespace ger::server
