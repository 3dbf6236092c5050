#pragma once
// A file written whole or not at all. The bytes go to a temporary file beside the chosen one;
// Commit makes them durable and puts the file under the chosen name in one step (rename). A file
// destroyed before Commit removes its temporary file and leaves whatever had the chosen name as
// it was: a failed or cancelled report never leaves a half-written file behind.
//
// Every failure raises ger::Exception with the sentence a user reads
// ("Não foi possível gravar o arquivo '/x/y.pdf': permissão negada."). An existing file that
// may not be written (read-only) is refused as the system would refuse writing into it.
#include <filesystem>
#include <string>
#include <string_view>

namespace ger::report {

class OutputFile {
 public:
  explicit OutputFile(std::filesystem::path target);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::string_view bytes);
  void Commit();
  const std::filesystem::path& Target() const { return target_; }

  // The failure sentence for a system error number.
  [[noreturn]] void Fail(int error) const;

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
};

// The reason of a system error number, in Portuguese ("permissão negada").
std::string SystemErrorText(int error);

}  // namespace ger::report
