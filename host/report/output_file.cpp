#include "report/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/exceptions.h"
#include "report/messages.h"

namespace ger::report {

namespace fs = std::filesystem;

std::string SystemErrorText(int error) {
  const char* key = nullptr;
  switch (error) {
    case EACCES:
    case EPERM:
      key = "Err_Permissao";
      break;
    case ENOENT:
      key = "Err_Pasta";
      break;
    case ENOTDIR:
      key = "Err_NaoPasta";
      break;
    case EISDIR:
      key = "Err_EhPasta";
      break;
    case ENOSPC:
    case EDQUOT:
      key = "Err_Espaco";
      break;
    case EROFS:
      key = "Err_SomenteLeitura";
      break;
    case ENAMETOOLONG:
      key = "Err_NomeLongo";
      break;
    default:
      return ReportMsg("Err_Sistema", {std::to_string(error)});
  }
  return ReportMsg(key);
}

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {
  std::error_code ec;
  if (target_.filename().empty() || fs::is_directory(target_, ec)) Fail(EISDIR);
  // Replacing a file goes around its own permissions; the user expects them to hold.
  if (fs::exists(target_, ec) && access(target_.c_str(), W_OK) != 0) Fail(errno);
  fs::path dir = target_.parent_path();
  if (dir.empty()) dir = ".";
  std::string pattern = (dir / ("." + target_.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) Fail(errno);
  temp_ = name.data();
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!temp_.empty()) unlink(temp_.c_str());
}

void OutputFile::Fail(int error) const {
  throw Exception(ReportMsg("Rel_Gravar", {target_.string(), SystemErrorText(error)}));
}

void OutputFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void OutputFile::Commit() {
  // A new file gets the permissions any program would give it; a replaced one keeps its own.
  struct stat existing {};
  mode_t mode;
  if (stat(target_.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd_, mode) != 0 || fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) Fail(errno);
  if (rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
  temp_.clear();
}

}  // namespace ger::report
