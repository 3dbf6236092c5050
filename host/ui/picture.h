#pragma once
// Picture bytes checked before anything is decoded: BMP (Windows and the old OS/2 header) and
// JPEG only. The size the headers declare is read first and a picture larger than
// kMaxPictureSide pixels a side, or of no pixels at all, is refused without decoding it; what
// passes is decoded whole, within a budget that follows from that bound: at most 4 bytes a pixel
// (64 MiB), and for a progressive JPEG its coefficients beside them (6 bytes a pixel at most).
// Refusals raise ger::Exception with a sentence for the user from PictureMessages().
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/messages.h"

namespace ger {

// A company logo or a receipt's picture needs a few hundred pixels; a few thousand leave room
// for a scanned one while keeping the decoded pixels (at most 4 bytes each) near 64 MB.
inline constexpr int kMaxPictureSide = 4096;

// No whole picture within the side's bound needs a larger file (4 bytes a pixel and its headers).
inline constexpr std::uintmax_t kMaxPictureBytes =
    std::uintmax_t{kMaxPictureSide} * kMaxPictureSide * 4 + 1024 * 1024;

struct PictureInfo {
  std::string format;  // "bmp" or "jpeg"
  int width = 0, height = 0;
};

// The checks and the decoding; the picture's format and size when the bytes are a whole picture.
PictureInfo CheckPicture(std::string_view bytes);

// Only what the headers declare (no decoding); refused as by CheckPicture when they cannot be
// read or declare a size out of bounds.
PictureInfo DeclaredPicture(std::string_view bytes);

// The texts of the refusals ("key|text" lines; "%1", "%2" stand for the arguments of PictureMsg).
const TMessages& PictureMessages();
std::string PictureMsg(std::string_view key, std::initializer_list<std::string_view> args = {});

}  // namespace ger
