#include "hostoptions.h"

#include <CLI/CLI.hpp>

namespace ger::qt {

HostOptions ParseHostOptions(const std::vector<std::string>& args) {
  HostOptions o;
  CLI::App app{"ger-host: the desktop host that opens the company screen", "ger-host"};
  std::optional<std::string> host, url, caFile, database, settings, screenshot, script, reportDir,
      activeModule, tokenFile, liveList;
  std::optional<int> port;
  auto* hostOption = app.add_option("--server-host", host, "host name of the application server");
  app.add_option("--server-url", url,
                 "address of the application server: a host name, http://NAME[:PORT] or "
                 "https://NAME[:PORT] (TLS; the certificate is checked, never plain HTTP instead)")
      ->excludes(hostOption);
  app.add_option("--ca-file", caFile,
                 "for https: the PEM file of the authorities that issue the server's certificate "
                 "(default: the system's)");
  app.add_option("--server-port", port, "port of the application server")
      ->check(CLI::Range(1, 65535));
  app.add_option("--db", database,
                 "database URL for reference lists (sqlite:PATH or postgresql://...)");
  app.add_option("--module", o.module, "module name in the library folder, or its path");
  app.add_option("--entry", o.entry, "entry point of the module that opens the first screen");
  app.add_option("--screenshot", screenshot, "render off-screen to this PNG file and quit");
  app.add_option("--script", script, "scenario file played before the screenshot");
  app.add_option("--settings", settings, "host settings file (key=value lines)");
  app.add_option("--report-dir", reportDir, "folder of the report templates");
  app.add_option("--active-module", activeModule, "one-character code of the active host module");
  app.add_option("--token-file", tokenFile,
                 "file holding the application server's access token (owner-readable only)");
  app.add_option("--live-list", liveList,
                 "1 (default): an open screen shows the other seats' saves as they happen; 0: "
                 "only when it reads its list");
  app.allow_extras(false);
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    throw EHelp(app.help());
  } catch (const CLI::ParseError& e) {
    throw Exception(e.what());
  }
  // A seat follows the others' saves unless told not to; a picture shows the screen as the
  // script left it, so nothing changes it behind the script.
  o.settings.liveList = !screenshot;
  // The settings file first, so that the command line overrides it.
  if (settings) {
    o.settings.LoadFile(*settings);
    o.settingsFile = settings;
  }
  if (port) o.settings.Set("web_port", std::to_string(*port));
  if (host) o.settings.Set("web_url", *host);
  if (url) o.settings.Set("web_url", *url);
  if (caFile) o.settings.Set("ca_file", *caFile);
  if (database) o.settings.Set("database", *database);
  if (reportDir) o.settings.Set("report_dir", *reportDir);
  if (activeModule) o.settings.Set("module", *activeModule);
  if (tokenFile) o.settings.Set("token_file", *tokenFile);
  if (liveList) o.settings.Set("live_list", *liveList);
  if (script && !screenshot)
    throw Exception("--script plays a scenario before a screenshot: give --screenshot FILE too.");
  o.screenshot = screenshot;
  o.script = script;
  return o;
}

}  // namespace ger::qt
