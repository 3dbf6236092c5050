// The edit commands of a text box (the clipboard keys and the context menu) go through the same
// model path as typing: the box's rules apply, a data-aware box marks its change to commit, and a
// box that may not change refuses them.
#include "ui_fixture.h"

namespace ger::testing {
namespace {

namespace G = ui::Gestures;

class TextCommandsTest : public UiTest {};

TEST_F(TextCommandsTest, APasteGoesToTheCaretAndIsCommittedOnLeaving) {
  BoxForm f;
  f.dbeNome.SetMaxLength(10);  // the field's size, as the screens set it
  f.cds.Edit();
  G::Clear(f.dbeNome);
  G::Type(f.dbeNome, "Alfa Bet");
  f.dbeNome.SetSelection(4, 0);
  G::EditText(f.dbeNome, G::TextEdit::Insert, " e");
  EXPECT_EQ(f.dbeNome.Text(), "Alfa e Bet");
  EXPECT_EQ(f.dbeNome.SelStart(), 6);
  // Over a selection, the selection is replaced; no line break enters a one-line box.
  f.dbeNome.SetSelection(0, 4);
  G::EditText(f.dbeNome, G::TextEdit::Insert, "Ga\r\nma");
  EXPECT_EQ(f.dbeNome.Text(), "Gama e Bet");
  // The box full: only what its room takes of a paste.
  f.dbeNome.SetSelection(10, 0);
  G::EditText(f.dbeNome, G::TextEdit::Insert, "a");
  EXPECT_EQ(f.dbeNome.Text(), "Gama e Bet");
  G::Focus(f.dbeCodigo);
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "Gama e Bet");
}

TEST_F(TextCommandsTest, APasteIntoANumericBoxKeepsOnlyWhatTheFieldTakes) {
  BoxForm f;
  f.cds.Edit();
  G::Clear(f.dbeValor);
  G::EditText(f.dbeValor, G::TextEdit::Insert, "R$ 12,5x");
  EXPECT_EQ(f.dbeValor.Text(), "12,5");
  G::Focus(f.dbeNome);
  EXPECT_DOUBLE_EQ(f.cds.FieldByName("VALOR").AsFloat(), 12.5);
}

TEST_F(TextCommandsTest, APasteIntoAMaskedBoxFillsTheMaskFromTheCaret) {
  BoxForm f;
  f.cds.FieldByName("CODIGO").SetEditMask("9-9;0;_");
  f.cds.Edit();
  G::Clear(f.dbeCodigo);
  EXPECT_EQ(f.dbeCodigo.Text(), "_-_");
  f.dbeCodigo.SetSelection(0, 0);
  G::EditText(f.dbeCodigo, G::TextEdit::Insert, "a1.2");  // what no position takes is left out
  EXPECT_EQ(f.dbeCodigo.Text(), "1-2");
  EXPECT_EQ(f.dbeCodigo.SelStart(), 3);
  G::Focus(f.dbeNome);
  EXPECT_EQ(f.cds.FieldByName("CODIGO").AsString(), "12");
}

TEST_F(TextCommandsTest, DeletingTheSelectionIsAChangeOfTheUser) {
  BoxForm f;
  f.cds.Edit();
  G::Focus(f.dbeNome);
  f.dbeNome.SetSelection(0, 1);
  G::EditText(f.dbeNome, G::TextEdit::DeleteSelection);
  EXPECT_EQ(f.dbeNome.Text(), "m");
  EXPECT_TRUE(f.dbeNome.DataLink().IsModified());
  // Nothing selected: nothing deleted (the context menu offers it only with a selection).
  G::EditText(f.dbeNome, G::TextEdit::DeleteSelection);
  EXPECT_EQ(f.dbeNome.Text(), "m");
  G::Focus(f.dbeCodigo);
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "m");
}

TEST_F(TextCommandsTest, UndoTakesBackTheLastChangeAndASecondUndoRedoesIt) {
  BoxForm f;
  f.cds.Edit();
  G::Focus(f.dbeNome);
  EXPECT_FALSE(f.dbeNome.CanUndo());  // the text the field put there is not the user's
  G::Type(f.dbeNome, "ze");
  G::Key(f.dbeNome, "a");
  EXPECT_EQ(f.dbeNome.Text(), "Umzea");
  // Characters typed one after the other are one step.
  G::EditText(f.dbeNome, G::TextEdit::Undo);
  EXPECT_EQ(f.dbeNome.Text(), "Um");
  G::EditText(f.dbeNome, G::TextEdit::Undo);
  EXPECT_EQ(f.dbeNome.Text(), "Umzea");
  G::Key(f.dbeNome, "backspace");
  G::EditText(f.dbeNome, G::TextEdit::Undo);
  EXPECT_EQ(f.dbeNome.Text(), "Umzea");
  G::Focus(f.dbeCodigo);
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "Umzea");
  // A program writing the field forgets the step: undo cannot bring back a text the record
  // no longer holds.
  f.cds.FieldByName("NOME").SetAsString("Outro");
  EXPECT_FALSE(f.dbeNome.CanUndo());
}

TEST_F(TextCommandsTest, ABrowsedRecordRefusesEveryCommand) {
  BoxForm f;
  G::Focus(f.dbeNome);
  f.dbeNome.SelectAll();
  G::EditText(f.dbeNome, G::TextEdit::Insert, "x");
  G::EditText(f.dbeNome, G::TextEdit::DeleteSelection);
  G::Paste(f.dbeNome, "y");
  G::Clear(f.dbeNome);
  EXPECT_EQ(f.dbeNome.Text(), "Um");
  EXPECT_EQ(f.cds.State(), DataSetState::Browse);
  EXPECT_FALSE(f.dbeNome.DataLink().IsModified());
}

TEST_F(TextCommandsTest, AMemoTakesPastedLineBreaksAtTheCaret) {
  BoxForm f;
  f.cds.Edit();
  f.pgc.SetActivePage(f.tshDois);
  G::Type(f.dbmNota, "Prezado cliente");
  f.dbmNota.SetSelection(7, 0);
  G::EditText(f.dbmNota, G::TextEdit::Insert, ",\r\nnovo");
  EXPECT_EQ(f.dbmNota.Text(), "Prezado,\nnovo cliente");
  G::Focus(f.dbdData);
  EXPECT_EQ(f.cds.FieldByName("NOTA").AsString(), "Prezado,\nnovo cliente");
}

}  // namespace
}  // namespace ger::testing
