// Picture checks: the headers' declared size first, then the whole decoding within its bound.
#include "ui/picture.h"

#include <cstdint>
#include <vector>

#include "core/exceptions.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace ger {

namespace {

std::string FormatOf(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return "bmp";
  if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF)
    return "jpeg";
  return {};
}

std::uint32_t Le(std::string_view b, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

// A Huffman table codes at most 256 symbols; the decoder builds its tables from the sixteen
// counts without checking their sum, so a segment claiming more would write past them.
bool HuffmanTablesFit(std::string_view segment) {
  std::size_t at = 0;
  while (at < segment.size()) {
    if (at + 17 > segment.size()) return false;
    std::size_t symbols = 0;
    for (std::size_t i = 1; i <= 16; ++i) symbols += static_cast<unsigned char>(segment[at + i]);
    if (symbols > 256) return false;
    at += 17 + symbols;
  }
  return at == segment.size();
}

enum class JpegWalk { Whole, Cut, Unsound };

// Walks a JPEG's segments by their lengths (one may hold a whole thumbnail picture). In coded data
// a 0xFF byte is followed by 0x00 or a restart marker, so any other marker there is a segment
// again (a progressive picture defines tables between its scans) and every table is seen. The
// decoder skips bytes it does not expect between segments and reads on from the next marker it
// finds: such bytes could hide a table from this walk, so they make the picture unsound.
JpegWalk WalkJpeg(std::string_view b) {
  std::size_t at = 2;
  bool scanned = false;
  while (at + 1 < b.size()) {
    if (static_cast<unsigned char>(b[at]) != 0xFF) {
      if (!scanned) return JpegWalk::Unsound;
      ++at;
      continue;
    }
    const auto marker = static_cast<unsigned char>(b[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    if (marker == 0xD9) return scanned ? JpegWalk::Whole : JpegWalk::Unsound;
    if (at + 4 > b.size()) return JpegWalk::Cut;
    const std::size_t length = std::size_t{static_cast<unsigned char>(b[at + 2])} << 8 |
                               static_cast<unsigned char>(b[at + 3]);
    if (length < 2) return JpegWalk::Unsound;
    if (marker == 0xC4 && !HuffmanTablesFit(b.substr(at + 4, length - 2))) return JpegWalk::Unsound;
    if (marker == 0xDA) scanned = true;
    at += 2 + length;
  }
  return JpegWalk::Cut;
}

// The decoder fills what is missing at the end of a file with zeros, so a picture cut short
// would pass: the bytes must hold what the headers promise.
bool Whole(std::string_view b, const std::string& format) {
  if (format == "bmp") {
    if (b.size() < 26) return false;
    const std::uint64_t offset = Le(b, 10, 4);
    // The old OS/2 header gives the size in 16 bits and knows no compression.
    const bool os2 = Le(b, 14, 4) == 12;
    if (!os2 && b.size() < 34) return false;
    const std::uint64_t width = os2 ? Le(b, 18, 2) : Le(b, 18, 4);
    const auto height =
        os2 ? static_cast<std::int32_t>(Le(b, 20, 2)) : static_cast<std::int32_t>(Le(b, 22, 4));
    const std::uint64_t bits = os2 ? Le(b, 24, 2) : Le(b, 28, 2);
    const std::uint32_t compression = os2 ? 0 : Le(b, 30, 4);
    std::uint64_t data = 0;
    if (compression == 0 || compression == 3) {
      const std::uint64_t row = (bits * width + 31) / 32 * 4;
      data = row *
             static_cast<std::uint64_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    } else if (b.size() >= 38) {
      data = Le(b, 34, 4);  // run-length coded: the size the header gives
    }
    return offset + data <= b.size();
  }
  // A JPEG ends with its end-of-image marker after the coded data.
  return WalkJpeg(b) == JpegWalk::Whole;
}

[[noreturn]] void NotAPicture() {
  throw Exception(PictureMsg("Img_Invalida"));
}

const stbi_uc* Data(std::string_view bytes) {
  return reinterpret_cast<const stbi_uc*>(bytes.data());
}

}  // namespace

const TMessages& PictureMessages() {
  static const TMessages messages(
      "Img_Invalida|Arquivo não é uma imagem BMP ou JPEG válida.\n"
      "Img_Grande|A imagem tem %1 x %2 pixels; o máximo aceito é %3 pixels de largura e de "
      "altura.\n"
      "Img_Vazia|A imagem não tem pixels (largura ou altura zero).\n"
      "Img_Ler|Não foi possível ler o arquivo '%1'.\n"
      "Img_Tamanho|O arquivo '%1' tem mais de %2 MB.\n");
  return messages;
}

std::string PictureMsg(std::string_view key, std::initializer_list<std::string_view> args) {
  return PictureMessages().Msg(key, args);
}

PictureInfo DeclaredPicture(std::string_view bytes) {
  PictureInfo info{FormatOf(bytes)};
  if (info.format.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX)) NotAPicture();
  // The header reading builds the tables it meets on its way to the frame header.
  if (info.format == "jpeg" && WalkJpeg(bytes) == JpegWalk::Unsound) NotAPicture();
  int channels = 0;
  // Reads the headers only (up to the frame header of a JPEG); nothing is allocated per pixel.
  if (!stbi_info_from_memory(Data(bytes), static_cast<int>(bytes.size()), &info.width, &info.height,
                             &channels))
    NotAPicture();
  // A BMP stored top-down gives a negative height, which the header reading passes on.
  const std::int64_t width = info.width;
  const std::int64_t height = info.height < 0 ? -std::int64_t{info.height} : info.height;
  if (width <= 0 || height <= 0) throw Exception(PictureMsg("Img_Vazia"));
  if (width > kMaxPictureSide || height > kMaxPictureSide)
    throw Exception(PictureMsg("Img_Grande", {std::to_string(width), std::to_string(height),
                                              std::to_string(kMaxPictureSide)}));
  info.height = static_cast<int>(height);
  return info;
}

PictureInfo CheckPicture(std::string_view bytes) {
  PictureInfo info = DeclaredPicture(bytes);
  if (!Whole(bytes, info.format)) NotAPicture();
  int width = 0, height = 0, channels = 0;
  // Decoding the whole picture is the only sure test of the rest; the size was bounded above.
  stbi_uc* pixels = stbi_load_from_memory(Data(bytes), static_cast<int>(bytes.size()), &width,
                                          &height, &channels, 0);
  if (!pixels) NotAPicture();
  stbi_image_free(pixels);
  // The decoder reads the headers again; a picture must not turn out larger than declared.
  if (width != info.width || height != info.height) NotAPicture();
  return info;
}

}  // namespace ger
