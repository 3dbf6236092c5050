// Base64, as the packet codec writes and reads blob cells.
#include <array>
#include <cstdint>

#include "core/exceptions.h"
#include "data/packet.h"
#include "data/packet_internal.h"

namespace ger {

using codec::detail::AppendBase64;
using codec::detail::TextOut;

namespace {

constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

namespace codec::detail {

void AppendBase64(TextOut& out, std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  char* o = out.Room((n + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    *o++ = kB64[v >> 18];
    *o++ = kB64[(v >> 12) & 63];
    *o++ = kB64[(v >> 6) & 63];
    *o++ = kB64[v & 63];
  }
  if (n - i == 1) {
    std::uint32_t v = p[i] << 16;
    *o++ = kB64[v >> 18];
    *o++ = kB64[(v >> 12) & 63];
    *o++ = '=';
    *o++ = '=';
  } else if (n - i == 2) {
    std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
    *o++ = kB64[v >> 18];
    *o++ = kB64[(v >> 12) & 63];
    *o++ = kB64[(v >> 6) & 63];
    *o++ = '=';
  }
  out.Done(o);
}

}  // namespace codec::detail

namespace {

constexpr std::array<signed char, 256> MakeB64Table() {
  std::array<signed char, 256> t{};
  for (auto& x : t) x = -1;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kB64[i])] = static_cast<signed char>(i);
  return t;
}
constexpr auto kB64Table = MakeB64Table();

}  // namespace

namespace codec {

std::string Base64Encode(std::string_view bytes) {
  std::string text;
  std::size_t length = 0;
  TextOut out(text, length);
  AppendBase64(out, bytes);
  return TextOut::Settle(text, length);
}

std::string Base64Decode(std::string_view text) {
  // Padding is optional; anything outside the alphabet, or a lone trailing character, is refused.
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == '=' && text.size() - n < 2) --n;
  if (text.size() - n > 0 && text.size() % 4 != 0) throw EDatabaseError("Texto base64 inválido.");
  if (n % 4 == 1) throw EDatabaseError("Texto base64 inválido.");
  std::string out;
  out.reserve(n / 4 * 3 + 2);
  std::uint32_t acc = 0;
  int bits = 0;
  for (std::size_t i = 0; i < n; ++i) {
    int v = kB64Table[static_cast<unsigned char>(text[i])];
    if (v < 0) throw EDatabaseError("Texto base64 inválido.");
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace codec
}  // namespace ger
