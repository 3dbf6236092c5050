// A small whole picture for the logo tests: 2 by 1 pixels, 24 bits; the shade of the second
// pixel tells pictures apart.
#pragma once

#include <cstdint>
#include <string>

namespace ger {

inline std::string Bmp(char shade = '\xFF') {
  std::string b = "BM";
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i) & 0xFF);
  };
  auto u16 = [&](std::uint16_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8);
  };
  u32(62);
  u32(0);
  u32(54);
  u32(40);
  u32(2);
  u32(1);
  u16(1);
  u16(24);
  u32(0);
  u32(8);
  u32(2835);
  u32(2835);
  u32(0);
  u32(0);
  b += std::string("\x00\x00", 2);
  b += shade;
  b += shade;
  b += std::string(4, '\0');
  return b;
}

}  // namespace ger
