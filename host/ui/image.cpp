// Picture loading for TImage: BMP and JPEG only, decoded once to prove the bytes are a picture.
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
}  // namespace

void TImage::LoadFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Exception("Não foi possível ler o arquivo '" + path + "'.");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LoadFromBytes(bytes);
}

void TImage::LoadFromBytes(const std::string& bytes) {
  std::string format = FormatOf(bytes);
  if (format.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX))
    throw Exception(kNotAPicture);
  int w = 0, h = 0, channels = 0;
  // Decoding the whole picture is the only sure test: a header alone can hide a truncated file.
  stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                          static_cast<int>(bytes.size()), &w, &h, &channels, 0);
  if (!pixels) throw Exception(kNotAPicture);
  stbi_image_free(pixels);
  bytes_ = bytes;
  format_ = std::move(format);
  pictureWidth_ = w;
  pictureHeight_ = h;
  ModelChanged();
}

void TImage::Clear() {
  bytes_.clear();
  format_.clear();
  pictureWidth_ = pictureHeight_ = 0;
  ModelChanged();
}

}  // namespace ger
