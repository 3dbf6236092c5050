#pragma once
// Context help: which topic of the user's guide answers where the user is. The guide is one HTML
// document whose topics are anchors with stable names: a screen's topic by its help context
// ("tela-12400200"), a box's by the control's name ("campo-dbeCGCEmpresa"), a message's by its
// catalogue key ("msg-CGC_Inv"). The model decides the topic; a toolkit only shows it.
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ger {

class TControl;
class TForm;
class TMessages;

namespace help {

// F1, the key that asks for help (its virtual key code).
inline constexpr int kHelpKey = 112;

// The topic at the start of the guide, for a screen without a help context of its own.
inline constexpr std::string_view kStartTopic = "inicio";

// True for the help file the screens name (any case), which the guide answers; an empty name is
// the host's own help, the guide too.
bool IsGuide(std::string_view file);
// The topic of a screen's help context; the start of the guide for 0.
std::string ScreenTopic(int context);
// The topic of a data-aware box (bound to a field); empty for any other control.
std::string BoxTopic(const TControl& control);
// What F1 opens on a form: the focused box's topic on a screen with a help context, else the
// screen's topic; a form without a help context has its topic by its name ("tela-frmX").
std::string FocusTopic(const TForm& form, const TControl* focused);
std::string MessageTopic(std::string_view key);

// Keys of the catalogues that are captions, list titles or pieces of other messages rather than
// messages of their own; they have no page in the guide.
bool IsCaption(std::string_view key);
// The key of the catalogue message a dialog's text shows: the catalogues of the forms that
// exist, then the host's own (reports, pictures, help). A message built around a catalogue text
// (a value before it, a list after it, "%1" filled in) is found too. Empty when none matches.
std::string MessageKey(std::string_view text);
// A catalogue of a layer the screens do not reach (the transport's) whose messages MessageKey
// also finds; added once by whoever links that layer in.
void AddCatalogue(const TMessages& catalogue);
// The same over one catalogue.
std::string MessageKeyIn(const TMessages& catalogue, std::string_view text);

// Where a topic is shown: a toolkit installs its help window (the Qt shell does). With none
// installed (the scenario runner, tests of the model) the requests are kept, oldest first.
using Viewer = std::function<void(const std::string& file, const std::string& topic)>;
void SetViewer(Viewer viewer);
void Show(const std::string& file, const std::string& topic);
const std::vector<std::pair<std::string, std::string>>& Requests();
void ClearRequests();

// The help's own texts.
const TMessages& HelpMessages();
std::string HelpMsg(std::string_view key, std::initializer_list<std::string_view> args = {});

}  // namespace help
}  // namespace ger
