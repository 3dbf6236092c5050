#pragma once
// The company maintenance screen (screen code "GER00200"): list, include, alter and delete the
// companies the system keeps books for. Built on the standard maintenance form: its list and
// form pages, tool buttons and enablement, plus the screen's own pages, controls, datasets and
// the edit cycle that sends each saved change to the application server.
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "contract/rdm_empresa.h"
#include "data/dataset.h"
#include "data/datasource.h"
#include "forms/frmpadrao.h"
#include "net/change_watch.h"
#include "net/netconnection.h"
#include "report/definition.h"
#include "routines/components.h"
#include "ui/dbctrls.h"

#ifndef GER_MODULE_EXPORT
#define GER_MODULE_EXPORT __attribute__((visibility("default")))
#endif

namespace ger {

class TfrmEmpresa : public TfrmPadrao {
 public:
  explicit TfrmEmpresa(TComponent* owner = nullptr);
  ~TfrmEmpresa() override;

  // Server connection, its typed methods, and datasets.
  TNetConnection netEmpresa;
  TRdmEmpresa rdm{netEmpresa};
  TClientDataSet cdsEmpresa{"cdsEmpresa"};
  TClientDataSet cdsVerifEmpresa{"cdsVerifEmpresa"};
  TClientDataSet cdsVEmp{"cdsVEmp"};
  TClientDataSet cdsVParGeral{"cdsVParGeral"};
  TClientDataSet cdsEspelho{"cdsEspelho"};
  TClientDataSet cdsVerifInsc{"cdsVerifInsc"};
  TClientDataSet cdsRepresentante{"cdsRepresentante"};
  TDataSource dtsRepresentante{"dtsRepresentante"};
  TClientDataSet cdsPesqRepres{"cdsPesqRepres"};
  TDataSource dtsPesqRepres{"dtsPesqRepres"};
  TClientDataSet cdsContador{"cdsContador"};
  TDataSource dtsContador{"dtsContador"};
  TClientDataSet cdsCNAE{"cdsCNAE"};
  TDataSource dtsCNAE{"dtsCNAE"};
  TClientDataSet cdsFPAS{"cdsFPAS"};
  TDataSource dtsFPAS{"dtsFPAS"};
  TClientDataSet cdsNatureza{"cdsNatureza"};
  TDataSource dtsNatureza{"dtsNatureza"};
  TClientDataSet cdsPesqBairro{"cdsPesqBairro"};
  TDataSource dtsPesqBairro{"dtsPesqBairro"};
  TADOIBQuery qryVeriFilial{this, "qryVeriFilial"};
  TADOIBQuery qryPais{this, "qryPais"};
  TDataSource dtsPais{"dtsPais"};
  TADOIBQuery qryEstado{this, "qryEstado"};
  TDataSource dtsEstado{"dtsEstado"};
  TADOIBQuery qryMunicipio{this, "qryMunicipio"};
  TDataSource dtsMunicipio{"dtsMunicipio"};
  TADOIBQuery qryCentCusto{this, "qryCentCusto"};
  TDataSource dtsCentCusto{"dtsCentCusto"};

  // Menu items of the screen.
  TMenuItem mnuEndereco{&mnuOperacao, "mnuEndereco", "&Endereço"};
  TMenuItem mnuDadAdic{&mnuOperacao, "mnuDadAdic", "&Dados Adicionais"};
  TMenuItem mnuFinanceiro{&mnuOperacao, "mnuFinanceiro", "Fina&nceiro"};
  TMenuItem mnuInformacoesOficiais{&mnuOperacao, "mnuInformacoesOficiais", "&Informações Oficiais"};
  TMenuItem mnuLogotipo{&mnuOperacao, "mnuLogotipo", "Logo&Tipo"};
  TMenuItem mnuHistorico{&mnuManutencao, "mnuHistorico", "&Histórico de alterações"};
  TMenuItem mnuSignatario{&mnuOperacao, "mnuSignatario", "&Signatários da Escrituração (SPED)"};
  TMenuItem mnuParametrizaoDFe{&mnuOperacao, "mnuParametrizaoDFe", "&Parametrização DF-e"};
  TMenuItem N1{&mnuManutencao, "N1", "-"};
  TMenuItem mnuEdit{&mnuManutencao, "mnuEdit", "Editar &Modelo"};
  TPopupMenu pmnEdtModelo{this, "pmnEdtModelo"};
  TMenuItem mnuModelo{&pmnEdtModelo, "mnuModelo", "Recibo de Contas a Pagar"};
  TMenuItem mnuModeloREC{&pmnEdtModelo, "mnuModeloREC", "Recibo de Contas a Receber"};
  TPopupMenu pmnNColar{this, "pmnNColar"};
  // The company list's context menu (its items and handlers are listed in PreparaLista).
  TPopupMenu pmnLista{this, "pmnLista"};
  TMenuItem mnuCopiar{&pmnLista, "mnuCopiar", "&Copiar"};
  TMenuItem mnuCopiarCNPJ{&pmnLista, "mnuCopiarCNPJ", "Copiar C&NPJ"};
  TMenuItem mnuExportarLista{&pmnLista, "mnuExportarLista", "&Exportar lista..."};
  TMenuItem mnuHistoricoLista{&pmnLista, "mnuHistoricoLista", "&Histórico de alterações"};

  // Tool-bar additions.
  TSpeedButton sbtEditModelo{this, "sbtEditModelo"};
  TSpeedButton sbtNotasExplicativas{this, "sbtNotasExplicativas"};

  // Pages after the host's list and form pages, in tab order.
  TTabSheet tshEndereco{&pgcPadrao, "tshEndereco", "Endereço"};
  TTabSheet tshDadAdic{&pgcPadrao, "tshDadAdic", "Dados Adicionais"};
  TTabSheet tshFinanceiro{&pgcPadrao, "tshFinanceiro", "Financeiro"};
  TTabSheet tshInformacoesOficiais{&pgcPadrao, "tshInformacoesOficiais", "Informações Oficiais"};
  TTabSheet tshEndeEmp{&pgcPadrao, "tshEndeEmp", "LogoTipo"};
  TTabSheet tshRepresentante{&pgcPadrao, "tshRepresentante", "Representante Jurídico"};
  TTabSheet tshParametrizaoDFe{&pgcPadrao, "tshParametrizaoDFe", "Parametrização DF-e"};

  // Form page: identification and registrations.
  TLabel lblCdEmpresa{this, "lblCdEmpresa"};
  TDBEdit dbeCdEmpresa{this, "dbeCdEmpresa"};
  TLabel lblNmEmpresa{this, "lblNmEmpresa"};
  TDBEdit dbeNmEmpresa{this, "dbeNmEmpresa"};
  TLabel lblRazaoSoc{this, "lblRazaoSoc"};
  TDBEdit dbeRazaoSoc{this, "dbeRazaoSoc"};
  TLabel lblCompRazSoc{this, "lblCompRazSoc"};
  TDBEdit dbeCompRazSoc{this, "dbeCompRazSoc"};
  TPanel pnlTipo{this, "pnlTipo"};
  TLabel lblTipo{this, "lblTipo"};
  TComboBox cboTipo{this, "cboTipo"};
  TPanel pnlInscricao{this, "pnlInscricao"};
  TLabel lblInsc{this, "lblInsc"};
  TDBEdit dbeCGCEmpresa{this, "dbeCGCEmpresa"};
  TLabel lblInscEsta{this, "lblInscEsta"};
  TDBEdit dbeInscEstaEmpr{this, "dbeInscEstaEmpr"};
  // The screen's status bar, under the pages: it tells of a stored state registration that its
  // state's rules refuse.
  TPanel pnlStatus{this, "pnlStatus"};
  TLabel lblEmail{this, "lblEmail"};
  TDBEdit dbeEmail{this, "dbeEmail"};
  TLabel lblEndeWeb{this, "lblEndeWeb"};
  TDBEdit dbeEndeWeb{this, "dbeEndeWeb"};
  TLabel lblCdExterno{this, "lblCdExterno"};
  TDBEdit dbeCDEXTERNO{this, "dbeCDEXTERNO"};

  // Address page.
  TLabel lblPais{this, "lblPais"};
  TDBEdit dbeCdPais{this, "dbeCdPais"};
  TBtnPesquisa btnPais{this, "btnPais"};
  TDBEdit dbeNmPais{this, "dbeNmPais"};
  TLabel lblEstado{this, "lblEstado"};
  TDBEdit dbeSgEstado{this, "dbeSgEstado"};
  TBtnPesquisa btnEstado{this, "btnEstado"};
  TDBEdit dbeNmEstado{this, "dbeNmEstado"};
  TLabel lblMunicipio{this, "lblMunicipio"};
  TDBEdit dbeCdMunicipio{this, "dbeCdMunicipio"};
  TBtnPesquisa btnMunicipio{this, "btnMunicipio"};
  TDBEdit dbeNmMunicipio{this, "dbeNmMunicipio"};
  TLabel lblBairro{this, "lblBairro"};
  TDBEdit dbeCdBairro{this, "dbeCdBairro"};
  TBtnPesquisa BtnPesquisa1{this, "BtnPesquisa1"};
  TDBEdit dbeNMBairro{this, "dbeNMBairro"};
  TDBEdit dbeNmBairEmpr{this, "dbeNmBairEmpr"};
  TLabel lblEndereco{this, "lblEndereco"};
  TDBEdit dbeDSENDEEMPR{this, "dbeDSENDEEMPR"};
  TLabel lblCompEnd{this, "lblCompEnd"};
  TDBEdit dbeDSCOMPENDEMP{this, "dbeDSCOMPENDEMP"};
  TLabel lblCep{this, "lblCep"};
  TDBEdit dbeCdCep{this, "dbeCdCep"};

  // Additional data page.
  TLabel lblDsJuntCome{this, "lblDsJuntCome"};
  TDBEdit dbeDsJuntCome{this, "dbeDsJuntCome"};
  TLabel lblDataReg{this, "lblDataReg"};
  TDBDateEdit dbdDataReg{this, "dbdDataReg"};
  TLabel lblNmTitular{this, "lblNmTitular"};
  TDBEdit dbeNmTitular{this, "dbeNmTitular"};
  TLabel lblCentCust{this, "lblCentCust"};
  TDBEdit dbeCodCentrCust{this, "dbeCodCentrCust"};
  TBtnPesquisa sbtProcuraCentCust{this, "sbtProcuraCentCust"};
  TDBEdit dbeNMCentCust{this, "dbeNMCentCust"};
  TLabel lblContador{this, "lblContador"};
  TDBEdit dbeCDCONTADOR2{this, "dbeCDCONTADOR2"};
  TBtnPesquisa btpContador{this, "btpContador"};
  TDBEdit dbeNMCONTADOR{this, "dbeNMCONTADOR"};
  TLabel lblNrProprietarios{this, "lblNrProprietarios"};
  TDBEdit dbeNRPROPRIEMPR{this, "dbeNRPROPRIEMPR"};
  TLabel lblMeDataBase{this, "lblMeDataBase"};
  TDBComboBox dcbMeDataBase{this, "dcbMeDataBase"};
  TLabel lblVrTxInfra{this, "lblVrTxInfra"};
  TDBEdit dbeVrTxInfra{this, "dbeVrTxInfra"};
  TLabel lblPreGS1{this, "lblPreGS1"};
  TDBEdit dbePreGS1{this, "dbePreGS1"};

  // Financial page.
  TGroupBox grbBoletos{this, "grbBoletos"};
  TLabel lblPerMulta{this, "lblPerMulta"};
  TDBEdit DBEPerMulta{this, "DBEPerMulta"};
  TLabel lblPerMora{this, "lblPerMora"};
  TDBEdit DBEPerMora{this, "DBEPerMora"};
  TGroupBox grbModeloRecibo{this, "grbModeloRecibo"};
  TLabel lblModelo{this, "lblModelo"};
  TDBEdit dbeModelo{this, "dbeModelo"};
  TSpeedButton btpPesqModelo{this, "btpPesqModelo"};
  TLabel lblReciRec{this, "lblReciRec"};
  TDBEdit dbeReciRec{this, "dbeReciRec"};
  TSpeedButton btnPesqReciRec{this, "btnPesqReciRec"};
  TGroupBox grbBaixa{this, "grbBaixa"};
  TLabel lblIdCtbBaixa{this, "lblIdCtbBaixa"};
  TDBComboBox dbcIdCtbBaixa{this, "dbcIdCtbBaixa"};

  // Official information page.
  TLabel lblCNAE{this, "lblCNAE"};
  TDBEdit dbeCDCNAE{this, "dbeCDCNAE"};
  TBtnPesquisa sbtCNAE{this, "sbtCNAE"};
  TDBEdit dbeDsCnae{this, "dbeDsCnae"};
  TLabel lblFPAS{this, "lblFPAS"};
  TDBEdit dbeCDFPAS{this, "dbeCDFPAS"};
  TBtnPesquisa sbtFPAS{this, "sbtFPAS"};
  TDBEdit dbeDsFPAS{this, "dbeDsFPAS"};
  TLabel lblNatureza{this, "lblNatureza"};
  TDBEdit dbeCdNatureza{this, "dbeCdNatureza"};
  TBtnPesquisa btpNatureza{this, "btpNatureza"};
  TDBEdit dbeDsNatureza{this, "dbeDsNatureza"};
  TDBRadioGroup drgTipoEmpresa{this, "drgTipoEmpresa"};
  TDBCheckBox dckSIMPLES{this, "dckSIMPLES"};
  TLabel lblNRCAGED{this, "lblNRCAGED"};
  TDBEdit dbeNRCAGED{this, "dbeNRCAGED"};
  TLabel lblCdEmprCaixa{this, "lblCdEmprCaixa"};
  TDBEdit dbeCdEmprCaixa{this, "dbeCdEmprCaixa"};
  TLabel lblNrRNTRC{this, "lblNrRNTRC"};
  TDBEdit dbeNrRNTRC{this, "dbeNrRNTRC"};
  TLabel lblRegimeApur{this, "lblRegimeApur"};
  TDBComboBox dcbRegimeApur{this, "dcbRegimeApur"};
  TLabel lblNaturezaOp{this, "lblNaturezaOp"};
  TDBComboBox cbNaturezaOp{this, "cbNaturezaOp"};
  TLabel lblRegEspTrib{this, "lblRegEspTrib"};
  TDBComboBox cbRegEspTrib{this, "cbRegEspTrib"};
  TLabel lblRegimeST{this, "lblRegimeST"};
  TDBComboBox cbRegimeST{this, "cbRegimeST"};
  TLabel lblFormaApur{this, "lblFormaApur"};
  TDBComboBox cbFormaApur{this, "cbFormaApur"};
  TDBCheckBox dckFormApurImp{this, "dckFormApurImp"};
  TLabel lblRegime{this, "lblRegime"};
  TDBComboBox dbRegime{this, "dbRegime"};
  TDBCheckBox dckPAT{this, "dckPAT"};
  TDBCheckBox dckIncentivadorCultural{this, "dckIncentivadorCultural"};
  TDBCheckBox dckIncentivoFiscal{this, "dckIncentivoFiscal"};
  TLabel lblCertLicFunc{this, "lblCertLicFunc"};
  TDBEdit dbeCertLicFunc{this, "dbeCertLicFunc"};

  // Logo page.
  TGroupBox grbLogo{this, "grbLogo"};
  TLabel lblArqLogoEmpr{this, "lblArqLogoEmpr"};
  TDBEdit dbeArqLogoEmpr{this, "dbeArqLogoEmpr"};
  TSpeedButton sbtAbrir{this, "sbtAbrir"};
  TPanel pnlRelatorio{this, "pnlRelatorio"};
  TImage imgLayout{this, "imgLayout"};
  TLabel lblTituloRel{this, "lblTituloRel"};
  TPanel pnlCabecalho{this, "pnlCabecalho"};
  TLabel lblCabCodigo{this, "lblCabCodigo"};
  TLabel lblCabNome{this, "lblCabNome"};
  TLabel lblLinCodigo{this, "lblLinCodigo"};
  TLabel lblLinNome{this, "lblLinNome"};
  TOpenDialog opdArqMod{this, "opdArqMod"};
  TOpenDialog opdArqImagem{this, "opdArqImagem"};

  // Representatives page.
  TDBGrid dbgRepresentante{this, "dbgRepresentante"};

  // Electronic fiscal documents page.
  TPageControl pgcParamDFe{this, "pgcParamDFe"};
  TTabSheet tshEmailNFe{&pgcParamDFe, "tshEmailNFe", "E-mail NF-e"};
  TTabSheet tshEmailCCe{&pgcParamDFe, "tshEmailCCe", "E-mail CC-e"};
  TTabSheet tshEmailCTe{&pgcParamDFe, "tshEmailCTe", "E-mail CT-e"};
  TTabSheet tshEmailMDFe{&pgcParamDFe, "tshEmailMDFe", "E-mail MDF-e"};
  TGroupBox grbCancelamento{this, "grbCancelamento"};
  TLabel lblDeCanc{this, "lblDeCanc"};
  TDBEdit dbeDeCanc{this, "dbeDeCanc"};
  TLabel lblMensCanc{this, "lblMensCanc"};
  TDBMemo memDescEmailCanc{this, "memDescEmailCanc"};
  TGroupBox grbTransmissao{this, "grbTransmissao"};
  TLabel lblDeTrans{this, "lblDeTrans"};
  TDBEdit dbeDeTrans{this, "dbeDeTrans"};
  TLabel lblMensTrans{this, "lblMensTrans"};
  TDBMemo memDescEmailTrans{this, "memDescEmailTrans"};
  TLabel lblDeCCe{this, "lblDeCCe"};
  TDBEdit dbeDeCCe{this, "dbeDeCCe"};
  TLabel lblMensCCe{this, "lblMensCCe"};
  TDBMemo dbMemoMens{this, "dbMemoMens"};
  TLabel lblDeCTe{this, "lblDeCTe"};
  TDBEdit dbeDeCTe{this, "dbeDeCTe"};
  TLabel lblMensCTe{this, "lblMensCTe"};
  TDBMemo dbMemoMensCTe{this, "dbMemoMensCTe"};
  TLabel lblDeMDFe{this, "lblDeMDFe"};
  TDBEdit dbeDeMDFe{this, "dbeDeMDFe"};
  TLabel lblMensMDFe{this, "lblMensMDFe"};
  TDBMemo dbMemoMensMDFe{this, "dbMemoMensMDFe"};

  // Lifecycle and pages.
  void FormCreate(TComponent& sender) override;
  void FormActivate(TComponent& sender);
  void FormClose(TComponent& sender, TCloseAction& action) override;
  void FormCloseQuery(TComponent& sender, bool& canClose);
  void netEmpresaBeforeConnect(TNetConnection& sender);
  void pgcPadraoChange(TComponent& sender) override;
  void pgcPadraoChanging(TComponent& sender, bool& allowChange) override;
  void mnuFolhaDadosClick(TComponent& sender) override;
  void mnuFormularioClick(TComponent& sender) override;
  void mnuEnderecoClick(TComponent& sender);
  void mnuDadAdicClick(TComponent& sender);
  void mnuFinanceiroClick(TComponent& sender);
  void mnuInformacoesOficiaisClick(TComponent& sender);
  void mnuLogotipoClick(TComponent& sender);
  void mnuSignatarioClick(TComponent& sender);
  void mnuParametrizaoDFeClick(TComponent& sender);
  void Habilita(TDataSource& source);
  void drgTipoEmpresaChange(TComponent& sender);
  void HabilitaDrgTipoEmpresa();
  void sbtNotasExplicativasClick(TComponent& sender);
  // The current company's change history, in a window of its own.
  void mnuHistoricoClick(TComponent& sender);
  void sbtImprimirClick(TComponent& sender) override;

  // Edit cycle.
  void sbtIncluirClick(TComponent& sender) override;
  void sbtAlterarClick(TComponent& sender) override;
  void sbtExcluirClick(TComponent& sender) override;
  void sbtConfirmarClick(TComponent& sender) override;
  // Puts the cursor back on the company with this code after the list is read again, or on the
  // same position when that company is gone.
  void VoltaAEmpresa(const std::string& key, int recNo);
  void sbtCancelarClick(TComponent& sender) override;
  void sbtVerificarClick(TComponent& sender) override;
  void sbtProcurarClick(TComponent& sender) override;
  void mnuProcurarProximoClick(TComponent& sender) override;
  void dtsPadraoStateChange(TDataSource& sender) override;
  void cdsEmpresaNewRecord(TDataSet& dataset);
  void cdsEmpresaAfterPost(TDataSet& dataset);
  void cdsEmpresaAfterDelete(TDataSet& dataset);
  void cdsEmpresaAfterCancel(TDataSet& dataset);
  void cdsEmpresaAfterScroll(TDataSet& dataset);

  // Coded fields: the display handler shows a stored code as the entry of its list, the entry
  // handler stores the code of the entry chosen (by its position in the list).
  void cdsEmpresaMEDATABASEGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaMEDATABASESetText(TField& sender, const std::string& text);
  void cdsEmpresaCDREGIMEAPURGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaCDREGIMEAPURSetText(TField& sender, const std::string& text);
  void cdsEmpresaIDNATUOPEREMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaIDNATUOPEREMPRSetText(TField& sender, const std::string& text);
  void cdsEmpresaIDREGESPTRIBEMPGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaIDREGESPTRIBEMPSetText(TField& sender, const std::string& text);
  void cdsEmpresaIDREGIMEICMSSTGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaIDREGIMEICMSSTSetText(TField& sender, const std::string& text);
  void cdsEmpresaIDFORMAPURGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaIDFORMAPURSetText(TField& sender, const std::string& text);
  void cdsEmpresaIDCUMUPICOEMPGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaIDCUMUPICOEMPSetText(TField& sender, const std::string& text);
  void cdsEmpresaIDCTBBAIXAEMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaIDCTBBAIXAEMPRSetText(TField& sender, const std::string& text);
  void cdsEmpresaIDFORMAPUREMPRSetText(TField& sender, const std::string& text);
  // The regime list's selection, stored at once; its commit asks whether the branches follow.
  void dbRegimeChange(TComponent& sender);

  // Optional texts hold "*" for "none": these fields show it as a blank.
  void cdsEmpresaNRINSCESTAGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaDSENDEEMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaNMBAIREMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaNRCEPEMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaNRREGJUNCOMGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaNMTITUEMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaDSARQRECIBOGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaDSARQRECIRECGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaDSCMPLOGEMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaNRTELEFOEMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaDTREGJUNCOMGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaVRPEMULEMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaVRPEMOREMPRGetText(TField& sender, std::string& text, bool displayText);
  void cdsEmpresaNRCAGEDGetText(TField& sender, std::string& text, bool displayText);

  // Key filters: a handler drops a character by making it 0.
  void Vd_virgula(TCustomEdit& box, char32_t& key);
  // Ends the key event with the silent abort for anything but a digit.
  void Vd_Numero(char32_t key);
  void dbeVrTxInfraKeyPress(TComponent& sender, char32_t& key);
  void DBEPerMultaKeyPress(TComponent& sender, char32_t& key);
  void DBEPerMoraKeyPress(TComponent& sender, char32_t& key);
  void dbeNRPROPRIEMPRKeyPress(TComponent& sender, char32_t& key);
  void dbeNRCAGEDKeyPress(TComponent& sender, char32_t& key);
  void dbePreGS1KeyPress(TComponent& sender, char32_t& key);
  void dbeSgEstadoFPGKeyPress(TComponent& sender, char32_t& key);
  void dbeCGCEmpresaKeyPress(TComponent& sender, char32_t& key);

  // Where the save-time checks of a confirmed company run, before the post.
  void ConfirmChecks();
  // The exit checks of a page's key boxes, run when the page is left (ger00200_validacao.cpp).
  void ExitChecksFormulario();
  void ExitChecksEndereco();
  void ExitChecksDadAdic();
  void ExitChecksInformacoesOficiais();
  // Loads the logo preview from the file named in the path box (nothing for an empty box). A
  // missing file, when the record names one, or a file that is not a whole picture, brings the
  // logo page forward with the focus in the path box and raises (the message already shown for
  // a missing file).
  void Carrega_Imagem();
  // Loads the picture file into DSARQLOGOEMPCLOB: a whole BMP or JPEG of at most 5 MB. Raises
  // Exception with a sentence for the user (unreadable, too big, not a picture or cut short)
  // and leaves the field as it was. (ger00200_modelos.cpp)
  void CarregaLogo(const std::string& path);

  // Receipt templates and the logo (ger00200_modelos.cpp).
  void btpPesqModeloClick(TComponent& sender);
  void btnPesqReciRecClick(TComponent& sender);
  void sbtEditModeloClick(TComponent& sender);
  void mnuEditClick(TComponent& sender);
  void mnuModeloClick(TComponent& sender);
  void mnuModeloRECClick(TComponent& sender);
  void sbtAbrirClick(TComponent& sender);
  void dbeArqLogoEmprChange(TComponent& sender);
  void dbeArqLogoEmprExit(TComponent& sender);
  // A receipt template must be named (a stored "*" passes) before the designer opens it.
  void VD_MPag();
  void VD_MRec();
  // Opens the template file in the report designer, or says that it is not there.
  void EditaModelo(const std::string& arquivo);

  // The list (ger00200_lista.cpp): "Copiar" puts the current company's code, name, legal name
  // and formatted registration on the clipboard, tab-separated for a spreadsheet; "Copiar CNPJ"
  // its formatted registration; "Exportar lista..." what the list shows now (filtered and in its
  // order) into a CSV file with the company report's columns.
  void mnuCopiarClick(TComponent& sender);
  void mnuCopiarCNPJClick(TComponent& sender);
  void mnuExportarListaClick(TComponent& sender);

  // Legal representatives (ger00200_repres.cpp).
  // The representatives of the current company, from the server.
  void CarregaRepresentantes();
  void cdsRepresentanteBeforeInsert(TDataSet& dataset);
  void cdsRepresentanteBeforeEdit(TDataSet& dataset);
  void cdsRepresentanteBeforePost(TDataSet& dataset);
  // Sends the list's pending change and reads the list back; also the after-delete handler.
  void cdsRepresentanteAfterPost(TDataSet& dataset);
  void dtsRepresentanteStateChange(TDataSource& sender);
  void dbgRepresentanteEditButtonClick(TComponent& sender);
  void dbgRepresentanteColEnter(TComponent& sender);
  void dbgRepresentanteKeyPress(TComponent& sender, char32_t& key);
  // Display of IDATIVO in cdsRepresentante and cdsEspelho: "Sim", "Não" or nothing.
  void cdsPesqRepresIDATIVOGetText(TField& sender, std::string& text, bool displayText);
  void cdsRepresentanteIDATIVOSetText(TField& sender, const std::string& text);

  // Field checks (ger00200_validacao.cpp). Each reads its box, writes the normalised value into
  // the record and looks the code up; a failure shows the catalogue's message, brings the box's
  // page forward, focuses the box and ends the exit, page change or confirm with the silent
  // abort. With the mandatory flag clear an empty box is accepted.
  void Vd_Empresa(bool mandatory);
  void Vd_NMEmpresa(bool mandatory);
  void Vd_RazaoSoc(bool mandatory);
  void Vd_Pais(bool mandatory);
  void Vd_Estado(bool mandatory);
  void Vd_Municipio(bool mandatory);
  void Vd_Contador(bool mandatory);
  void Vd_CNAE(bool mandatory);
  void Vd_FPAS(bool mandatory);
  void Vd_Natureza(bool mandatory);
  void Vd_Data(bool mandatory);
  // "MU" the fine, "MO" the daily interest; any other text does nothing.
  void Vd_MulMor(const std::string& which);
  void Vd_VrTaxaInfra();
  void Vd_NrProprietarios(bool mandatory);
  void Vd_NrCaged(bool mandatory);
  void Vd_EmprCaixa(bool mandatory);
  void Vd_MesDataBase(bool mandatory);

  // Exit handlers of the checked boxes.
  void dbeCdEmpresaExit(TComponent& sender);
  void dbeNmEmpresaExit(TComponent& sender);
  void dbeRazaoSocExit(TComponent& sender);
  void dbeCdPaisFPGExit(TComponent& sender);
  void dbeSgEstadoFPGExit(TComponent& sender);
  void dbeCdMunicipioFPGExit(TComponent& sender);
  void dbeCodCentrCustExit(TComponent& sender);
  void dbeCDCONTADOR2Exit(TComponent& sender);
  void dbeCDCNAEExit(TComponent& sender);
  void dbeCDFPASExit(TComponent& sender);
  void dbeCdNaturezaExit(TComponent& sender);
  void dbdDataRegExit(TComponent& sender);
  void DBEPerMultaExit(TComponent& sender);
  void DBEPerMoraExit(TComponent& sender);
  void dbeVrTxInfraExit(TComponent& sender);
  void dbeNRPROPRIEMPRExit(TComponent& sender);
  void dbeNRCAGEDExit(TComponent& sender);
  void dcbMeDataBaseExit(TComponent& sender);

  // Code lookups (ger00200_pesquisa.cpp): what each search lists, what it copies back (the code
  // before its name), and the change handlers that empty what hangs on a changed code.
  void btpPaisFPGBeforePesq(TComponent& sender, bool& proceed);
  void btpPaisFPGAfterPesq(TComponent& sender);
  void dbeCdPaisFPGChange(TComponent& sender);
  void btpEstadoFPGBeforePesq(TComponent& sender, bool& proceed);
  void btpEstadoFPGAfterPesq(TComponent& sender);
  void dbeSgEstadoFPGChange(TComponent& sender);
  void sbtMunicipiFPGBeforePesq(TComponent& sender, bool& proceed);
  void sbtMunicipiFPGAfterPesq(TComponent& sender);
  void dbeCdMunicipioFPGChange(TComponent& sender);
  void btpContadorBeforePesq(TComponent& sender, bool& proceed);
  void btpContadorAfterPesq(TComponent& sender);
  void dbeCDCONTADOR2Change(TComponent& sender);
  void sbtProcuraCentCustBeforePesq(TComponent& sender, bool& proceed);
  void sbtProcuraCentCustAfterPesq(TComponent& sender);
  void dbeCodCentrCustChange(TComponent& sender);
  void dbeCodCentrCustDblClick(TComponent& sender);
  void sbtCNAEBeforePesq(TComponent& sender, bool& proceed);
  void sbtCNAEAfterPesq(TComponent& sender);
  void dbeCDCNAEChange(TComponent& sender);
  void sbtFPASBeforePesq(TComponent& sender, bool& proceed);
  void sbtFPASAfterPesq(TComponent& sender);
  void dbeCDFPASChange(TComponent& sender);
  void btpNaturezaBeforePesq(TComponent& sender, bool& proceed);
  void btpNaturezaAfterPesq(TComponent& sender);
  void dbeCdNaturezaChange(TComponent& sender);

  // Legal registration (ger00200_inscricao.cpp): typed only while a company is included, under
  // the mask of its person type, refused when another company has it.
  void Vd_Inscricao(bool mandatory);
  void dbeCGCEmpresaEnter(TComponent& sender);
  void dbeCGCEmpresaChange(TComponent& sender);
  void dbeCGCEmpresaExit(TComponent& sender);
  void cboTipoChange(TComponent& sender);
  void cboTipoKeyPress(TComponent& sender, char32_t& key);
  void dbeInscEstaEmprKeyPress(TComponent& sender, char32_t& key);

  // State registration (ger00200_inscestadual.cpp): checked by the rules of the state when the
  // registration or the state changed in this edit; a stored one that fails only shows in the
  // status bar.
  void PreparaInscEstadual();
  void Vd_InscEstadual();
  void dbeInscEstaEmprExit(TComponent& sender);
  void MostraSituacaoInscEstadual();

  // Neighbourhood (ger00200_bairro.cpp): picked by code or search, or typed by name, which the
  // server then registers in the municipality.
  void Vd_Bairro(bool mandatory);
  // Asks the server to register the typed name when the four boxes are filled; true when it did.
  bool InsertBairro(TDBEdit& name, TDBEdit& country, TDBEdit& state, TDBEdit& municipality);
  // The code of the typed name in the municipality of the boxes; empty when there is none.
  std::string PreencheBairro(TDBEdit& name, TDBEdit& municipality);
  void dbeCdBairroExit(TComponent& sender);
  void dbeCdBairroKeyPress(TComponent& sender, char32_t& key);
  void dbeNMBairroExit(TComponent& sender);
  void dbeNMBairroKeyPress(TComponent& sender, char32_t& key);
  void BtnPesquisa1BeforePesq(TComponent& sender, bool& proceed);
  void BtnPesquisa1AfterPesq(TComponent& sender);

  // The live list (ger00200_ao_vivo.cpp): with the host's live_list setting a watcher on its own
  // thread hears of every change the server numbers past the list's, and posts the news here.
  // In browse the changed companies are read and merged, the cursor staying on its company; while
  // a company is altered the list stays as it is, and when that company changed or went
  // elsewhere its row is marked and the status bar says by whom and when; the rest is read when
  // the edit ends. The confirm's conflict message stays the final guard.
  void NovidadesDoServidor(std::int64_t number);
  // The company altered here that another seat changed or deleted meanwhile ("" for none), and
  // what the status bar says of it.
  const std::string& AlteradaFora() const { return alteradaFora_; }
  const std::string& AvisoOutroPosto() const { return avisoOutroPosto_; }
  bool Vigiando() const { return vigia_ != nullptr; }

  // Every post of the company (ger00200_gravacao.cpp): none codes, the address split into street,
  // number and complement, the neighbourhood, the logo file's bytes, the neighbourhood check.
  void cdsEmpresaBeforePost(TDataSet& dataset);

 private:
  bool Editing() const;
  bool OnRepresentantes() const;
  void ActivatePage(TTabSheet& page);
  // Empty list: page control and every command but Include off.
  void TravaListaVazia();
  // Page control, the four record buttons and their items by whether the list has rows.
  void HabilitaPorLista();
  void EnviaAlteracoes(bool afterDelete);
  // The company list from the server; without showError a failure raises EServerError unseen.
  // The first read brings every company, the later ones only those changed since the change
  // number the list holds (ger00200_alteracoes.cpp).
  void LoadEmpresas(bool showError = true);
  // Keeps each listed company's logo digest, and puts the logos this seat has read into the rows.
  void LeituraDaLista(DataPacket& list);
  // The current company's stored logo into its row (not a change of the record), from the seat's
  // cache or by its code from the server, when the list did not bring it.
  void GaranteLogo();
  // The next read of the list brings every company again.
  void ForgetChangeNumber() { numeroAlteracao_ = -1; }
  // What one read of the list brought (ger00200_alteracoes.cpp): the server's number, whether it
  // is the whole list, the codes deleted and the rows. `since` empty reads the whole list.
  struct ListaLida {
    std::int64_t number = -1;
    bool complete = false;
    std::vector<std::string> deleted;
    DataPacket list;
  };
  ListaLida LeLista(const std::string& since, bool showError);
  // The live list (ger00200_ao_vivo.cpp): starts and stops the watcher; marks the company being
  // altered when the changes since the list's number hold it; ends the mark when the edit ends.
  void IniciaVigia();
  void ParaVigia();
  void MarcaAlteradaFora();
  void FimDaEdicao();

  // Another user and this seat on one company (ger00200_outro_usuario.cpp).
  // The current company's delete as this seat holds it, for the server to hold it against.
  ChangeSet ExclusaoRetida() const;
  // After the server refused a change of the company `held` (its row as this seat held it): the
  // list is read again so that the screen shows what is stored now, the cursor stays on that
  // company (or, gone, on the row that took its place), and the user is told what the other user
  // did: the company deleted, or the server's sentence with the fields changed meanwhile.
  [[noreturn]] void RecusaDoServidor(const std::string& serverMessage,
                                     const std::vector<FieldDef>& fields, const Row& held,
                                     int recNo);
  // The names the user knows the company's changed fields by: the label of the box (or the
  // caption of the check box or group) with its page, each once.
  std::vector<std::string> CamposAlterados(const std::vector<FieldDef>& fields, const Row& held);
  std::string NomeDoCampo(const std::string& field);
  // What the list's filter and the finds read, and the list's context menu.
  void PreparaLista();
  // The current company's cells of the definition's columns, tab-separated.
  std::string TextoCopia(const report::Definition& definition);
  // The text last looked for among the representatives.
  std::string textoRepresentante_;
  // Where every control sits (ger00200_layout.cpp): the tool bar and the grid, then each page.
  void Layout();
  void LayoutFormulario();
  void LayoutEndereco();
  void LayoutDadosAdicionais();
  void LayoutFinanceiro();
  void LayoutInformacoesOficiais();
  void LayoutLogotipo();
  void LayoutRepresentantes();
  void LayoutDocumentosEletronicos();
  void LimitaTextos();
  // The lookup queries and server lists, the search buttons and the code boxes' handlers.
  void PreparaPesquisas();
  // The checked boxes' exit handlers.
  void PreparaValidacoes();
  // The registration box, the type selector and the state registration's key filter.
  void PreparaInscricao();
  // The neighbourhood boxes and search, and the before-post step.
  void PreparaBairro();
  // A check's failure path: the box's page to the front with the page-change handling, the
  // focus in the box; the caller lets the failure go on.
  void VoltaAoCampo(TTabSheet& page, TControl& box);
  // True when the text is empty; with the mandatory flag the catalogue's key is shown first.
  bool Vazio(const std::string& text, bool mandatory, const char* key);
  // Looks a code up in the shared database with the query's parameters: the not-found message
  // when no row comes back, else the row's name written into the record's field of that name.
  using Parametro = std::pair<const char*, std::string>;
  void ProcuraNaBase(TADOIBQuery& query, std::initializer_list<Parametro> params,
                     const char* notFoundKey, std::string_view nameField);
  // Loads a server list (accountant, CNAE, FPAS, legal nature) from the server's answer.
  void CarregaLista(TClientDataSet& list, const ServerAnswer& answer);
  // The check of a code kept in a server list (the list's code field first, its name second).
  using Lookup = ServerAnswer (TRdmEmpresa::*)(std::string_view code, std::string_view all);
  void Vd_Servidor(Lookup lookup, TClientDataSet& list, TDBEdit& box, TDBEdit& nameBox,
                   const char* notFoundKey, TTabSheet& page);
  // Binds the handlers of the coded fields, the placeholder texts and the key filters.
  void LigaCodigos();
  // The current company's code.
  std::string CodigoEmpresa() const;
  // The representatives' datasets, grid events and field handlers; unhooked before destruction.
  void LigaRepresentantes();
  void DesligaRepresentantes();
  // Posts a representative row left in edit (or drops it untouched) before its page is left.
  void FinalizaRepresentante();
  // Binds the handlers of the receipt templates and the logo.
  void LigaModelos();
  // A template's search: the file chosen goes into the box.
  void EscolheModelo(TDBEdit& box);
  bool carregandoImagem_ = false;
  // The change number the list holds (-1: not read yet); each listed company's logo digest; the
  // companies whose row holds its stored logo; the logos read, by digest.
  std::int64_t numeroAlteracao_ = -1;
  std::map<std::string, std::string> resumoLogo_;
  std::set<std::string> logoCarregado_;
  std::map<std::string, std::string> logoPorResumo_;
  // The live list: the highest number the watcher told of; the company marked and its notice;
  // the watcher; a token the posted news hold weakly, so that news outliving the screen do
  // nothing.
  std::int64_t numeroServidor_ = -1;
  std::string alteradaFora_;
  std::string avisoOutroPosto_;
  std::unique_ptr<ChangeWatcher> vigia_;
  std::shared_ptr<TfrmEmpresa*> vivo_ = std::make_shared<TfrmEmpresa*>(this);
};

extern "C" {
// The one instance of the company screen (owned by the application object).
GER_MODULE_EXPORT extern TfrmEmpresa* frmEmpresa;
// True while the company screen exists.
GER_MODULE_EXPORT extern bool boStCriado;
// Representative code of the current representative row as it was when its insert or edit began.
GER_MODULE_EXPORT extern std::string stCodAntigo;
// Cumulative-regime indicator before the user changed the regime selector.
GER_MODULE_EXPORT extern std::string stRegimeAnt;
// Exported and released at shut-down; nothing in the module reads it.
GER_MODULE_EXPORT extern std::string stTempCpf;
}

}  // namespace ger
