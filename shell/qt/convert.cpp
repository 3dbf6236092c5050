#include "convert.h"

#include <QStringList>

#include "core/ptbr.h"

namespace ger::qt {

QString ToQ(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQ(const QString& text) {
  return text.toStdString();
}

QString FileFilter(const std::string& filter) {
  QStringList parts = ToQ(filter).split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      QString pattern = p.trimmed();
      if (pattern == "*.*") pattern = "*";
      if (!pattern.isEmpty()) patterns << pattern;
    }
    if (patterns.isEmpty()) continue;
    // Qt reads the patterns from the parentheses; a name that already lists them is kept whole.
    out << (name.isEmpty() ? patterns.join(' ') : name + " (" + patterns.join(' ') + ")");
  }
  return out.join(";;");
}

QString PlainCaption(const std::string& caption) {
  QString in = ToQ(caption), out;
  for (qsizetype i = 0; i < in.size(); ++i) {
    if (in[i] == '&') {
      if (i + 1 < in.size() && in[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += in[i];
  }
  return out;
}

std::optional<QColor> ColorOf(TColor color) {
  switch (color) {
    case TColor::clInfoBk:
      return QColor(255, 255, 225);  // the pale yellow of tool tips: mandatory boxes
    case TColor::clWindow:
    case TColor::clWhite:
      return QColor(Qt::white);
    case TColor::clYellow:
      return QColor(Qt::yellow);
    case TColor::clRed:
      return QColor(Qt::red);
    case TColor::clBtnFace:
    case TColor::clNone:
      break;
  }
  return std::nullopt;
}

std::optional<std::string> KeyName(const QKeyEvent& event) {
  Qt::KeyboardModifiers mods = event.modifiers();
  std::string prefix;
  if (mods & Qt::ControlModifier) prefix += "ctrl+";
  if (mods & Qt::AltModifier) prefix += "alt+";
  switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (mods & Qt::ShiftModifier) prefix += "shift+";
      return prefix + "enter";
    case Qt::Key_Tab:
      if (mods & (Qt::ControlModifier | Qt::AltModifier)) return std::nullopt;
      return std::string(mods & Qt::ShiftModifier ? "shift+tab" : "tab");
    case Qt::Key_Backtab:
      return std::string("shift+tab");
    case Qt::Key_Backspace:
      return prefix + "backspace";
    case Qt::Key_Delete:
      return prefix + "delete";
    case Qt::Key_Escape:
      return std::string("escape");
    default:
      return std::nullopt;
  }
}

std::optional<std::string> FormKeyName(const QKeyEvent& event) {
  const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = mods & Qt::ControlModifier;
  const bool shift = mods & Qt::ShiftModifier;
  const bool alt = mods & Qt::AltModifier;
  switch (event.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (!ctrl || alt) return std::nullopt;
      return std::string(shift || event.key() == Qt::Key_Backtab ? "ctrl+shift+tab" : "ctrl+tab");
    case Qt::Key_PageDown:
      if (mods != Qt::ControlModifier) return std::nullopt;
      return std::string("ctrl+pgdn");
    case Qt::Key_PageUp:
      if (mods != Qt::ControlModifier) return std::nullopt;
      return std::string("ctrl+pgup");
    case Qt::Key_F2:
      if (mods != Qt::NoModifier) return std::nullopt;
      return std::string("f2");
    case Qt::Key_F1:
      if (mods != Qt::NoModifier) return std::nullopt;
      return std::string("f1");
    case Qt::Key_Down:
      if (mods != Qt::AltModifier) return std::nullopt;
      return std::string("alt+down");
    default:
      return std::nullopt;
  }
}

std::optional<std::string> NavigationKeyName(const QKeyEvent& event) {
  if (event.modifiers() & ~Qt::KeypadModifier) return std::nullopt;
  switch (event.key()) {
    case Qt::Key_Up:
      return std::string("up");
    case Qt::Key_Down:
      return std::string("down");
    case Qt::Key_Left:
      return std::string("left");
    case Qt::Key_Right:
      return std::string("right");
    case Qt::Key_Home:
      return std::string("home");
    case Qt::Key_End:
      return std::string("end");
    default:
      return std::nullopt;
  }
}

std::optional<QString> TypedText(const QKeyEvent& event) {
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return std::nullopt;
  QString text;
  for (QChar ch : event.text())
    if (ch.unicode() >= 0x20 && ch.unicode() != 0x7f) text += ch;
  if (text.isEmpty()) return std::nullopt;
  return text;
}

std::string ValueText(const Value& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(double d) const { return ptbr::FormatFloat(d); }
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(DateTime d) const { return ptbr::FormatDateTime(d); }
    std::string operator()(const Bytes&) const { return "(BLOB)"; }
  };
  return std::visit(Visitor{}, value);
}

int Utf16Offset(const QString& text, int characters) {
  int offset = 0;
  for (int c = 0; c < characters && offset < text.size(); ++c)
    offset += text[offset].isHighSurrogate() && offset + 1 < text.size() ? 2 : 1;
  return offset;
}

int CharacterIndex(const QString& text, int utf16Offset) {
  int chars = 0;
  for (int i = 0; i < utf16Offset && i < text.size(); ++i)
    if (!text[i].isLowSurrogate()) ++chars;
  return chars;
}

}  // namespace ger::qt
