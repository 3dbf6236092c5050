// The change-set decoder on arbitrary text: it either decodes or raises EDatabaseError, never
// anything else; what it decodes survives a second round trip.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/exceptions.h"
#include "data/packet.h"
#include "same_values.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ger::ChangeSet changes;
  try {
    changes = ger::codec::DecodeChangeSet(text);
  } catch (const ger::EDatabaseError&) {
    return 0;
  }
  std::string again = ger::codec::Encode(changes);
  ger::ChangeSet back = ger::codec::DecodeChangeSet(std::string_view(again));
  if (back.fields != changes.fields || back.changes.size() != changes.changes.size()) std::abort();
  for (std::size_t i = 0; i < back.changes.size(); ++i) {
    const ger::Change& a = back.changes[i];
    const ger::Change& b = changes.changes[i];
    if (a.kind != b.kind || !gerfuzz::SameRow(a.oldValues, b.oldValues) ||
        !gerfuzz::SameRow(a.newValues, b.newValues))
      std::abort();
  }
  return 0;
}
