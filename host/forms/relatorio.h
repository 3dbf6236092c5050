#pragma once
// Running a report by its code, for the report launcher and the print preview: the definition
// found by code, the data asked of the application server (the same call the screens make, so
// the report prints what every seat sees), the table, the pages, and the three outputs — the
// preview, the printer and a file (PDF or CSV).
//
// The data and the pages are made once per job, under a progress indication the user may
// cancel (the silent abort then ends the gesture and nothing is written). Server failures are
// shown by Consiste::CheckResultServ and end the gesture the same way.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/value.h"
#include "report/definition.h"
#include "report/document.h"
#include "report/table.h"
#include "ui/stdctrls.h"

namespace ger {

namespace ui {
class ProgressScope;
}

// Where definitions are looked for: the host's report folder (settings), then "reports" beside
// the host's libraries, where the module's definitions are installed.
std::vector<std::filesystem::path> ReportDirs();
// The definition of a report code; nothing when this installation has none.
std::optional<report::Definition> FindReport(const std::string& code);

class ReportJob : public std::enable_shared_from_this<ReportJob> {
 public:
  explicit ReportJob(report::Definition definition);

  const report::Definition& Definition() const { return definition_; }
  // The server's data as a table, asked for on first use.
  const report::Table& Table(ui::ProgressScope& progress);
  // The pages, laid out on first use.
  std::shared_ptr<const report::Document> Pages(ui::ProgressScope& progress);

  enum class FileKind { Pdf, Csv };
  // By the name's extension (".pdf", ".csv", any case); nothing for another one.
  static std::optional<FileKind> KindOf(const std::filesystem::path& file);
  // Asks for the file with the dialog (PDF or CSV), then writes it; false when the user
  // cancelled the dialog. A name without an extension is taken as a PDF and gets ".pdf". Another
  // extension is refused with a message and the dialog is not shown again.
  bool SaveAs(TSaveDialog& dialog);
  void Write(const std::filesystem::path& file, FileKind kind);
  // Through the system's print dialog; false when the user cancelled it.
  bool Print();
  // The print preview, modal.
  void Preview();

  // The emission moment printed on every page (set when the data is asked for).
  DateTime Emitted() const { return emitted_; }

 private:
  std::string ProgressText() const;
  report::Definition definition_;
  std::optional<report::Table> table_;
  std::shared_ptr<const report::Document> pages_;
  DateTime emitted_;
};

}  // namespace ger
