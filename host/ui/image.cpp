// Picture loading for TImage: BMP and JPEG only, decoded once to prove the bytes are a picture.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ui/stdctrls.h"

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
constexpr const char* kNotAPicture = "Arquivo não é uma imagem BMP ou JPEG válida.";

std::string FormatOf(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return "bmp";
  if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF)
    return "jpeg";
  return {};
}

std::uint32_t Le(const std::string& b, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

// The decoder fills what is missing at the end of a file with zeros, so a picture cut short
// would pass: the bytes must hold what the headers promise.
bool Whole(const std::string& b, const std::string& format) {
  if (format == "bmp") {
    if (b.size() < 34) return false;
    const std::uint64_t offset = Le(b, 10, 4);
    if (Le(b, 14, 4) < 40) return true;  // old OS/2 header: the decoder's checks suffice
    const std::uint64_t width = Le(b, 18, 4);
    const auto height = static_cast<std::int32_t>(Le(b, 22, 4));
    const std::uint64_t bits = Le(b, 28, 2);
    const std::uint32_t compression = Le(b, 30, 4);
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
  // A JPEG ends with its end-of-image marker after the coded data. The segments before the first
  // scan are skipped by their lengths (one may hold a whole thumbnail picture); in coded data a
  // 0xFF byte is always followed by 0x00 or a restart marker, so the first 0xFF 0xD9 after the
  // scan's start is the end.
  std::size_t at = 2;
  while (at + 4 <= b.size() && static_cast<unsigned char>(b[at]) == 0xFF) {
    const auto marker = static_cast<unsigned char>(b[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xDA) return b.find("\xFF\xD9", at + 2) != std::string::npos;
    at += 2 + (std::size_t{static_cast<unsigned char>(b[at + 2])} << 8 |
               static_cast<unsigned char>(b[at + 3]));
  }
  return false;
}

struct Decoded {
  std::string format;
  int width = 0, height = 0;
};

Decoded Decode(const std::string& bytes) {
  Decoded d{FormatOf(bytes)};
  if (d.format.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX) ||
      !Whole(bytes, d.format))
    throw Exception(kNotAPicture);
  int channels = 0;
  // Decoding the whole picture is the only sure test of the rest.
  stbi_uc* pixels =
      stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                            static_cast<int>(bytes.size()), &d.width, &d.height, &channels, 0);
  if (!pixels) throw Exception(kNotAPicture);
  stbi_image_free(pixels);
  return d;
}

std::string ReadFile(const std::string& path, std::uintmax_t maxBytes) {
  const std::string unreadable = "Não foi possível ler o arquivo '" + path + "'.";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) throw Exception(unreadable);
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) throw Exception(unreadable);
  if (size > maxBytes)
    throw Exception("O arquivo '" + path + "' tem mais de " +
                    std::to_string(maxBytes / (1024 * 1024)) + " MB.");
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) throw Exception(unreadable);
  return bytes;
}
}  // namespace

std::string LoadPictureFile(const std::string& path, std::uintmax_t maxBytes) {
  std::string bytes = ReadFile(path, maxBytes);
  Decode(bytes);
  return bytes;
}

void TImage::LoadFromFile(const std::string& path) {
  LoadFromBytes(ReadFile(path, UINTMAX_MAX));
}

void TImage::LoadFromBytes(const std::string& bytes) {
  Decoded d = Decode(bytes);
  bytes_ = bytes;
  format_ = std::move(d.format);
  pictureWidth_ = d.width;
  pictureHeight_ = d.height;
  ModelChanged();
}

void TImage::Clear() {
  bytes_.clear();
  format_.clear();
  pictureWidth_ = pictureHeight_ = 0;
  ModelChanged();
}

}  // namespace ger
