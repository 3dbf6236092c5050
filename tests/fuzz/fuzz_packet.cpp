// The data-packet decoder on arbitrary text: it either decodes or raises EDatabaseError (the
// sentence the user sees), never anything else; what it decodes survives a second round trip.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/exceptions.h"
#include "data/packet.h"
#include "same_values.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ger::DataPacket packet;
  try {
    packet = ger::codec::DecodePacket(text);
  } catch (const ger::EDatabaseError&) {
    return 0;
  }
  // What was accepted is written and read back unchanged.
  std::string again = ger::codec::Encode(packet);
  ger::DataPacket back = ger::codec::DecodePacket(std::string_view(again));
  if (back.fields != packet.fields || back.rows.size() != packet.rows.size()) std::abort();
  for (std::size_t r = 0; r < back.rows.size(); ++r)
    if (!gerfuzz::SameRow(back.rows[r], packet.rows[r])) std::abort();
  return 0;
}
