// Picture loading for TImage: the bytes pass CheckPicture (ui/picture.h) before they are kept.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ui/picture.h"
#include "ui/stdctrls.h"

namespace ger {

namespace {
std::string ReadFile(const std::string& path, std::uintmax_t maxBytes) {
  const std::string unreadable = PictureMsg("Img_Ler", {path});
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) throw Exception(unreadable);
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) throw Exception(unreadable);
  if (size > maxBytes)
    throw Exception(PictureMsg("Img_Tamanho", {path, std::to_string(maxBytes / (1024 * 1024))}));
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) throw Exception(unreadable);
  return bytes;
}
}  // namespace

std::string LoadPictureFile(const std::string& path, std::uintmax_t maxBytes) {
  std::string bytes = ReadFile(path, std::min(maxBytes, kMaxPictureBytes));
  CheckPicture(bytes);
  return bytes;
}

void TImage::LoadFromFile(const std::string& path) {
  LoadFromBytes(ReadFile(path, kMaxPictureBytes));
}

void TImage::LoadFromBytes(const std::string& bytes) {
  PictureInfo d = CheckPicture(bytes);
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
