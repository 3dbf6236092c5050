// The picture checks on headers that lie about the picture's size. The first byte chooses what
// the rest is: the bytes as they are, or a JPEG, an OS/2 BMP or a Windows BMP whose declared
// width and height are the next four (or eight) bytes, followed by the rest as coded data. A
// picture is accepted only within the side's bound, and checking never takes more memory than
// decoding such a picture (the run's malloc limit catches a bomb decoded).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/exceptions.h"
#include "ui/picture.h"

namespace {

std::uint32_t Take(std::string_view& in, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes && !in.empty(); ++i) {
    v = v << 8 | static_cast<unsigned char>(in.front());
    in.remove_prefix(1);
  }
  return v;
}

void Put(std::string& b, std::uint32_t v, int bytes, bool bigEndian) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
    b += static_cast<char>(v >> shift & 0xFF);
  }
}

std::string Jpeg(std::uint32_t w, std::uint32_t h, std::string_view coded) {
  std::string b = "\xFF\xD8\xFF\xDB";
  Put(b, 67, 2, true);
  b += '\0';
  b += std::string(64, '\x01');
  b += "\xFF\xC0";
  Put(b, 11, 2, true);
  b += '\x08';
  Put(b, h, 2, true);
  Put(b, w, 2, true);
  b += std::string("\x01\x01\x11\x00", 4);
  for (char tableClass : {'\x00', '\x10'}) {
    b += "\xFF\xC4";
    Put(b, 20, 2, true);
    b += tableClass;
    b += '\x01';
    b += std::string(16, '\0');
  }
  b += "\xFF\xDA";
  Put(b, 8, 2, true);
  b += std::string("\x01\x01\x00\x00\x3F\x00", 6);
  b += coded;
  b += "\xFF\xD9";
  return b;
}

std::string Bmp(bool os2, std::uint32_t w, std::uint32_t h, std::string_view pixels) {
  const std::uint32_t header = os2 ? 12 : 40;
  std::string b = "BM";
  Put(b, 14 + header + static_cast<std::uint32_t>(pixels.size()), 4, false);
  Put(b, 0, 4, false);
  Put(b, 14 + header, 4, false);
  Put(b, header, 4, false);
  Put(b, w, os2 ? 2 : 4, false);
  Put(b, h, os2 ? 2 : 4, false);
  Put(b, 1, 2, false);
  Put(b, 24, 2, false);
  if (!os2) {
    Put(b, 0, 4, false);
    Put(b, static_cast<std::uint32_t>(pixels.size()), 4, false);
    for (int i = 0; i < 4; ++i) Put(b, 0, 4, false);
  }
  b += pixels;
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::uint32_t kind = Take(in, 1) % 4;
  std::string bytes;
  if (kind == 0) {
    bytes = std::string(in);
  } else if (kind == 1) {
    const std::uint32_t w = Take(in, 2), h = Take(in, 2);
    bytes = Jpeg(w, h, in);
  } else if (kind == 2) {
    const std::uint32_t w = Take(in, 2), h = Take(in, 2);
    bytes = Bmp(true, w, h, in);
  } else {
    const std::uint32_t w = Take(in, 4), h = Take(in, 4);
    bytes = Bmp(false, w, h, in);
  }
  try {
    const ger::PictureInfo info = ger::CheckPicture(bytes);
    if (info.width < 1 || info.height < 1 || info.width > ger::kMaxPictureSide ||
        info.height > ger::kMaxPictureSide)
      std::abort();
  } catch (const ger::Exception&) {
  }
  return 0;
}
