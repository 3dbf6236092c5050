// Receipt templates and the company logo: choosing the files, opening a template in the report
// designer, the logo preview and the logo's bytes in the record.
#include <filesystem>
#include <string>
#include <system_error>

#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_guarda.h"
#include "contract/tables.h"
#include "core/scoped_flag.h"
#include "core/utf8.h"
#include "routines/routines.h"

namespace ger {

using record::Empresa;

namespace {

// The company list carries every company's logo: a larger one would make each load of the list
// slow for every user, so it is refused rather than stored.
constexpr std::uintmax_t kMaxLogo = 5u * 1024 * 1024;

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// A path longer than its column would be stored cut, naming another file.
void CheckPathFits(const std::string& path, const TField& field) {
  if (static_cast<int>(utf8::Length(path)) > field.Size())
    throw Exception("O caminho do arquivo tem mais de " + std::to_string(field.Size()) +
                    " caracteres: '" + path + "'.");
}

}  // namespace

void TfrmEmpresa::LigaModelos() {
  const auto click = [this](void (TfrmEmpresa::*handler)(TComponent&)) {
    return [this, handler](TComponent& s) { (this->*handler)(s); };
  };
  btpPesqModelo.OnClick = click(&TfrmEmpresa::btpPesqModeloClick);
  btnPesqReciRec.OnClick = click(&TfrmEmpresa::btnPesqReciRecClick);
  sbtEditModelo.OnClick = click(&TfrmEmpresa::sbtEditModeloClick);
  mnuEdit.OnClick = click(&TfrmEmpresa::mnuEditClick);
  mnuModelo.OnClick = click(&TfrmEmpresa::mnuModeloClick);
  mnuModeloREC.OnClick = click(&TfrmEmpresa::mnuModeloRECClick);
  sbtAbrir.OnClick = click(&TfrmEmpresa::sbtAbrirClick);
  dbeArqLogoEmpr.OnChange = click(&TfrmEmpresa::dbeArqLogoEmprChange);
  dbeArqLogoEmpr.OnExit = click(&TfrmEmpresa::dbeArqLogoEmprExit);
}

// --- Receipt templates ------------------------------------------------------------------------

void TfrmEmpresa::EscolheModelo(TDBEdit& box) {
  box.SetFocus();
  if (dtsPadrao.State() == DataSetState::Browse) cdsEmpresa.Edit();
  if (!opdArqMod.Execute()) return;
  CheckPathFits(opdArqMod.FileName, *box.Field());
  // The column takes it when the box commits.
  box.SetText(opdArqMod.FileName);
}

void TfrmEmpresa::btpPesqModeloClick(TComponent&) {
  EscolheModelo(dbeModelo);
}

void TfrmEmpresa::btnPesqReciRecClick(TComponent&) {
  EscolheModelo(dbeReciRec);
}

void TfrmEmpresa::sbtEditModeloClick(TComponent&) {
  if (Geral::ModuloAtiv() == "/") {
    mnuEdit.SetEnabled(false);
    return;
  }
  // Under the button: its left edge and its bottom, from the tool bar's to the screen's
  // coordinates.
  int x = sbtEditModelo.Left();
  int y = sbtEditModelo.Top() + sbtEditModelo.Height();
  for (const TControl* c = sbtEditModelo.Parent(); c; c = c->Parent()) {
    x += c->Left();
    y += c->Top();
  }
  pmnEdtModelo.Popup(x, y);
}

void TfrmEmpresa::mnuEditClick(TComponent&) {
  sbtEditModelo.Click();
}

void TfrmEmpresa::VD_MPag() {
  empresa::Guarded(
      [&] {
        if (cdsEmpresa.FieldByName(Empresa::DSARQRECIBO).IsNull())
          Consiste::MensErro(msgPadrao.Msg("MPag_deve"), true);
      },
      [&] { VoltaAoCampo(tshFinanceiro, dbeModelo); });
}

void TfrmEmpresa::VD_MRec() {
  empresa::Guarded(
      [&] {
        if (cdsEmpresa.FieldByName(Empresa::DSARQRECIREC).IsNull())
          Consiste::MensErro(msgPadrao.Msg("MRec_deve"), true);
      },
      [&] { VoltaAoCampo(tshFinanceiro, dbeReciRec); });
}

void TfrmEmpresa::mnuModeloClick(TComponent&) {
  VD_MPag();
  EditaModelo(cdsEmpresa.FieldByName(Empresa::DSARQRECIBO).AsString());
}

void TfrmEmpresa::mnuModeloRECClick(TComponent&) {
  VD_MRec();
  EditaModelo(cdsEmpresa.FieldByName(Empresa::DSARQRECIREC).AsString());
}

void TfrmEmpresa::EditaModelo(const std::string& arquivo) {
  if (IsFile(arquivo)) {
    Application().Changed();
    // The designer works on the file itself; the company record is not touched.
    Application().Dialogs().EditReport(arquivo, DateTime::Now());
    return;
  }
  // The catalogue's text names neither the file nor the template folder.
  Application().Dialogs().MessageDlg(msgPadrao.Msg("Arq_Mod_Err"), TMsgDlgType::mtError, mbOK, 0);
}

// --- Logo ---------------------------------------------------------------------------------------

void TfrmEmpresa::CarregaLogo(const std::string& path) {
  cdsEmpresa.FieldByName(Empresa::DSARQLOGOEMPCLOB)
      .SetAsBytes(Bytes{LoadPictureFile(path, kMaxLogo)});
}

void TfrmEmpresa::sbtAbrirClick(TComponent&) {
  if (opdArqImagem.Execute()) {
    const std::string path = opdArqImagem.FileName;
    TField& pathField = cdsEmpresa.FieldByName(Empresa::DSARQLOGOEMP);
    // Checked before anything changes: a file that is no whole picture, or too big, leaves the
    // record as it was.
    CheckPathFits(path, pathField);
    Bytes bytes{LoadPictureFile(path, kMaxLogo)};
    dbeArqLogoEmpr.SetText("");
    if (!Editing()) cdsEmpresa.Edit();
    pathField.SetAsString(path);
    cdsEmpresa.FieldByName(Empresa::DSARQLOGOEMPCLOB).SetAsBytes(std::move(bytes));
  }
  Carrega_Imagem();
}

void TfrmEmpresa::dbeArqLogoEmprChange(TComponent&) {
  imgLayout.Clear();
}

void TfrmEmpresa::dbeArqLogoEmprExit(TComponent&) {
  Carrega_Imagem();
}

void TfrmEmpresa::Carrega_Imagem() {
  // Its failure path brings the logo page forward, whose page-change step loads the preview.
  if (carregandoImagem_) return;
  const std::string path = dbeArqLogoEmpr.Text();
  if (Consiste::EmptyString(path)) return;
  empresa::Guarded(
      [&] {
        // The preview always comes from the file, never from the stored bytes.
        if (IsFile(path))
          imgLayout.LoadFromFile(path);
        else if (!cdsEmpresa.FieldByName(Empresa::DSARQLOGOEMP).AsString().empty())
          Consiste::MensErro(msgPadrao.Msg("Arq_Not_Found"), true);
      },
      [&] {
        ScopedFlag loading(carregandoImagem_);
        VoltaAoCampo(tshEndeEmp, dbeArqLogoEmpr);
      });
}

}  // namespace ger
