// The answer envelope's member splitter on arbitrary text: it either splits or raises
// EDatabaseError; every piece lies inside the text, and when the text is a JSON object each
// member it names holds exactly the value the JSON parser reads there.
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "core/exceptions.h"
#include "data/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::pair<std::string, std::string_view>> members;
  bool split = true;
  try {
    members = ger::codec::ObjectMembers(text);
  } catch (const ger::EDatabaseError&) {
    split = false;
  }
  for (const auto& [key, value] : members)
    if (value.data() < text.data() || value.data() + value.size() > text.data() + text.size() ||
        value.empty())
      std::abort();

  boost::json::error_code ec;
  boost::json::value parsed = boost::json::parse(text, ec);
  if (ec || !parsed.is_object()) return 0;
  if (!split) std::abort();  // a valid object must split
  std::map<std::string, int> seen;
  for (const auto& [key, value] : members) ++seen[key];
  const boost::json::object& object = parsed.as_object();
  for (const auto& [key, value] : members) {
    if (seen[key] > 1) continue;  // which of two the parser keeps is its own affair
    const boost::json::value* expected = object.if_contains(key);
    if (!expected) std::abort();
    // Compared as written back, since the parser reads some numbers (0E000000236092227) as
    // NaN, which equals nothing, itself included.
    boost::json::value piece = boost::json::parse(value, ec);
    if (ec || boost::json::serialize(piece) != boost::json::serialize(*expected)) std::abort();
  }
  if (seen.size() != object.size()) std::abort();
  return 0;
}
