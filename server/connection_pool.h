#pragma once
// The server's database connections.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/database.h"

namespace ger::server {

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

}  // namespace ger::server
