#include "icons.h"

#include <QDir>
#include <QStringList>

namespace ger::qt {

namespace {
// The theme of the Debian package tango-icon-theme: PNG pictures, which Qt draws without its SVG
// module, in the classic office look the screens were designed with.
constexpr const char* kTheme = "Tango";
}  // namespace

void UseIconTheme() {
  QStringList paths = QIcon::themeSearchPaths();
  if (!paths.contains("/usr/share/icons")) paths << "/usr/share/icons";
  QIcon::setThemeSearchPaths(paths);
  QIcon::setThemeName(kTheme);
  QIcon::setFallbackThemeName("hicolor");
}

QIcon Icon(std::string_view name, std::string_view fallback) {
  auto load = [](std::string_view n) {
    return QIcon::fromTheme(QString::fromUtf8(n.data(), static_cast<qsizetype>(n.size())));
  };
  QIcon icon = load(name);
  if (icon.isNull() && !fallback.empty()) icon = load(fallback);
  return icon;
}

}  // namespace ger::qt
