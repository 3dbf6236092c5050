#include "report/layout.h"

#include <algorithm>
#include <cstdio>

#include "core/ptbr.h"
#include "core/utf8.h"
#include "report/messages.h"

namespace ger::report {

namespace {

constexpr std::string_view kEllipsis = "…";
constexpr double kCellPadX = 2.0;  // blank between a column's edge and its text
constexpr double kCellPadY = 1.5;
constexpr int kProgressEvery = 64;  // rows between two progress reports

// Fonts of a report, by their index in Document::fonts.
enum FontIndex { kBody = 0, kHeading = 1, kTitle = 2, kInfo = 3 };

// The longest beginning of `text` (in characters) for which fits(prefix) holds; fits is
// monotonic in the prefix length.
template <class Fits>
std::size_t LongestFitting(std::string_view text, Fits&& fits) {
  std::size_t lo = 0, hi = utf8::Length(text);
  while (lo < hi) {
    const std::size_t mid = (lo + hi + 1) / 2;
    if (fits(utf8::Left(text, mid)))
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

class Paginator {
 public:
  Paginator(const Definition& d, const Table& t, DateTime emitted, TextMetrics& m,
            const Progress& progress)
      : def_(d), table_(t), metrics_(m), progress_(progress) {
    doc_.code = d.code;
    doc_.title = d.title;
    doc_.fonts = {
        {d.fontSize, false}, {d.fontSize, true}, {d.fontSize + 5, true}, {d.fontSize + 0.5, false}};
    const double margin = d.margin * kPointsPerMm;
    double total = 0;
    for (const ColumnDef& c : d.columns) total += c.width * kPointsPerMm;
    bool landscape = d.orientation == Orientation::Landscape;
    if (d.orientation == Orientation::Auto) landscape = total > kA4Short - 2 * margin;
    doc_.width = landscape ? kA4Long : kA4Short;
    doc_.height = landscape ? kA4Short : kA4Long;
    left_ = margin;
    right_ = doc_.width - margin;
    top_ = margin;
    bottom_ = doc_.height - margin;
    // The shares fill the printable width exactly.
    double x = left_;
    const double scale = (right_ - left_) / total;
    for (const ColumnDef& c : d.columns) {
      columnX_.push_back(x);
      x += c.width * kPointsPerMm * scale;
    }
    columnX_.push_back(right_);
    emission_ = EmissionText(emitted);
    for (int f = 0; f < static_cast<int>(doc_.fonts.size()); ++f)
      lineHeight_.push_back(metrics_.LineHeight(doc_.fonts[static_cast<std::size_t>(f)]));
  }

  Document Run() {
    NewPage();
    const int total = static_cast<int>(table_.rows.size());
    if (total == 0) {
      const std::string empty = def_.empty.empty() ? ReportMsg("Rel_Vazio") : def_.empty;
      y_ += kCellPadY * 2;
      Text(left_, y_, right_ - left_, empty, kBody, Align::Left);
    }
    std::string group;
    for (int r = 0; r < total; ++r) {
      if (progress_ && r % kProgressEvery == 0) progress_(r, total);
      const TableRow& row = table_.rows[static_cast<std::size_t>(r)];
      const Block block = MakeRow(row);
      if (def_.group && (r == 0 || row.group != group)) {
        group = row.group;
        const Block band = MakeGroupBand(row.group);
        if (y_ + band.height + block.height > bottom_ && !PageIsFresh()) NewPage();
        Place(band, false);
      }
      if (y_ + block.height > bottom_ && !PageIsFresh()) NewPage();
      Place(block, (zebra_++ % 2) == 1);
    }
    if (total > 0) {
      const double h = lineHeight_[kBody] + 2 * kCellPadY;
      if (y_ + h + kCellPadY > bottom_) NewPage();
      y_ += kCellPadY;
      Text(left_, y_, right_ - left_, ReportMsg("Rel_Total", {std::to_string(total)}), kHeading,
           Align::Left);
    }
    if (progress_) progress_(total, total);
    const int pages = static_cast<int>(doc_.pages.size());
    for (int p = 0; p < pages; ++p) {
      auto& ops = doc_.pages[static_cast<std::size_t>(p)].ops;
      std::get<TextOp>(ops[pageNumberOp_[static_cast<std::size_t>(p)]]).text =
          PageText(p + 1, pages);
    }
    return std::move(doc_);
  }

 private:
  // A band of texts to place at the current height: its ops with y relative to its top.
  struct Block {
    std::vector<TextOp> texts;
    double height = 0;
  };

  Page& Current() { return doc_.pages.back(); }
  bool PageIsFresh() const { return y_ <= bodyTop_ + 0.01; }

  void Text(double x, double y, double w, std::string text, int font, Align align) {
    Current().ops.emplace_back(
        TextOp{x, y, w, lineHeight_[static_cast<std::size_t>(font)], std::move(text), font, align});
  }

  void NewPage() {
    doc_.pages.emplace_back();
    const double width = right_ - left_;
    y_ = top_;
    // Title and emission on the first line, code and page number on the second.
    const FontSpec& title = doc_.fonts[kTitle];
    const double emissionWidth = metrics_.Width(emission_, doc_.fonts[kInfo]) + 1;
    Text(left_, y_, width - emissionWidth - 6,
         Ellipsize(def_.title, width - emissionWidth - 6, title, metrics_), kTitle, Align::Left);
    const double infoY = y_ + lineHeight_[kTitle] - lineHeight_[kInfo];
    Text(right_ - emissionWidth, infoY, emissionWidth, emission_, kInfo, Align::Right);
    y_ += lineHeight_[kTitle];
    Text(left_, y_, width / 2, def_.code, kInfo, Align::Left);
    pageNumberOp_.push_back(Current().ops.size());
    Text(left_ + width / 2, y_, width / 2, std::string(), kInfo, Align::Right);
    y_ += lineHeight_[kInfo] + 2;
    Current().ops.emplace_back(LineOp{left_, y_, right_, y_, 0.8});
    y_ += 3;
    // Column titles on a grey band.
    Block heading;
    for (std::size_t c = 0; c < def_.columns.size(); ++c) {
      const double w = columnX_[c + 1] - columnX_[c] - 2 * kCellPadX;
      AddCell(heading, c, WrapText(table_.titles[c], w, 2, doc_.fonts[kHeading], metrics_),
              kHeading, def_.columns[c].align);
    }
    Current().ops.emplace_back(FillOp{left_, y_, width, heading.height, 0.88});
    Place(heading, false);
    Current().ops.emplace_back(LineOp{left_, y_, right_, y_, 0.5});
    y_ += 0.5;
    bodyTop_ = y_;
  }

  void AddCell(Block& block, std::size_t column, const std::vector<std::string>& lines, int font,
               Align align) {
    const double lh = lineHeight_[static_cast<std::size_t>(font)];
    const double x = columnX_[column] + kCellPadX;
    const double w = columnX_[column + 1] - columnX_[column] - 2 * kCellPadX;
    double y = kCellPadY;
    for (const std::string& line : lines) {
      block.texts.push_back(TextOp{x, y, w, lh, line, font, align});
      y += lh;
    }
    block.height = std::max(block.height, y + kCellPadY);
    if (lines.empty()) block.height = std::max(block.height, lh + 2 * kCellPadY);
  }

  Block MakeRow(const TableRow& row) {
    Block block;
    for (std::size_t c = 0; c < def_.columns.size(); ++c) {
      const ColumnDef& col = def_.columns[c];
      const double w = columnX_[c + 1] - columnX_[c] - 2 * kCellPadX;
      const std::string_view text = utf8::Trim(row.cells[c].text);
      const FontSpec& font = doc_.fonts[kBody];
      std::vector<std::string> lines;
      if (!text.empty()) {
        if (col.overflow == Overflow::Ellipsis)
          lines = {Ellipsize(text, w, font, metrics_)};
        else
          lines = WrapText(text, w, col.lines, font, metrics_);
      }
      AddCell(block, c, lines, kBody, col.align);
    }
    return block;
  }

  Block MakeGroupBand(const std::string& value) {
    Block block;
    std::string text = def_.group->label.empty() ? value : def_.group->label + ": " + value;
    const double w = right_ - left_ - 2 * kCellPadX;
    block.texts.push_back(TextOp{left_ + kCellPadX, kCellPadY + 1, w, lineHeight_[kHeading],
                                 Ellipsize(text, w, doc_.fonts[kHeading], metrics_), kHeading,
                                 Align::Left});
    block.height = lineHeight_[kHeading] + 2 * kCellPadY + 1;
    return block;
  }

  void Place(const Block& block, bool shaded) {
    if (shaded) Current().ops.emplace_back(FillOp{left_, y_, right_ - left_, block.height, 0.95});
    for (TextOp t : block.texts) {
      t.y += y_;
      Current().ops.emplace_back(std::move(t));
    }
    y_ += block.height;
  }

  const Definition& def_;
  const Table& table_;
  TextMetrics& metrics_;
  const Progress& progress_;
  Document doc_;
  std::vector<double> columnX_;
  std::vector<double> lineHeight_;
  std::vector<std::size_t> pageNumberOp_;
  std::string emission_;
  double left_ = 0, right_ = 0, top_ = 0, bottom_ = 0;
  double y_ = 0, bodyTop_ = 0;
  int zebra_ = 0;
};

}  // namespace

std::string Ellipsize(std::string_view text, double width, const FontSpec& font,
                      TextMetrics& metrics) {
  if (metrics.Width(text, font) <= width) return std::string(text);
  const std::size_t n = LongestFitting(text, [&](std::string_view prefix) {
    std::string candidate(TrimRight(prefix));
    candidate += kEllipsis;
    return metrics.Width(candidate, font) <= width;
  });
  std::string out(TrimRight(utf8::Left(text, n)));
  out += kEllipsis;
  return out;
}

std::vector<std::string> WrapText(std::string_view text, double width, int maxLines,
                                  const FontSpec& font, TextMetrics& metrics) {
  std::vector<std::string> lines;
  if (text.find('\n') == std::string_view::npos && metrics.Width(text, font) <= width) {
    lines.emplace_back(text);
    return lines;
  }
  // Greedy filling, one paragraph (hard line break) at a time; the rest of the text is kept so
  // that the last allowed line can carry it with an ellipsis.
  std::size_t at = 0;
  auto restFrom = [&](std::size_t pos) { return text.substr(std::min(pos, text.size())); };
  while (at < text.size() && static_cast<int>(lines.size()) < maxLines) {
    if (static_cast<int>(lines.size()) == maxLines - 1) {
      std::string rest;
      for (char c : restFrom(at)) rest += c == '\n' || c == '\r' ? ' ' : c;
      lines.push_back(Ellipsize(utf8::Trim(rest), width, font, metrics));
      return lines;
    }
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view para = text.substr(at, end - at);
    if (!para.empty() && para.back() == '\r') para.remove_suffix(1);
    if (utf8::Trim(para).empty()) {  // blank lines take no room in a cell
      at = end + 1;
      continue;
    }
    // The longest run of whole words that fits; a first word too wide is broken inside.
    std::size_t take = 0;  // bytes of para on this line
    std::size_t pos = 0;
    while (pos < para.size()) {
      std::size_t next = para.find(' ', pos);
      if (next == std::string_view::npos) next = para.size();
      if (metrics.Width(TrimRight(para.substr(0, next)), font) > width) break;
      take = next;
      pos = next + 1;
    }
    if (take == 0 && !para.empty()) {
      const std::size_t chars = std::max<std::size_t>(
          1, LongestFitting(para,
                            [&](std::string_view p) { return metrics.Width(p, font) <= width; }));
      take = utf8::Offset(para, chars);
    }
    lines.emplace_back(TrimRight(para.substr(0, take)));
    std::size_t consumed = take;
    while (consumed < para.size() && para[consumed] == ' ') ++consumed;
    at += consumed;
    if (consumed >= para.size()) at = end + 1;  // the paragraph is done: skip its line break
  }
  return lines;
}

std::string EmissionText(DateTime emitted) {
  const DateTime::Parts p = emitted.Split();
  char time[8];
  std::snprintf(time, sizeof time, "%02d:%02d", p.hour, p.minute);
  return ReportMsg("Rel_Emissao", {ptbr::FormatDate(emitted), time});
}

std::string PageText(int page, int pages) {
  return ReportMsg("Rel_Pagina", {std::to_string(page), std::to_string(pages)});
}

Document Layout(const Definition& definition, const Table& table, DateTime emitted,
                TextMetrics& metrics, const Progress& progress) {
  return Paginator(definition, table, emitted, metrics, progress).Run();
}

}  // namespace ger::report
