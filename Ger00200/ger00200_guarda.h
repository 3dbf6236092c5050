#pragma once
// Small guards the company screen's checks share.
#include <functional>

#include "data/dataset.h"
#include "routines/components.h"

namespace ger::empresa {

// Runs the body; anything it raises (the abort of MensErro, a query or server failure) first
// runs `recover`, then goes on unchanged.
template <class Body, class Recover>
void Guarded(Body&& body, Recover&& recover) {
  try {
    body();
  } catch (...) {
    recover();
    throw;
  }
}

// Closes a lookup however the check ends.
class Closing {
 public:
  explicit Closing(TADOIBQuery& query) : close_([&query] { query.Close(); }) {}
  explicit Closing(TDataSet& dataset) : close_([&dataset] { dataset.Close(); }) {}
  ~Closing() { close_(); }
  Closing(const Closing&) = delete;
  Closing& operator=(const Closing&) = delete;

 private:
  std::function<void()> close_;
};

}  // namespace ger::empresa
