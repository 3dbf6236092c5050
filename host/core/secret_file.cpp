#include "core/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace ger {

namespace {

constexpr std::size_t kMaxTokenFile = 4096;

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string TokenProblem(std::string_view token) {
  if (token.empty()) return "the token is empty";
  for (unsigned char c : token)
    if (c < 0x20 || c == 0x7f) return "the token holds a control character";
  // An HTTP header drops the blanks around its value, so no client could send them.
  if (token.find_first_not_of(' ') == std::string_view::npos) return "the token is only blanks";
  if (token.front() == ' ' || token.back() == ' ')
    return "the token begins or ends with a blank, which no HTTP header can carry";
  return {};
}

std::string ModeReadableByOthers(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !(st.st_mode & (S_IRGRP | S_IROTH))) return {};
  return Octal(st.st_mode);
}

std::string ReadTokenFile(const std::string& path) {
  const std::string where = "the token file " + path;
  // The checks are made on the open file, so that the file cannot be swapped between them.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw std::runtime_error("cannot read " + where + ": " + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    throw std::runtime_error("cannot read " + where + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw std::runtime_error(where + " is a folder, not a file");
  if (st.st_mode & (S_IRGRP | S_IROTH))
    throw std::runtime_error(where + " can be read by other users (mode " + Octal(st.st_mode) +
                             "); make it readable by its owner only (chmod 600)");
  std::string text;
  char buffer[1024];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("cannot read " + where + ": " + std::strerror(errno));
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxTokenFile)
      throw std::runtime_error(where + " is longer than " + std::to_string(kMaxTokenFile) +
                               " bytes; it should hold the token alone");
  }
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (std::string why = TokenProblem(text); !why.empty())
    throw std::runtime_error(where + " holds no usable token: " + why);
  return text;
}

}  // namespace ger
