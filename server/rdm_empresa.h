#pragma once
// The remote data module "GER00200.rdmEmpresa": the company screen's server methods, by name.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <boost/json/array.hpp>

#include "db/database.h"

namespace ger::server {

// JSON-RPC error codes.
enum RpcCode {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kApplicationError = -32000,
};

// A refused call: a JSON-RPC error code and the Portuguese sentence the user sees.
class RpcError : public std::runtime_error {
 public:
  RpcError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// Database connections for the worker threads: each call leases one, so every thread ends up
// with its own connection (and its own prepared statements).
class ConnectionPool {
 public:
  explicit ConnectionPool(std::string url) : url_(std::move(url)) {}
  class Lease {
   public:
    Lease(ConnectionPool& pool, std::unique_ptr<db::Connection> c)
        : pool_(pool), c_(std::move(c)) {}
    ~Lease() { pool_.Return(std::move(c_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    db::Connection& operator*() const { return *c_; }
    db::Connection* operator->() const { return c_.get(); }

   private:
    ConnectionPool& pool_;
    std::unique_ptr<db::Connection> c_;
  };
  Lease Acquire();
  const std::string& Url() const { return url_; }

 private:
  void Return(std::unique_ptr<db::Connection> c);
  std::string url_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<db::Connection>> idle_;
};

class RdmEmpresa {
 public:
  // The tables' columns are the declared ones (record/tables.h).
  RdmEmpresa(ConnectionPool& pool, bool testHooks);

  // Runs a method; returns the JSON text of its result. Raises RpcError for a refused call.
  std::string Invoke(std::string_view method, const boost::json::array& params);

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
  using Handler = std::function<std::string(db::Connection&, const boost::json::array&)>;
  struct Method {
    std::size_t minArgs, maxArgs;
    Handler handler;
    std::atomic<long> calls{0};
  };
  void Register(std::string name, std::size_t minArgs, std::size_t maxArgs, Handler handler);

  std::string GetEmpresa(db::Connection& c);
  std::string SetEmpresa(db::Connection& c, const boost::json::array& p);
  std::string DeleteEmpresa(db::Connection& c, const boost::json::array& p);
  std::string InsertBairro(db::Connection& c, const boost::json::array& p);
  std::string GetBairro(db::Connection& c, const boost::json::array& p);

  ConnectionPool& pool_;
  bool testHooks_;
  std::unordered_map<std::string, std::unique_ptr<Method>> methods_;
  Table empresa_, emprRepres_, notas_;
  std::mutex failMutex_;
  std::map<std::string, std::string> pendingFailures_;
};

}  // namespace ger::server
