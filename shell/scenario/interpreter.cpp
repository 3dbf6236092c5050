#include "interpreter.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "core/ptbr.h"
#include "core/utf8.h"
#include "data/dataset.h"
#include "db/database.h"
#include "module/module.h"
#include "net/netconnection.h"
#include "routines/components.h"
#include "routines/routines.h"
#include "ui/gestures.h"
#include "ui/grids.h"

namespace fs = std::filesystem;

namespace ger::scenario {

ScratchDir::ScratchDir(bool keep) : keep_(keep) {
  std::string pattern = (fs::temp_directory_path() / "ger-scenario-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  if (!keep_) fs::remove_all(path_, ec);
}

std::vector<Line> ReadScript(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SyntaxError(0, "cannot read the file");
  std::stringstream buffer;
  buffer << in.rdbuf();
  return Parse(buffer.str());
}

namespace {

// --- texts --------------------------------------------------------------------------------------

std::string ValueText(const Value& v) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>)
          return "";
        else if constexpr (std::is_same_v<T, std::string>)
          return x;
        else if constexpr (std::is_same_v<T, double>)
          return ptbr::FormatFloat(x);
        else if constexpr (std::is_same_v<T, std::int64_t>)
          return std::to_string(x);
        else if constexpr (std::is_same_v<T, DateTime>)
          return ptbr::FormatDateTime(x);
        else
          return x.data;
      },
      v);
}

std::string Shown(const std::optional<std::string>& text) {
  return text ? Quote(*text) : "null";
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "|" : "") + items[i];
  return out;
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// A small picture: 8 by 8 pixels, a colour gradient, as BMP or JPEG by the file's extension.
void WritePicture(const fs::path& path) {
  constexpr int w = 8, h = 8;
  std::vector<unsigned char> rgb(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &rgb[(y * w + x) * 3];
      p[0] = static_cast<unsigned char>(x * 32);
      p[1] = static_cast<unsigned char>(y * 32);
      p[2] = 128;
    }
  const std::string ext = path.extension().string();
  std::string bytes;
  auto sink = [](void* ctx, void* data, int size) {
    static_cast<std::string*>(ctx)->append(static_cast<const char*>(data), size);
  };
  int ok = 0;
  if (utf8::SameText(ext, ".bmp"))
    ok = stbi_write_bmp_to_func(sink, &bytes, w, h, 3, rgb.data());
  else if (utf8::SameText(ext, ".jpg") || utf8::SameText(ext, ".jpeg"))
    ok = stbi_write_jpg_to_func(sink, &bytes, w, h, 3, rgb.data(), 90);
  else
    throw std::runtime_error("picture: use a .bmp or .jpg file name, not " + path.string());
  if (!ok) throw std::runtime_error("cannot encode the picture " + path.string());
  WriteFile(path, bytes);
}

}  // namespace

// --- the interpreter ----------------------------------------------------------------------------

class Interpreter::Impl {
 public:
  Impl(World world, std::function<void(int)> progress)
      : world_(std::move(world)), progress_(std::move(progress)) {
    net_.Host = world_.serverHost;
    net_.Port = world_.serverPort;
    net_.CaFile = world_.caFile;
    net_.Token = world_.token;
  }
  ~Impl() { net_.Disconnect(); }

  void Play(std::vector<Line> lines) {
    // The modal loop is ours while the lines run, the host's again afterwards, also on failure.
    // So is the keys' clock: the characters of one line come in quick succession, and a minute
    // passes between lines, so that typing into a list searches by prefix within a line and
    // afresh on the next one, whatever the machine's speed.
    struct LoopScope {
      std::function<void(TForm&)> saved = std::move(Application().RunModalLoop);
      std::function<std::chrono::steady_clock::time_point()> clock = std::move(Application().Clock);
      ~LoopScope() {
        Application().RunModalLoop = std::move(saved);
        Application().Clock = std::move(clock);
      }
    } scope;
    Application().RunModalLoop = [this](TForm& form) { ModalLoop(form); };
    Application().Clock = [this] { return keyTime_; };
    lines_ = std::move(lines);
    next_ = 0;
    try {
      while (next_ < lines_.size()) RunLine(lines_[next_++]);
    } catch (const ScriptEnded&) {
      // The picture was taken inside the modal form; its loops are unwound.
    }
  }

 private:
  // --- plumbing ---
  [[noreturn]] void Fail(const std::string& message) const { throw LineFailure(line_, message); }

  void ModalLoop(TForm& form) {
    // The lines after the one that opened the form run while it is open.
    while (form.Modal()) {
      if (next_ >= lines_.size()) {
        if (world_.atEndInModal) {
          world_.atEndInModal();
          throw ScriptEnded();
        }
        Fail("the file ended while the modal form '" + form.Name() + "' was still open");
      }
      RunLine(lines_[next_++]);
    }
  }

  void RunLine(const Line& line) {
    // A line that opened a modal form goes on after the lines its loop ran: it gets its own
    // number and text back, so a failure after the form closed names it (and never reads a line
    // that is over).
    int outer = line_;
    const Line* outerLine = current_;
    line_ = line.number;
    current_ = &line;
    keyTime_ += std::chrono::minutes(1);
    if (progress_) progress_(line.number);
    try {
      Execute(line);
    } catch (const LineFailure&) {
      throw;
    } catch (const ScriptEnded&) {
      throw;
    } catch (const ui::EScriptError& e) {
      Fail(Command() + ": " + e.what());
    } catch (const ui::EGestureError& e) {
      Fail(Command() + ": " + e.what());
    } catch (const std::exception& e) {
      Fail(Command() + ": " + e.what());
    }
    line_ = outer;
    current_ = outerLine;
  }

  std::string Command() const {
    std::string out;
    for (const Word& w : current_->words)
      out += (out.empty() ? "" : " ") + (w.quoted ? Quote(w.text) : w.text);
    return out;
  }

  const Line& L() const { return *current_; }
  std::size_t Count() const { return L().words.size(); }
  void Arity(std::size_t min, std::size_t max, const char* usage) const {
    if (Count() < min || Count() > max) Fail(std::string("usage: ") + usage);
  }
  const std::string& Bare(std::size_t i, const char* usage) const {
    if (i >= Count() || L().words[i].quoted) Fail(std::string("usage: ") + usage);
    return L().words[i].text;
  }
  std::string Text(std::size_t i, const char* usage) const {
    if (i >= Count() || !L().words[i].quoted) Fail(std::string("usage: ") + usage);
    std::string s = L().words[i].text;
    const std::string tmp = world_.tmp.string();
    for (std::size_t at = s.find("$TMP"); at != std::string::npos; at = s.find("$TMP", at)) {
      s.replace(at, 4, tmp);
      at += tmp.size();
    }
    return s;
  }
  bool IsText(std::size_t i) const { return i < Count() && L().words[i].quoted; }
  // A text, or the bare word null.
  std::optional<std::string> TextOrNull(std::size_t i, const char* usage) const {
    if (i < Count() && !L().words[i].quoted && L().words[i].text == "null") return std::nullopt;
    return Text(i, usage);
  }
  int Number(std::size_t i, const char* usage) const {
    const std::string& s = Bare(i, usage);
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end) Fail(std::string("usage: ") + usage + " ('" + s + "' is not a number)");
    return static_cast<int>(v);
  }
  bool OnOff(std::size_t i, const char* on, const char* off, const char* usage) const {
    const std::string& s = Bare(i, usage);
    if (s == on) return true;
    if (s == off) return false;
    Fail(std::string("usage: ") + usage);
  }

  ui::ScriptedDialogs& Dialogs() const {
    ui::ScriptedDialogs* d = Application().Scripted();
    if (!d) Fail("the scripted dialogs are not in use");
    return *d;
  }

  TForm& ActiveForm(std::string_view wanted) const {
    TForm* form = Application().ActiveForm();
    if (!form) Fail("no form is open (looking for '" + std::string(wanted) + "')");
    return *form;
  }
  TComponent& Component(const std::string& name) const {
    TForm& form = ActiveForm(name);
    if (form.Name() == name) return form;
    TComponent* c = form.FindDeep(name);
    if (!c) Fail("no control '" + name + "' on the active form '" + form.Name() + "'");
    return *c;
  }
  template <class T>
  T& Control(const std::string& name, const char* what) const {
    TComponent& c = Component(name);
    auto* t = dynamic_cast<T*>(&c);
    if (!t) Fail("'" + name + "' is a " + std::string(c.ClassName()) + ", not " + what);
    return *t;
  }
  TForm& Form(const std::string& name) const {
    TForm* form = Application().FindForm(name);
    if (!form) Fail("no form '" + name + "' exists");
    return *form;
  }
  TDataSet& DataSet(const std::string& name) const {
    if (TForm* active = Application().ActiveForm())
      if (TDataSet* d = active->FindDataSet(name)) return *d;
    for (TForm* f : Application().Forms())
      if (TDataSet* d = f->FindDataSet(name)) return *d;
    Fail("no dataset '" + name + "' on any open form");
  }
  TField& Field(const std::string& ref) const {
    auto dot = ref.find('.');
    if (dot == std::string::npos) Fail("'" + ref + "' is not DATASET.FIELD");
    TDataSet& d = DataSet(ref.substr(0, dot));
    TField* f = d.FindField(ref.substr(dot + 1));
    if (!f) Fail("dataset '" + d.Name() + "' has no field '" + ref.substr(dot + 1) + "'");
    return *f;
  }
  TLoadedModule& Module() const {
    if (!world_.module) Fail("the module is not loaded");
    return *world_.module;
  }
  db::Connection& Database() {
    if (!database_) {
      if (world_.databaseUrl.empty()) Fail("no database is configured for this run");
      database_ = db::Connection::Open(world_.databaseUrl);
    }
    return *database_;
  }
  // A test hook of the application server (__fail, __calls).
  boost::json::value ServerCall(const std::string& method, boost::json::array params) {
    ServerAnswer answer = net_.Call(method, params);
    if (!answer.ok()) {
      // A server without its test hooks does not know the method at all.
      if (answer.error.find("desconhecido") != std::string::npos &&
          answer.error.find(method) != std::string::npos)
        Fail("the application server at " + world_.serverHost + ":" +
             std::to_string(world_.serverPort) +
             " has no test hooks (start ger-server with --test-hooks)");
      Fail("the server refused " + method + ": " + answer.error);
    }
    return answer.payload->Value();
  }

  template <class T>
  void Expect(const T& expected, const T& found, const std::string& what) const {
    if (!(expected == found))
      Fail("expected " + what + " " + Describe(expected) + ", found " + Describe(found));
  }
  static std::string Describe(const std::optional<std::string>& v) { return Shown(v); }
  static std::string Describe(const std::string& v) { return Quote(v); }
  static std::string Describe(bool v) { return v ? "true" : "false"; }
  static std::string Describe(int v) { return std::to_string(v); }

  // --- commands ---
  void Execute(const Line& line) {
    const std::string& cmd = line.words.front().text;
    using Handler = void (Impl::*)();
    static const std::map<std::string, Handler> handlers = {
        {"sql", &Impl::Sql},
        {"module", &Impl::ModuleCode},
        {"reportdir", &Impl::ReportDir},
        {"picture", &Impl::Picture},
        {"textfile", &Impl::TextFile},
        {"remove", &Impl::Remove},
        {"fail", &Impl::FailNext},
        {"call", &Impl::Call},
        {"click", &Impl::Click},
        {"dblclick", &Impl::DblClick},
        {"focus", &Impl::Focus},
        {"type", &Impl::Type},
        {"key", &Impl::Key},
        {"clear", &Impl::Clear},
        {"paste", &Impl::Paste},
        {"select", &Impl::Select},
        {"check", &Impl::Check},
        {"page", &Impl::Page},
        {"grid", &Impl::Grid},
        {"close", &Impl::CloseForm},
        {"minimize", &Impl::Minimize},
        {"answer", &Impl::AnswerCmd},
        {"pick", &Impl::PickCmd},
        {"file", &Impl::FileCmd},
        {"find", &Impl::FindCmd},
        {"print", &Impl::PrintCmd},
        {"progress", &Impl::ProgressCmd},
        {"expect", &Impl::ExpectCmd},
    };
    auto it = handlers.find(cmd);
    if (it == handlers.end()) Fail("unknown command '" + cmd + "'");
    (this->*(it->second))();
  }

  void Sql() {
    Arity(2, 2, "sql \"STATEMENT\"");
    Database().Execute(Text(1, "sql \"STATEMENT\""));
  }
  void ModuleCode() {
    Arity(2, 2, "module \"C\"");
    Application().Settings.moduloAtiv = Text(1, "module \"C\"");
  }
  void ReportDir() {
    Arity(2, 2, "reportdir \"PATH\"");
    Application().Settings.reportDir = Text(1, "reportdir \"PATH\"");
  }
  void Picture() {
    Arity(2, 2, "picture \"PATH\"");
    WritePicture(Text(1, "picture \"PATH\""));
  }
  void TextFile() {
    Arity(3, 3, "textfile \"PATH\" \"TEXT\"");
    WriteFile(Text(1, "textfile \"PATH\" \"TEXT\""), Text(2, "textfile \"PATH\" \"TEXT\""));
  }
  void Remove() {
    Arity(2, 2, "remove \"PATH\"");
    std::error_code ec;
    fs::remove(Text(1, "remove \"PATH\""), ec);
    if (ec) Fail("cannot remove the file: " + ec.message());
  }
  void FailNext() {
    const char* usage = "fail METHOD \"MESSAGE\"";
    Arity(3, 3, usage);
    ServerCall("__fail",
               {boost::json::string(Bare(1, usage)), boost::json::string(Text(2, usage))});
  }

  void Call() {
    const char* usage = "call NAME";
    Arity(2, 2, usage);
    const std::string& name = Bare(1, usage);
    if (!Module().FindEntry(name)) Fail("the module has no entry point '" + name + "'");
    result_ = Module().Call(name);
    Application().ProcessReleases();
  }

  void Click() {
    Arity(2, 2, "click NAME");
    ui::Gestures::Click(Component(Bare(1, "click NAME")));
  }
  void DblClick() {
    Arity(2, 2, "dblclick NAME");
    ui::Gestures::DblClick(Control<TControl>(Bare(1, "dblclick NAME"), "a control"));
  }
  void Focus() {
    Arity(2, 2, "focus NAME");
    ui::Gestures::Focus(Control<TControl>(Bare(1, "focus NAME"), "a control"));
  }
  void Type() {
    const char* usage = "type NAME \"TEXT\"";
    Arity(3, 3, usage);
    ui::Gestures::Type(Control<TControl>(Bare(1, usage), "a control"), Text(2, usage));
  }
  void Key() {
    const char* usage = "key NAME KEY";
    Arity(3, 3, usage);
    std::string key = IsText(2) ? Text(2, usage) : Bare(2, usage);
    ui::Gestures::Key(Control<TControl>(Bare(1, usage), "a control"), key);
  }
  void Clear() {
    Arity(2, 2, "clear NAME");
    ui::Gestures::Clear(Control<TControl>(Bare(1, "clear NAME"), "a control"));
  }
  void Paste() {
    const char* usage = "paste NAME \"TEXT\"";
    Arity(3, 3, usage);
    ui::Gestures::Paste(Control<TControl>(Bare(1, usage), "a control"), Text(2, usage));
  }
  void Select() {
    const char* usage = "select NAME N | select NAME \"TEXT\"";
    Arity(3, 3, usage);
    TControl& c = Control<TControl>(Bare(1, usage), "a control");
    if (IsText(2))
      ui::Gestures::Select(c, std::string_view(Text(2, usage)));
    else
      ui::Gestures::Select(c, Number(2, usage));
  }
  void Check() {
    const char* usage = "check NAME on|off";
    Arity(3, 3, usage);
    ui::Gestures::Check(Control<TControl>(Bare(1, usage), "a control"),
                        OnOff(2, "on", "off", usage));
  }
  void Page() {
    Arity(2, 2, "page NAME");
    ui::Gestures::Page(Control<TTabSheet>(Bare(1, "page NAME"), "a page"));
  }
  void Grid() {
    const char* usage =
        "grid NAME col FIELD | row N | title FIELD | type \"TEXT\" | choose \"TEXT\" | button";
    if (Count() < 3) Fail(std::string("usage: ") + usage);
    TDBGrid& grid = Control<TDBGrid>(Bare(1, usage), "a grid");
    const std::string& what = Bare(2, usage);
    if (what == "col") {
      Arity(4, 4, usage);
      ui::Gestures::GridCol(grid, Bare(3, usage));
    } else if (what == "row") {
      Arity(4, 4, usage);
      ui::Gestures::GridRow(grid, Number(3, usage));
    } else if (what == "title") {
      Arity(4, 4, usage);
      ui::Gestures::GridTitle(grid, Bare(3, usage));
    } else if (what == "type") {
      Arity(4, 4, usage);
      ui::Gestures::GridType(grid, Text(3, usage));
    } else if (what == "choose") {
      Arity(4, 4, usage);
      ui::Gestures::GridChoose(grid, Text(3, usage));
    } else if (what == "button") {
      Arity(3, 3, usage);
      ui::Gestures::GridButton(grid);
    } else {
      Fail(std::string("usage: ") + usage);
    }
  }
  void CloseForm() {
    Arity(1, 2, "close [FORM]");
    TForm& form = Count() == 2 ? Form(Bare(1, "close [FORM]")) : ActiveForm("the form to close");
    ui::Gestures::Close(form);
    Application().ProcessReleases();
  }
  void Minimize() {
    Arity(2, 2, "minimize FORM");
    ui::Gestures::Minimize(Form(Bare(1, "minimize FORM")));
  }

  void AnswerCmd() {
    const char* usage = "answer yes|no|ok|cancel";
    Arity(2, 2, usage);
    const std::string& a = Bare(1, usage);
    if (a == "yes")
      Dialogs().Answer(TModalResult::mrYes);
    else if (a == "no")
      Dialogs().Answer(TModalResult::mrNo);
    else if (a == "ok")
      Dialogs().Answer(TModalResult::mrOk);
    else if (a == "cancel")
      Dialogs().Answer(TModalResult::mrCancel);
    else
      Fail(std::string("usage: ") + usage);
  }
  void PickCmd() {
    const char* usage = "pick N | pick \"TEXT\" | pick cancel";
    Arity(2, 2, usage);
    if (IsText(1))
      Dialogs().Pick(Text(1, usage));
    else if (Bare(1, usage) == "cancel")
      Dialogs().Pick(ui::ScriptedDialogs::PickCancel{});
    else
      Dialogs().Pick(Number(1, usage));
  }
  void FindCmd() {
    const char* usage = "find \"TEXT\" | find cancel";
    Arity(2, 2, usage);
    if (IsText(1))
      Dialogs().Find(Text(1, usage));
    else if (Bare(1, usage) == "cancel")
      Dialogs().Find(std::nullopt);
    else
      Fail(std::string("usage: ") + usage);
  }
  void FileCmd() {
    const char* usage = "file \"PATH\" | file cancel";
    Arity(2, 2, usage);
    if (IsText(1))
      Dialogs().File(Text(1, usage));
    else if (Bare(1, usage) == "cancel")
      Dialogs().File(std::nullopt);
    else
      Fail(std::string("usage: ") + usage);
  }

  void PrintCmd() {
    const char* usage = "print ok|cancel";
    Arity(2, 2, usage);
    Dialogs().Print(OnOff(1, "ok", "cancel", usage));
  }
  void ProgressCmd() {
    const char* usage = "progress cancel [STEPS]";
    Arity(2, 3, usage);
    if (Bare(1, usage) != "cancel") Fail(std::string("usage: ") + usage);
    Dialogs().CancelProgress(Count() == 3 ? Number(2, usage) : 0);
  }

  // The checks of `expect`, by their second word.
  void ExpectCmd() {
    if (Count() < 2) Fail("usage: expect WHAT ...");
    const std::string& what = Bare(1, "expect WHAT ...");
    using Check = void (Impl::*)();
    static const std::map<std::string, Check> checks = {
        {"message", &Impl::ExpectMessage}, {"nomessage", &Impl::ExpectNoMessage},
        {"field", &Impl::ExpectField},     {"display", &Impl::ExpectDisplay},
        {"text", &Impl::ExpectText},       {"focus", &Impl::ExpectFocus},
        {"page", &Impl::ExpectPage},       {"enabled", &Impl::ExpectFlag},
        {"visible", &Impl::ExpectFlag},    {"checked", &Impl::ExpectFlag},
        {"grayed", &Impl::ExpectFlag},     {"state", &Impl::ExpectState},
        {"count", &Impl::ExpectCount},     {"mask", &Impl::ExpectMask},
        {"items", &Impl::ExpectItems},     {"calls", &Impl::ExpectCalls},
        {"cache", &Impl::ExpectCache},     {"sql", &Impl::ExpectSql},
        {"form", &Impl::ExpectForm},       {"windowstate", &Impl::ExpectWindowState},
        {"global", &Impl::ExpectGlobal},   {"result", &Impl::ExpectResult},
        {"printed", &Impl::ExpectPrinted}, {"file", &Impl::ExpectFile},
        {"picture", &Impl::ExpectPicture}, {"rows", &Impl::ExpectRows},
        {"cell", &Impl::ExpectCell},       {"clipboard", &Impl::ExpectClipboard},
        {"line", &Impl::ExpectLine},
    };
    auto it = checks.find(what);
    if (it == checks.end()) Fail("unknown check 'expect " + what + "'");
    (this->*(it->second))();
  }

  void ExpectMessage() {
    const char* usage = "expect message \"TEXT\"";
    Arity(3, 3, usage);
    std::string want = Text(2, usage);
    std::optional<std::string> got = Dialogs().NextMessage();
    if (!got) Fail("expected message " + Quote(want) + ", found no unread message");
    Expect(want, *got, "message");
  }
  void ExpectNoMessage() {
    Arity(2, 2, "expect nomessage");
    if (auto got = Dialogs().NextMessage())
      Fail("expected no unread message, found " + Quote(*got));
  }
  void ExpectField() {
    const char* usage = "expect field DATASET.FIELD \"V\" | null";
    Arity(4, 4, usage);
    TField& f = Field(Bare(2, usage));
    std::optional<std::string> got;
    if (!f.IsNull()) got = f.AsString();
    Expect(TextOrNull(3, usage), got, "field " + Bare(2, usage));
  }
  void ExpectDisplay() {
    const char* usage = "expect display DATASET.FIELD \"TEXT\"";
    Arity(4, 4, usage);
    Expect(Text(3, usage), Field(Bare(2, usage)).DisplayText(), "display of " + Bare(2, usage));
  }
  void ExpectText() {
    const char* usage = "expect text NAME \"TEXT\"";
    Arity(4, 4, usage);
    Expect(Text(3, usage), ui::Observe::Text(Component(Bare(2, usage))),
           "text of " + Bare(2, usage));
  }
  void ExpectFocus() {
    const char* usage = "expect focus NAME";
    Arity(3, 3, usage);
    TComponent& c = Component(Bare(2, usage));
    TControl* focused = ActiveForm(Bare(2, usage)).ActiveControl();
    if (focused != &c)
      Fail("expected focus on " + Bare(2, usage) + ", found it on " +
           (focused ? focused->Name() : std::string("no control")));
  }
  void ExpectPage() {
    const char* usage = "expect page NAME";
    Arity(3, 3, usage);
    TTabSheet& page = Control<TTabSheet>(Bare(2, usage), "a page");
    if (!page.IsActive()) {
      TTabSheet* active = page.PageControl() ? page.PageControl()->ActivePage() : nullptr;
      Fail("expected page " + page.Name() + " active, found " +
           (active ? active->Name() : std::string("no active page")));
    }
  }
  void ExpectFlag() {
    const std::string& what = L().words[1].text;  // enabled, visible, checked or grayed
    std::string usage = "expect " + what + " NAME true|false";
    Arity(4, 4, usage.c_str());
    TComponent& c = Component(Bare(2, usage.c_str()));
    bool want = OnOff(3, "true", "false", usage.c_str());
    bool got = what == "enabled"   ? ui::Observe::Enabled(c)
               : what == "visible" ? ui::Observe::Visible(c)
               : what == "checked" ? ui::Observe::Checked(c)
                                   : ui::Observe::Grayed(c);
    Expect(want, got, what + " of " + c.Name());
  }
  void ExpectState() {
    const char* usage = "expect state DATASET inactive|browse|edit|insert";
    Arity(4, 4, usage);
    Expect(Bare(3, usage), std::string(StateName(DataSet(Bare(2, usage)).State())),
           "state of " + Bare(2, usage));
  }
  void ExpectCount() {
    const char* usage = "expect count DATASET N";
    Arity(4, 4, usage);
    int want = Number(3, usage);
    TDataSet& d = DataSet(Bare(2, usage));
    Expect(want, d.Active() ? d.RecordCount() : 0, "row count of " + d.Name());
  }
  void ExpectMask() {
    const char* usage = "expect mask DATASET.FIELD \"MASK\"";
    Arity(4, 4, usage);
    Expect(Text(3, usage), Field(Bare(2, usage)).EditMask(), "mask of " + Bare(2, usage));
  }
  void ExpectItems() {
    const char* usage = "expect items NAME \"A|B|C\"";
    Arity(4, 4, usage);
    Expect(Text(3, usage), Join(ui::Observe::Items(Component(Bare(2, usage)))),
           "items of " + Bare(2, usage));
  }
  void ExpectCalls() {
    const char* usage = "expect calls METHOD N";
    Arity(4, 4, usage);
    boost::json::value v = ServerCall("__calls", {boost::json::string(Bare(2, usage))});
    int got = v.is_int64()    ? static_cast<int>(v.as_int64())
              : v.is_string() ? std::atoi(v.as_string().c_str())
                              : -1;
    Expect(Number(3, usage), got, "calls of " + Bare(2, usage));
  }
  void ExpectCache() {
    const char* usage = "expect cache TABLE N";
    Arity(4, 4, usage);
    const auto& refreshes = Application().CacheRefreshes;
    auto it = refreshes.find(Bare(2, usage));
    Expect(Number(3, usage), it == refreshes.end() ? 0 : it->second,
           "local-copy refreshes of " + Bare(2, usage));
  }
  void ExpectSql() {
    const char* usage = "expect sql \"QUERY\" \"V\" | null | none";
    Arity(4, 4, usage);
    DataPacket rows = Database().Query(Text(2, usage));
    std::optional<std::string> got;
    if (rows.rows.empty() || rows.fields.empty())
      got = "none";
    else if (!IsNull(rows.rows.front().front()))
      got = ValueText(rows.rows.front().front());
    // "none" (no row) is also taken as a bare word.
    std::optional<std::string> want = !IsText(3) && L().words[3].text == "none"
                                          ? std::optional<std::string>("none")
                                          : TextOrNull(3, usage);
    Expect(want, got, "first value of the query");
  }
  void ExpectForm() {
    const char* usage = "expect form NAME true|false";
    Arity(4, 4, usage);
    Expect(OnOff(3, "true", "false", usage), Application().FindForm(Bare(2, usage)) != nullptr,
           "form " + Bare(2, usage) + " to exist:");
  }
  void ExpectWindowState() {
    const char* usage = "expect windowstate NAME normal|minimized|maximized";
    Arity(4, 4, usage);
    TWindowState s = Form(Bare(2, usage)).WindowState();
    std::string got = s == TWindowState::wsMinimized   ? "minimized"
                      : s == TWindowState::wsMaximized ? "maximized"
                                                       : "normal";
    Expect(Bare(3, usage), got, "window state of " + Bare(2, usage));
  }
  void ExpectGlobal() {
    const char* usage = "expect global NAME \"V\"";
    Arity(4, 4, usage);
    const std::string& name = Bare(2, usage);
    if (!Module().FindGlobal(name)) Fail("the module exports no global '" + name + "'");
    Expect(Text(3, usage), Module().GlobalText(name), "global " + name);
  }
  void ExpectResult() {
    const char* usage = "expect result \"V\"";
    Arity(3, 3, usage);
    if (!result_) Fail("expected result " + Quote(Text(2, usage)) + ", found no call made yet");
    Expect(Text(2, usage), *result_, "result");
  }
  void ExpectPrinted() {
    const char* usage = "expect printed \"TITLE\" PAGES";
    Arity(4, 4, usage);
    const auto& printed = Dialogs().PrintedReports();
    if (printed.empty()) Fail("expected a printed report, found none sent to the printer");
    Expect(Text(2, usage), printed.back().title, "printed report");
    Expect(Number(3, usage), printed.back().pages, "printed pages");
  }
  void ExpectFile() {
    const char* usage = "expect file \"PATH\" exists|absent";
    Arity(4, 4, usage);
    const std::string path = Text(2, usage);
    const bool wanted = OnOff(3, "exists", "absent", usage);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) != wanted)
      Fail("expected file " + Quote(path) + (wanted ? " to exist" : " to be absent") +
           ", found it " + (wanted ? "absent" : "there"));
  }
  // The rows a grid shows (its filter's count).
  void ExpectRows() {
    const char* usage = "expect rows GRID N";
    Arity(4, 4, usage);
    TDBGrid& grid = Control<TDBGrid>(Bare(2, usage), "a grid");
    Expect(Number(3, usage), grid.RowCount(), "rows shown by " + grid.Name());
  }
  // The text of a grid's cell: row N as shown (from 0), the field's column.
  void ExpectCell() {
    const char* usage = "expect cell GRID N FIELD \"TEXT\"";
    Arity(6, 6, usage);
    TDBGrid& grid = Control<TDBGrid>(Bare(2, usage), "a grid");
    const int row = Number(3, usage);
    const std::string& field = Bare(4, usage);
    int column = -1;
    for (int i = 0; i < grid.ColumnCount(); ++i)
      if (utf8::SameText(grid.Columns()[static_cast<std::size_t>(i)]->FieldName, field)) column = i;
    if (column < 0) Fail("grid " + grid.Name() + " has no column " + field);
    const auto cells = grid.CellTexts();
    if (row < 0 || row >= static_cast<int>(cells.size()))
      Fail("grid " + grid.Name() + " shows " + std::to_string(cells.size()) + " rows, no row " +
           std::to_string(row));
    Expect(Text(5, usage), cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)],
           "cell " + std::to_string(row) + " " + field + " of " + grid.Name());
  }
  // Line N (from 1) of a text file, without its line break and without a leading byte-order
  // mark; "none" when the file has fewer lines.
  void ExpectLine() {
    const char* usage = "expect line \"PATH\" N \"TEXT\"";
    Arity(5, 5, usage);
    const std::string path = Text(2, usage);
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("expected a line of " + Quote(path) + ", found no such file");
    std::string line;
    const int wanted = Number(3, usage);
    std::string found = "none";
    for (int n = 1; std::getline(in, line); ++n) {
      if (n == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (n == wanted) {
        found = line;
        break;
      }
    }
    Expect(Text(4, usage), found, "line " + std::to_string(wanted) + " of " + Quote(path));
  }
  void ExpectClipboard() {
    const char* usage = "expect clipboard \"TEXT\"";
    Arity(3, 3, usage);
    Expect(Text(2, usage), Dialogs().Clipboard(), "clipboard");
  }

  void ExpectPicture() {
    const char* usage = "expect picture NAME loaded|empty";
    Arity(4, 4, usage);
    TImage& image = Control<TImage>(Bare(2, usage), "an image");
    bool loaded = OnOff(3, "loaded", "empty", usage);
    if (loaded == image.Empty())
      Fail(std::string("expected picture ") + image.Name() + (loaded ? " loaded" : " empty") +
           ", found it " + (image.Empty() ? "empty" : "loaded"));
  }

  World world_;
  std::function<void(int)> progress_;
  std::vector<Line> lines_;
  std::size_t next_ = 0;
  int line_ = 0;
  std::chrono::steady_clock::time_point keyTime_{};
  const Line* current_ = nullptr;
  std::optional<std::string> result_;
  TNetConnection net_;
  std::unique_ptr<db::Connection> database_;
};

Interpreter::Interpreter(World world, std::function<void(int)> progress)
    : impl_(std::make_unique<Impl>(std::move(world), std::move(progress))) {}

Interpreter::~Interpreter() = default;

void Interpreter::Play(std::vector<Line> lines) {
  impl_->Play(std::move(lines));
}

}  // namespace ger::scenario
