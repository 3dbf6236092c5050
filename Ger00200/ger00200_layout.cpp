// Where every control of the company screen sits, with its caption, binding and entry limits.
// Labels stand above their boxes; rows are 44 pixels apart, so nothing overlaps on a page of
// 790 by 500 pixels. Inside a group box the rows start below the group's caption.
#include <initializer_list>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"

namespace ger {

using record::Empresa;
using record::EmprRepres;
using record::QualifAssina;
using record::Representante;
namespace {

constexpr int kRow = 44;       // height of a label-and-box row
constexpr int kBox = 21;       // height of a box
constexpr int kLabelGap = 16;  // from a label's top to its box's top
constexpr int kCaption = 14;   // a group box's caption above its first row
constexpr int kCheck = 20;     // height of a check box

int RowTop(int row) {
  return 8 + row * kRow;
}

int RowTop(const TControl& parent, int row) {
  return RowTop(row) + (dynamic_cast<const TGroupBox*>(&parent) ? kCaption : 0);
}

// Controls are placed in reading order, so the order of placing is the tab order.
void Place(TControl& c, TControl& parent, int left, int top, int width, int height) {
  c.SetParent(&parent);
  c.SetTabOrder(static_cast<int>(parent.Controls().size()) - 1);
  c.SetBounds(left, top, width, height);
}

// A label above a box bound to a field of the company record.
void Field(TLabel* label, const char* caption, TDBEdit& box, TControl& parent, TDataSource& source,
           const std::string& field, int left, int row, int width, bool mandatory = false) {
  const int top = RowTop(parent, row);
  if (label) {
    label->SetCaption(caption);
    label->FocusControl = &box;
    Place(*label, parent, left, top, width, 13);
  }
  box.SetDataSource(source);
  box.SetDataField(field);
  box.SetColor(mandatory ? TColor::clInfoBk : TColor::clWindow);
  Place(box, parent, left, top + kLabelGap, width, kBox);
}

// A disabled box showing the name that goes with a code.
void NameBox(TDBEdit& box, TControl& parent, TDataSource& source, const std::string& field,
             int left, int row, int width) {
  box.SetDataSource(source);
  box.SetDataField(field);
  box.SetEnabled(false);
  box.SetTabStop(false);
  box.SetColor(TColor::clBtnFace);
  Place(box, parent, left, RowTop(parent, row) + kLabelGap, width, kBox);
}

void Search(TBtnPesquisa& button, TControl& parent, TDBEdit& associate, const char* title,
            TDataSource& source, const char* emptyError, int left, int row) {
  button.Associate = &associate;
  button.Title = title;
  button.DataSource = &source;
  button.EmptyError = emptyError;
  Place(button, parent, left, RowTop(parent, row) + kLabelGap - 1, 23, 23);
}

void Combo(TLabel& label, const char* caption, TDBComboBox& box, TControl& parent,
           TDataSource& source, const std::string& field, std::vector<std::string> items, int left,
           int row, int width) {
  label.SetCaption(caption);
  label.FocusControl = &box;
  Place(label, parent, left, RowTop(parent, row), width, 13);
  box.SetStyle(TComboBoxStyle::csDropDownList);
  box.SetItems(std::move(items));
  box.SetDataSource(source);
  box.SetDataField(field);
  box.SetColor(TColor::clWindow);
  Place(box, parent, left, RowTop(parent, row) + kLabelGap, width, kBox);
}

void Check(TDBCheckBox& box, const char* caption, TControl& parent, TDataSource& source,
           const std::string& field, const char* checked, const char* unchecked, int left, int row,
           int width) {
  box.SetCaption(caption);
  box.SetDataSource(source);
  box.SetDataField(field);
  box.ValueChecked = checked;
  box.ValueUnchecked = unchecked;
  Place(box, parent, left, RowTop(parent, row) + kLabelGap - 2, width, kCheck);
}

// "De" (the company's short name, read-only) and "Mensagem" (the e-mail text) of one document.
void Email(TLabel& lblDe, TDBEdit& de, TLabel& lblMens, TDBMemo& memo, TControl& parent,
           TDataSource& source, const std::string& field, int top, int height) {
  lblDe.SetCaption("De");
  Place(lblDe, parent, 8, top, 60, 13);
  de.SetDataSource(source);
  de.SetDataField(Empresa::NMEMPRESA);
  de.SetReadOnly(true);
  de.SetTabStop(false);
  de.SetColor(TColor::clBtnFace);
  Place(de, parent, 8, top + kLabelGap, 300, kBox);
  lblMens.SetCaption("Mensagem");
  lblMens.FocusControl = &memo;
  Place(lblMens, parent, 8, top + 44, 100, 13);
  memo.SetDataSource(source);
  memo.SetDataField(field);
  memo.SetMaxLength(2000);
  memo.SetColor(TColor::clWindow);
  Place(memo, parent, 8, top + 60, 740, height);
}

}  // namespace

void TfrmEmpresa::Layout() {
  SetBounds(0, 0, 800, 600);
  // Tool bar: the host's ten buttons, then the screen's two, the navigator and the code label.
  panBotoes.SetBounds(0, 0, 800, 28);
  Place(sbtEditModelo, panBotoes, 252, 0, 25, 25);
  sbtEditModelo.SetHint("Editar Modelo");
  sbtEditModelo.Glyph = "accessories-text-editor";
  sbtEditModelo.SetEnabled(false);
  Place(sbtNotasExplicativas, panBotoes, 277, 0, 25, 25);
  sbtNotasExplicativas.SetHint("Notas Explicativas");
  sbtNotasExplicativas.Glyph = "x-office-document";
  navPadrao.SetBounds(310, 0, 200, 25);
  lblCodTela.SetBounds(700, 6, 90, 13);
  pgcPadrao.SetBounds(0, 30, 800, 540);
  lblFiltro.SetBounds(4, 8, 40, 13);
  edtFiltro.SetBounds(48, 4, 240, 21);
  lblContagem.SetBounds(300, 8, 300, 13);
  dbgPadrao.SetBounds(4, 30, 780, 474);
  LayoutFormulario();
  LayoutEndereco();
  LayoutDadosAdicionais();
  LayoutFinanceiro();
  LayoutInformacoesOficiais();
  LayoutLogotipo();
  LayoutRepresentantes();
  LayoutDocumentosEletronicos();
  LimitaTextos();
}

// The form page: the company's names, registrations and web addresses.
void TfrmEmpresa::LayoutFormulario() {
  TDataSource& d = dtsPadrao;
  TTabSheet& f = tshFormulario;
  Field(&lblCdEmpresa, "Código", dbeCdEmpresa, f, d, Empresa::CDEMPRESA, 8, 0, 40, true);
  Field(&lblNmEmpresa, "Nome", dbeNmEmpresa, f, d, Empresa::NMEMPRESA, 56, 0, 300, true);
  Field(&lblRazaoSoc, "Razão Social", dbeRazaoSoc, f, d, Empresa::NMRAZSOCEMPR, 8, 1, 560, true);
  Field(&lblCompRazSoc, "Complemento", dbeCompRazSoc, f, d, Empresa::NMCOMPRZSEMP, 8, 2, 740);
  Place(pnlTipo, f, 8, RowTop(3), 200, 40);
  pnlTipo.BevelOuter = TBevelCut::bvNone;
  pnlTipo.SetVisible(false);
  lblTipo.SetCaption("Tipo");
  lblTipo.FocusControl = &cboTipo;
  Place(lblTipo, pnlTipo, 0, 0, 150, 13);
  cboTipo.SetStyle(TComboBoxStyle::csDropDownList);
  cboTipo.SetItems({"CNPJ", "Inscrição Jurídica"});
  cboTipo.SetColor(TColor::clWindow);
  Place(cboTipo, pnlTipo, 0, kLabelGap, 150, kBox);
  Place(pnlInscricao, f, 216, RowTop(3), 540, 40);
  pnlInscricao.BevelOuter = TBevelCut::bvNone;
  Field(&lblInsc, "Inscrição", dbeCGCEmpresa, pnlInscricao, d, Empresa::NRINSJUREMPR, 0, 0, 200,
        true);
  lblInsc.SetBounds(0, 0, 200, 13);
  dbeCGCEmpresa.SetBounds(0, kLabelGap, 200, kBox);
  dbeCGCEmpresa.SetMaxLength(20);
  // Nothing may be pasted into the registration through a context menu: its menu is empty.
  dbeCGCEmpresa.PopupMenu = &pmnNColar;
  Field(&lblInscEsta, "Inscrição Estadual", dbeInscEstaEmpr, pnlInscricao, d, Empresa::NRINSCESTA,
        216, 0, 160);
  lblInscEsta.SetBounds(216, 0, 160, 13);
  dbeInscEstaEmpr.SetBounds(216, kLabelGap, 160, kBox);
  Field(&lblEmail, "Email", dbeEmail, f, d, Empresa::DSEMAILEMPRESA, 8, 4, 400);
  Field(&lblEndeWeb, "Endereço Web", dbeEndeWeb, f, d, Empresa::DSENDWEBEMPR, 416, 4, 340);
  Field(&lblCdExterno, "Código Externo", dbeCDEXTERNO, f, d, Empresa::CDEXTERNO, 8, 5, 160);
}

// The address page.
void TfrmEmpresa::LayoutEndereco() {
  TDataSource& d = dtsPadrao;
  TTabSheet& e = tshEndereco;
  Field(&lblPais, "País", dbeCdPais, e, d, Empresa::CDPAIS, 8, 0, 50, true);
  Search(btnPais, e, dbeCdPais, "País", dtsPais, "Não há país cadastrado.", 62, 0);
  NameBox(dbeNmPais, e, d, Empresa::NMPAIS, 90, 0, 300);
  Field(&lblEstado, "Estado", dbeSgEstado, e, d, Empresa::SGESTADO, 8, 1, 50, true);
  Search(btnEstado, e, dbeSgEstado, "Estado", dtsEstado,
         "Não há estado cadastrado para o país informado.", 62, 1);
  NameBox(dbeNmEstado, e, d, Empresa::NMESTADO, 90, 1, 300);
  Field(&lblMunicipio, "Município", dbeCdMunicipio, e, d, Empresa::CDMUNICIPIO, 8, 2, 50, true);
  Search(btnMunicipio, e, dbeCdMunicipio, "Município", dtsMunicipio,
         "Não há município cadastrado para o estado informado.", 62, 2);
  NameBox(dbeNmMunicipio, e, d, Empresa::NMMUNICIPIO, 90, 2, 300);
  Field(&lblBairro, "Bairro", dbeCdBairro, e, d, Empresa::CDBAIRRO, 8, 3, 90);
  Search(BtnPesquisa1, e, dbeCdBairro, "Bairro", dtsPesqBairro, "Não há bairro cadastrado.", 102,
         3);
  Field(nullptr, "", dbeNMBairro, e, d, Empresa::NMBAIRRO, 130, 3, 300);
  // The free-text name sits where the register's name would; only one of them is shown.
  Field(nullptr, "", dbeNmBairEmpr, e, d, Empresa::NMBAIREMPR, 440, 3, 300);
  Field(&lblEndereco, "Endereço", dbeDSENDEEMPR, e, d, Empresa::DSENDEEMPR, 8, 4, 400);
  Field(&lblCompEnd, "Complemento", dbeDSCOMPENDEMP, e, d, Empresa::DSCOMPENDEMP, 8, 5, 600);
  Field(&lblCep, "CEP", dbeCdCep, e, d, Empresa::NRCEPEMPR, 8, 6, 120);
}

// The additional data page.
void TfrmEmpresa::LayoutDadosAdicionais() {
  TDataSource& d = dtsPadrao;
  TTabSheet& a = tshDadAdic;
  Field(&lblDsJuntCome, "Reg. Junta Com.", dbeDsJuntCome, a, d, Empresa::NRREGJUNCOM, 8, 0, 160);
  Field(&lblDataReg, "Dt. Registro", dbdDataReg, a, d, Empresa::DTREGJUNCOM, 176, 0, 100);
  Field(&lblNmTitular, "Titular", dbeNmTitular, a, d, Empresa::NMTITUEMPR, 8, 1, 300);
  Field(&lblCentCust, "Centro de Custo", dbeCodCentrCust, a, d, Empresa::CDCENTCUST, 8, 2, 50);
  Search(sbtProcuraCentCust, a, dbeCodCentrCust, "Centro de Custo", dtsCentCusto,
         "Não há centro de custo cadastrado.", 62, 2);
  NameBox(dbeNMCentCust, a, d, Empresa::NMCENTCUST, 90, 2, 300);
  Field(&lblContador, "Contador", dbeCDCONTADOR2, a, d, Empresa::CDCONTADOR2, 8, 3, 50, true);
  Search(btpContador, a, dbeCDCONTADOR2, "Contador", dtsContador, "Não há contador cadastrado.", 62,
         3);
  NameBox(dbeNMCONTADOR, a, d, Empresa::NMCONTADOR, 90, 3, 300);
  Field(&lblNrProprietarios, "Nr. Proprietários", dbeNRPROPRIEMPR, a, d, Empresa::NRPROPRIEMPR, 8,
        4, 100, true);
  dbeNRPROPRIEMPR.SetMaxLength(2);
  Combo(lblMeDataBase, "Mês Data-Base", dcbMeDataBase, a, d, Empresa::MEDATABASE,
        {"Janeiro", "Fevereiro", "Março", "Abril", "Maio", "Junho", "Julho", "Agosto", "Setembro",
         "Outubro", "Novembro", "Dezembro"},
        116, 4, 140);
  dcbMeDataBase.SetColor(TColor::clInfoBk);
  Field(&lblVrTxInfra, "Taxa Infraero %", dbeVrTxInfra, a, d, Empresa::VRPETXADMPOR, 264, 4, 100);
  dbeVrTxInfra.SetMaxLength(10);
  Field(&lblPreGS1, "Prefixo GS1", dbePreGS1, a, d, Empresa::CDPREFIXOGS1, 8, 5, 140);
}

// The financial page: receivables, receipt models and settlement.
void TfrmEmpresa::LayoutFinanceiro() {
  TDataSource& d = dtsPadrao;
  TTabSheet& n = tshFinanceiro;
  grbBoletos.SetCaption(" Geração de Boletos a Receber ");
  Place(grbBoletos, n, 8, 8, 740, 80);
  Field(&lblPerMulta, "Multa (%)", DBEPerMulta, grbBoletos, d, Empresa::VRPEMULEMPR, 8, 0, 100);
  Field(&lblPerMora, "Mora Diária (%)", DBEPerMora, grbBoletos, d, Empresa::VRPEMOREMPR, 124, 0,
        100);
  grbModeloRecibo.SetCaption("Modelo de Recibo");
  Place(grbModeloRecibo, n, 8, 96, 740, 118);
  Field(&lblModelo, "Contas a Pagar", dbeModelo, grbModeloRecibo, d, Empresa::DSARQRECIBO, 8, 0,
        600);
  Place(btpPesqModelo, grbModeloRecibo, 612, RowTop(grbModeloRecibo, 0) + kLabelGap - 1, 23, 23);
  btpPesqModelo.Glyph = "document-open";
  btpPesqModelo.SetHint("Escolher o modelo");
  Field(&lblReciRec, "Contas a Receber", dbeReciRec, grbModeloRecibo, d, Empresa::DSARQRECIREC, 8,
        1, 600);
  Place(btnPesqReciRec, grbModeloRecibo, 612, RowTop(grbModeloRecibo, 1) + kLabelGap - 1, 23, 23);
  btnPesqReciRec.Glyph = "document-open";
  btnPesqReciRec.SetHint("Escolher o modelo");
  grbBaixa.SetCaption("Baixa ");
  Place(grbBaixa, n, 8, 222, 740, 80);
  Combo(lblIdCtbBaixa, "Gera Contabilização na Baixa", dbcIdCtbBaixa, grbBaixa, d,
        Empresa::IDCTBBAIXAEMPR, {"Sim", "Não", ""}, 8, 0, 200);
  opdArqMod.Filter = "Arquivos de Relatório (*.qr2)|*.qr2";
}

// The official information page, in two columns.
void TfrmEmpresa::LayoutInformacoesOficiais() {
  TDataSource& d = dtsPadrao;
  TTabSheet& o = tshInformacoesOficiais;
  Field(&lblCNAE, "CNAE Fiscal", dbeCDCNAE, o, d, Empresa::CDCNAE, 8, 0, 80, true);
  Search(sbtCNAE, o, dbeCDCNAE, "CNAE Fiscal", dtsCNAE, "Não há código CNAE cadastrado.", 92, 0);
  NameBox(dbeDsCnae, o, d, Empresa::DSCNAE, 120, 0, 260);
  Field(&lblFPAS, "FPAS", dbeCDFPAS, o, d, Empresa::CDFPAS, 8, 1, 80, true);
  Search(sbtFPAS, o, dbeCDFPAS, "FPAS", dtsFPAS, "Não há código FPAS cadastrado.", 92, 1);
  NameBox(dbeDsFPAS, o, d, Empresa::DSFPAS, 120, 1, 260);
  Field(&lblNatureza, "Nat. Jurídica", dbeCdNatureza, o, d, Empresa::CDNATUJURI, 8, 2, 80, true);
  Search(btpNatureza, o, dbeCdNatureza, "Natureza Jurídica", dtsNatureza,
         "Não há natureza jurídica cadastrada.", 92, 2);
  NameBox(dbeDsNatureza, o, d, Empresa::DSNATUJURI, 120, 2, 260);
  Field(&lblNRCAGED, "Nº CAGED", dbeNRCAGED, o, d, Empresa::NRCAGED, 8, 3, 100);
  dbeNRCAGED.SetMaxLength(7);
  Field(&lblCdEmprCaixa, "Código Empresa CAIXA", dbeCdEmprCaixa, o, d, Empresa::CDEMPRCAIXA, 124, 3,
        140, true);
  Field(&lblNrRNTRC, "Nº RNTRC", dbeNrRNTRC, o, d, Empresa::NRRNTRC, 280, 3, 100);
  drgTipoEmpresa.SetCaption("Tipo da Empresa");
  drgTipoEmpresa.SetItems({"Micro-Empresa", "Pequeno Porte", "Outros"});
  drgTipoEmpresa.Values = {"1", "2", "3"};
  drgTipoEmpresa.SetDataSource(d);
  drgTipoEmpresa.SetDataField(Empresa::IDTIPOEMPR);
  Place(drgTipoEmpresa, o, 8, RowTop(4), 372, 48);
  drgTipoEmpresa.Columns = 3;
  Check(dckSIMPLES, "Optante pelo SIMPLES", o, d, Empresa::IDOPTSIMPLES, "S", "N", 8, 5, 180);
  Check(dckPAT, "Participa do PAT (Programa de Alimentação do Trabalhador)", o, d,
        Empresa::IDPARTICIPAT, "S", "N", 8, 6, 396);
  Check(dckIncentivadorCultural, "Incentivador Cultural", o, d, Empresa::IDINCENTCULTURA, "S", "N",
        8, 7, 180);
  Check(dckIncentivoFiscal, "Incentivo Fiscal", o, d, Empresa::IDINCENTFISCAL, "S", "N", 196, 7,
        180);
  Field(&lblCertLicFunc, "Número do Certificado de Licença de Funcionamento (CLF)", dbeCertLicFunc,
        o, d, Empresa::NRCLF, 8, 8, 372);
  Combo(lblRegimeApur, "Regime de Apuração Fiscal ", dcbRegimeApur, o, d, Empresa::CDREGIMEAPUR,
        {"1 - Normal", "2 - Simples", "3 - Estimativa Fiscal", "8 - Bares e Restaurantes",
         "9 - Normal com Estimativa Fiscal"},
        412, 0, 348);
  Combo(lblNaturezaOp, "Natureza da Operação", cbNaturezaOp, o, d, Empresa::IDNATUOPEREMPR,
        {"", "01- Tributação no Município", "02- Tributação fora do Município", "03- Isenção",
         "04- Imune", "05- Exigibilidade suspensa por decisão judicial",
         "06- Exigibilidade suspensa por proc. administrativo", "07 - Não Incidência",
         "08 - Exportação"},
        412, 1, 348);
  Combo(
      lblRegEspTrib, "Regime Especial de Tributação", cbRegEspTrib, o, d, Empresa::IDREGESPTRIBEMP,
      {"", "1- Macroempresa Municipal", "2- Estimativa", "3- Sociedade de Profissionais",
       "4- Cooperativa", "5- Microempresário Individual (MEI)",
       "6- Microempresário e Empresa de peq. porte (ME EPP)",
       "7- Propaganda e Publicidade/Intermediação",
       "8- Agenciamento de Turismo/Administração de Fundos", "9- Vendas/Transporte Intermunicipal",
       "10- Não Incidência", "11- Construção Civil", "12- Não disponível na DES 3.0"},
      412, 2, 348);
  Combo(lblRegimeST, "Regime ICMS ST", cbRegimeST, o, d, Empresa::IDREGIMEICMSST,
        {"", "1- Substituto Tributário", "2- Substituído Tributário"}, 412, 3, 348);
  Combo(lblFormaApur, "Forma de Apuração", cbFormaApur, o, d, Empresa::IDFORMAPUR,
        {"", "Lucro Presumido (Mensal)", "Lucro Presumido (Trimestral)",
         "Lucro Real por Estimativa (Mensal)", "Lucro Real (Trimestral)"},
        412, 4, 348);
  Check(dckFormApurImp, "Apura imposto por data de Pagamento", o, d, Empresa::IDFORMAPUREMPR, "P",
        "F", 412, 5, 348);
  dckFormApurImp.AllowGrayed = true;
  Combo(lblRegime, "Regime de Apuração", dbRegime, o, d, Empresa::IDCUMUPICOEMP,
        {"", "Cumulativo", "Não Cumulativo"}, 412, 6, 348);
}

// The logo page: the path on top, a sample report heading with the logo below.
void TfrmEmpresa::LayoutLogotipo() {
  TDataSource& d = dtsPadrao;
  TTabSheet& l = tshEndeEmp;
  grbLogo.SetCaption(" Exemplo de Relatório com o Logotipo ");
  Place(grbLogo, l, 8, 8, 740, 300);
  lblArqLogoEmpr.SetCaption("Arquivo");
  Field(&lblArqLogoEmpr, "Arquivo", dbeArqLogoEmpr, grbLogo, d, Empresa::DSARQLOGOEMP, 8, 0, 600);
  Place(sbtAbrir, grbLogo, 612, RowTop(grbLogo, 0) + kLabelGap - 1, 23, 23);
  sbtAbrir.SetHint("Abrir");
  sbtAbrir.Glyph = "document-open";
  pnlRelatorio.SetColor(TColor::clWhite);
  Place(pnlRelatorio, grbLogo, 8, 72, 720, 200);
  Place(imgLayout, pnlRelatorio, 8, 8, 173, 48);
  imgLayout.Stretch = true;
  lblTituloRel.SetCaption("Empresa");
  Place(lblTituloRel, pnlRelatorio, 300, 24, 120, 16);
  Place(pnlCabecalho, pnlRelatorio, 8, 64, 700, 20);
  lblCabCodigo.SetCaption("Código");
  Place(lblCabCodigo, pnlCabecalho, 4, 3, 60, 13);
  lblCabNome.SetCaption("Nome da Empresa");
  Place(lblCabNome, pnlCabecalho, 80, 3, 300, 13);
  lblLinCodigo.SetCaption("99");
  Place(lblLinCodigo, pnlRelatorio, 12, 92, 60, 13);
  lblLinNome.SetCaption("Zembrat Software");
  Place(lblLinNome, pnlRelatorio, 88, 92, 300, 13);
  opdArqImagem.Filter =
      "BMP (*.bmp)|*.bmp|JPG (*.jpg)|*.jpg|Todos os arquivos (*.bmp;*.jpg)|*.bmp;*.jpg";
}

// The representatives page.
void TfrmEmpresa::LayoutRepresentantes() {
  Place(dbgRepresentante, tshRepresentante, 4, 4, 780, 500);
  dbgRepresentante.SetColor(TColor::clInfoBk);
  dbgRepresentante.SetDataSource(dtsRepresentante);
  dbgRepresentante.Options.Editing = true;
  dbgRepresentante.Options.Tabs = true;
  dbgRepresentante.Options.ConfirmDelete = true;
  dbgRepresentante.Options.CancelOnExit = true;
  dbgRepresentante.AddColumn(EmprRepres::CDREPRES);
  dbgRepresentante.AddColumn(Representante::NMREPRES, {}, 208).ReadOnly = true;
  dbgRepresentante.AddColumn(Representante::NRCPFREPRES, {}, 87).ReadOnly = true;
  dbgRepresentante.AddColumn(QualifAssina::NMQUALIFASSINA, {}, 190).ReadOnly = true;
  dbgRepresentante.AddColumn(EmprRepres::IDATIVO, {}, 46).PickList = {msgPadrao.Msg("S"),
                                                                      msgPadrao.Msg("N")};
}

// The electronic fiscal documents page: the e-mails of each document.
void TfrmEmpresa::LayoutDocumentosEletronicos() {
  TDataSource& d = dtsPadrao;
  Place(pgcParamDFe, tshParametrizaoDFe, 4, 4, 780, 500);
  grbCancelamento.SetCaption("Cancelamento");
  Place(grbCancelamento, tshEmailNFe, 4, 4, 764, 230);
  Email(lblDeCanc, dbeDeCanc, lblMensCanc, memDescEmailCanc, grbCancelamento, d,
        Empresa::DSMENSEMAILCANC, 8 + kCaption, 140);
  grbTransmissao.SetCaption("Transmissão");
  Place(grbTransmissao, tshEmailNFe, 4, 240, 764, 230);
  Email(lblDeTrans, dbeDeTrans, lblMensTrans, memDescEmailTrans, grbTransmissao, d,
        Empresa::DSMENSEMAILNFE, 8 + kCaption, 140);
  Email(lblDeCCe, dbeDeCCe, lblMensCCe, dbMemoMens, tshEmailCCe, d, Empresa::DSMENSEMAILCCE, 8,
        380);
  Email(lblDeCTe, dbeDeCTe, lblMensCTe, dbMemoMensCTe, tshEmailCTe, d, Empresa::DSMENSEMAILCTE, 8,
        380);
  Email(lblDeMDFe, dbeDeMDFe, lblMensMDFe, dbMemoMensMDFe, tshEmailMDFe, d,
        Empresa::DSMENSEMAILMDFE, 8, 380);
}

// Maximum lengths follow the fields' sizes for the plain text boxes.
void TfrmEmpresa::LimitaTextos() {
  for (TDBEdit* box :
       {&dbeNmEmpresa,    &dbeRazaoSoc,     &dbeCompRazSoc, &dbeInscEstaEmpr, &dbeEmail,
        &dbeEndeWeb,      &dbeCDEXTERNO,    &dbeCdBairro,   &dbeNMBairro,     &dbeNmBairEmpr,
        &dbeDSENDEEMPR,   &dbeDSCOMPENDEMP, &dbeCdCep,      &dbeDsJuntCome,   &dbeNmTitular,
        &dbeCodCentrCust, &dbeCDCONTADOR2,  &dbePreGS1,     &dbeModelo,       &dbeReciRec,
        &dbeCDFPAS,       &dbeCdEmprCaixa,  &dbeNrRNTRC,    &dbeCertLicFunc,  &dbeArqLogoEmpr})
    box->SetMaxLength(cdsEmpresa.FieldByName(box->DataField()).Size());
}

}  // namespace ger
