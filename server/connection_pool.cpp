#include "connection_pool.h"

namespace ger::server {

ConnectionPool::Lease ConnectionPool::Acquire() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      auto c = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(c));
    }
  }
  return Lease(*this, db::Connection::Open(url_));
}

void ConnectionPool::Return(std::unique_ptr<db::Connection> c) {
  if (!c) return;
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(c));
}

}  // namespace ger::server
