// Pictures whose headers promise far more pixels than their bytes hold: the declared size is
// refused before anything is decoded, with the catalogue's sentence.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/exceptions.h"
#include "ui/picture.h"
#include "ui/stdctrls.h"

namespace ger {
namespace {

void Be16(std::string& b, unsigned v) {
  b += static_cast<char>(v >> 8 & 0xFF);
  b += static_cast<char>(v & 0xFF);
}
void Le16(std::string& b, unsigned v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>(v >> 8 & 0xFF);
}
void Le32(std::string& b, std::uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}

// A grey-scale baseline JPEG of 332 bytes whose coded data are all-zero blocks: one Huffman code
// of one bit for "no change" and one for "end of block", so any declared size decodes.
std::string TinyJpeg(unsigned width, unsigned height) {
  std::string b = "\xFF\xD8";
  b += "\xFF\xDB";
  Be16(b, 67);
  b += '\0';
  b += std::string(64, '\x01');
  b += "\xFF\xC0";
  Be16(b, 11);
  b += '\x08';
  Be16(b, height);
  Be16(b, width);
  b += std::string("\x01\x01\x11\x00", 4);
  for (char tableClass : {'\x00', '\x10'}) {
    b += "\xFF\xC4";
    Be16(b, 20);
    b += tableClass;
    b += '\x01';
    b += std::string(15, '\0');
    b += '\0';
  }
  b += "\xFF\xDA";
  Be16(b, 8);
  b += std::string("\x01\x01\x00\x00\x3F\x00", 6);
  b += std::string(332 - b.size() - 2, '\0');
  b += "\xFF\xD9";
  return b;
}

// A BMP with the old 12-byte OS/2 header, 24 bits a pixel, 68 bytes of pixels: 94 bytes.
std::string TinyOs2Bmp(unsigned width, unsigned height) {
  std::string b = "BM";
  Le32(b, 94);
  Le32(b, 0);
  Le32(b, 26);
  Le32(b, 12);
  Le16(b, width);
  Le16(b, height);
  Le16(b, 1);
  Le16(b, 24);
  b += std::string(68, '\x7F');
  return b;
}

// A BMP with the 40-byte header, 24 bits a pixel and as many pixel bytes as it declares.
std::string Bmp(std::uint32_t width, std::int32_t height) {
  const std::uint32_t row = (24 * width + 31) / 32 * 4;
  const std::uint32_t data = row * static_cast<std::uint32_t>(height < 0 ? -height : height);
  std::string b = "BM";
  Le32(b, 54 + data);
  Le32(b, 0);
  Le32(b, 54);
  Le32(b, 40);
  Le32(b, width);
  Le32(b, static_cast<std::uint32_t>(height));
  Le16(b, 1);
  Le16(b, 24);
  for (std::uint32_t v : {0u, data, 2835u, 2835u, 0u, 0u}) Le32(b, v);
  b += std::string(data, '\x40');
  return b;
}

std::string Refusal(const std::string& bytes) {
  try {
    CheckPicture(bytes);
  } catch (const Exception& e) {
    return e.what();
  }
  return "accepted";
}

TEST(PictureTest, TheCraftedPicturesAreWholeAtASmallDeclaredSize) {
  for (const auto& [name, bytes] : {std::pair<const char*, std::string>{"jpeg", TinyJpeg(64, 48)},
                                    {"os2", TinyOs2Bmp(4, 4)},
                                    {"wide", Bmp(kMaxPictureSide, 1)},
                                    {"tall", Bmp(1, -kMaxPictureSide)}})
    EXPECT_NO_THROW(CheckPicture(bytes)) << name << ": " << Refusal(bytes);
  ASSERT_EQ(TinyJpeg(8, 8).size(), 332u);
  ASSERT_EQ(TinyOs2Bmp(4, 4).size(), 94u);
  const PictureInfo jpeg = CheckPicture(TinyJpeg(64, 48));
  EXPECT_EQ(jpeg.format, "jpeg");
  EXPECT_EQ(jpeg.width, 64);
  EXPECT_EQ(jpeg.height, 48);
  const PictureInfo bmp = CheckPicture(TinyOs2Bmp(4, 4));
  EXPECT_EQ(bmp.format, "bmp");
  EXPECT_EQ(bmp.width, 4);
  EXPECT_EQ(bmp.height, 4);
  EXPECT_EQ(CheckPicture(Bmp(kMaxPictureSide, 1)).width, kMaxPictureSide);
  EXPECT_EQ(CheckPicture(Bmp(1, -kMaxPictureSide)).height, kMaxPictureSide);
}

TEST(PictureTest, APictureDeclaringMorePixelsThanALogoNeedsIsRefusedUndecoded) {
  EXPECT_EQ(Refusal(TinyJpeg(46000, 46000)),
            "A imagem tem 46000 x 46000 pixels; o máximo aceito é 4096 pixels de largura e de "
            "altura.");
  EXPECT_EQ(Refusal(TinyOs2Bmp(26000, 26000)),
            "A imagem tem 26000 x 26000 pixels; o máximo aceito é 4096 pixels de largura e de "
            "altura.");
  EXPECT_EQ(Refusal(TinyJpeg(4097, 1)).substr(0, 28), "A imagem tem 4097 x 1 pixels");
  EXPECT_EQ(Refusal(Bmp(1, kMaxPictureSide + 1)).substr(0, 28), "A imagem tem 1 x 4097 pixels");
  // A declared size of a 40-byte header beyond the side's bound, cut to its headers.
  EXPECT_EQ(Refusal(Bmp(1, 1).replace(18, 4, std::string("\xFF\xFF\x00\x00", 4))).substr(0, 29),
            "A imagem tem 65535 x 1 pixels");
}

TEST(PictureTest, APictureOfNoPixelsIsRefused) {
  for (const std::string& bytes : {TinyJpeg(0, 8), TinyOs2Bmp(0, 0), TinyOs2Bmp(4, 0), Bmp(0, 0)}) {
    const std::string refusal = Refusal(bytes);
    EXPECT_TRUE(refusal == PictureMsg("Img_Vazia") || refusal == PictureMsg("Img_Invalida"))
        << refusal;
  }
  EXPECT_EQ(Refusal(TinyOs2Bmp(0, 0)), "A imagem não tem pixels (largura ou altura zero).");
  // An OS/2 picture cut short is refused like any other.
  EXPECT_EQ(Refusal(TinyOs2Bmp(4, 4).substr(0, 60)), PictureMsg("Img_Invalida"));
}

// A table segment claiming more than the 256 symbols a Huffman table can code would make the
// decoder write past its tables: refused unread, whether it comes before the first scan or
// between scans as in a progressive picture.
TEST(PictureTest, AHuffmanTableOfMoreSymbolsThanACodeHasIsRefusedUndecoded) {
  std::string table = "\xFF\xC4";
  Be16(table, 2 + 1 + 16 + 300);
  table += '\0';
  table += '\xFF';
  table += '\x2D';
  table += std::string(14, '\0');
  table += std::string(300, '\0');
  const std::string jpeg = TinyJpeg(8, 8);
  const std::size_t frame = jpeg.find("\xFF\xC0");
  EXPECT_EQ(Refusal(jpeg.substr(0, frame) + table + jpeg.substr(frame)),
            PictureMsg("Img_Invalida"));
  const std::size_t end = jpeg.size() - 2;
  EXPECT_EQ(Refusal(jpeg.substr(0, end) + table + jpeg.substr(end)), PictureMsg("Img_Invalida"));
  EXPECT_NO_THROW(CheckPicture(jpeg));
}

// The logo preview shows the file a path names: the same rules, and the image keeps its picture.
TEST(PictureTest, AnImageShowingAPathRefusesABombAndKeepsItsPicture) {
  const std::filesystem::path dir = ::testing::TempDir();
  std::ofstream(dir / "bomba.jpg", std::ios::binary) << TinyJpeg(46000, 46000);
  std::ofstream(dir / "bomba.bmp", std::ios::binary) << TinyOs2Bmp(26000, 26000);
  std::ofstream(dir / "logo.bmp", std::ios::binary) << TinyOs2Bmp(4, 4);
  TImage image(nullptr, "imgLayout");
  image.LoadFromFile((dir / "logo.bmp").string());
  for (const char* name : {"bomba.jpg", "bomba.bmp"}) {
    EXPECT_THROW(image.LoadFromFile((dir / name).string()), Exception) << name;
    EXPECT_THROW(LoadPictureFile((dir / name).string(), 5 * 1024 * 1024), Exception) << name;
    EXPECT_EQ(image.PictureWidth(), 4) << name;
  }
  // A file larger than any picture within the bound is refused by its size, unread.
  const std::filesystem::path huge = dir / "enorme.bmp";
  std::ofstream(huge, std::ios::binary) << TinyOs2Bmp(4, 4);
  std::filesystem::resize_file(huge, kMaxPictureBytes + 1);
  try {
    image.LoadFromFile(huge.string());
    ADD_FAILURE() << "a file over the bound loaded";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "O arquivo '" + huge.string() + "' tem mais de 65 MB.");
  }
  std::filesystem::remove(huge);
}

}  // namespace
}  // namespace ger
