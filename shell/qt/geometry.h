#pragma once
// The layout check of a drawn form, from the geometry the toolkit reports: a control that sticks
// out of its container, one that overlaps a sibling, a caption drawn under another control, a
// text wider than the control that shows it (a label, a check box, a button, a grid column). The
// review test runs it on every page at 1024x768; ger-host --screenshot prints what it finds.
#include <string>
#include <vector>

namespace ger::qt {

class FormView;

// One finding, as a sentence naming the controls by their model names.
struct LayoutProblem {
  std::string text;
};

// The problems of the controls shown now (the active pages only); none when the form is sound.
std::vector<LayoutProblem> CheckLayout(const FormView& view);

}  // namespace ger::qt
