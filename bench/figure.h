#pragma once
// One figure of a benchmark, as bench/run.sh reads it: a JSON object on a line of its own.
#include <cstdio>
#include <string>
#include <string_view>

namespace ger::bench {

inline void PrintFigure(std::string_view group, const std::string& name, double value,
                        const std::string& unit) {
  std::printf("{\"group\":\"%.*s\",\"name\":\"%s\",\"value\":%.3f,\"unit\":\"%s\"}\n",
              static_cast<int>(group.size()), group.data(), name.c_str(), value, unit.c_str());
  std::fflush(stdout);
}

}  // namespace ger::bench
