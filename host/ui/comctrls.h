#pragma once
// Page controls with their tab sheets, and menus.
#include <string>
#include <vector>

#include "ui/component.h"

namespace ger {

class TPageControl;

// A page. Its parent is its page control; TabVisible hides the tab, Enabled disables the tab and
// everything on the page.
class TTabSheet : public TControl {
 public:
  explicit TTabSheet(TPageControl* pageControl, std::string name, std::string caption = {});
  ~TTabSheet() override;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  TPageControl* PageControl() const { return pageControl_; }
  int PageIndex() const;
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool visible);
  bool IsActive() const;
  // The user sees a page by its tab.
  bool ObservedVisible() const override { return TabVisible(); }
  // A click on the tab brings the page forward (Gestures::Page).
  bool ClickByUser() override;

 private:
  TPageControl* pageControl_;
  bool tabVisible_ = true;
};

class TPageControl : public TControl {
 public:
  using TControl::TControl;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  const std::vector<TTabSheet*>& Pages() const { return pages_; }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* ActivePage() const { return active_; }
  int ActivePageIndex() const;

  // From code: fires neither handler, but first moves the focus off a focused control of the old
  // page (its exit runs; when that fails the page stays and the error goes on).
  void SetActivePage(TTabSheet* page);
  void SetActivePage(TTabSheet& page) { SetActivePage(&page); }
  void SetActivePageIndex(int index);

  // The user clicking a tab: the page control takes the focus (the focused control's exit runs),
  // then OnChanging may refuse, then the page changes, then OnChange. False when the change did
  // not happen (refused, or the tab cannot be clicked).
  bool ClickTab(TTabSheet& page);

  std::function<void(TComponent& sender, bool& allowChange)> OnChanging;
  Notify OnChange;

  bool TakesFocus() const override { return true; }
  bool GrowsDown() const override { return true; }

 private:
  friend class TTabSheet;
  void AddPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void MoveFocusOff(TTabSheet* page);
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};

class TMenuItem;

// A menu bar or pop-up menu: the root of its items.
class TMenu : public TComponent {
 public:
  using TComponent::TComponent;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  const std::vector<TMenuItem*>& Items() const { return items_; }
  // Ends the menu's showing when one of its items is chosen: a pop-up menu closes; a menu bar
  // stays.
  virtual void CloseUp() {}

 private:
  friend class TMenuItem;
  std::vector<TMenuItem*> items_;
};

class TMainMenu : public TMenu {
 public:
  using TMenu::TMenu;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
};

class TPopupMenu : public TMenu {
 public:
  using TMenu::TMenu;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  // Shows the menu at a point of the screen (the form's position plus the offsets of the
  // controls down to the point); a toolkit draws it while Shown and calls CloseUp, through the
  // gestures, whatever ends it: a choice, Escape, a click elsewhere.
  void Popup(int x, int y);
  void CloseUp() override;
  bool Shown() const { return shown_; }
  int PopupX() const { return x_; }
  int PopupY() const { return y_; }
  Notify OnPopup;

 private:
  bool shown_ = false;
  int x_ = 0, y_ = 0;
};

// A menu entry. The caption keeps the "&" of its accelerator; "-" is a separator. Clicking an
// item never moves the focus.
class TMenuItem : public TComponent {
 public:
  // Under a menu (top level) or under another item.
  TMenuItem(TMenu* menu, std::string name, std::string caption = {});
  TMenuItem(TMenuItem* parentItem, std::string name, std::string caption = {});
  ~TMenuItem() override;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  const std::string& ShortCut() const { return shortCut_; }  // "Ctrl+E"; empty for none
  void SetShortCut(std::string shortCut);
  bool IsSeparator() const { return caption_ == "-"; }
  // Enabled and visible here and in every parent item.
  bool Usable() const;

  TMenuItem* ParentItem() const { return parentItem_; }
  TMenu* Menu() const;
  const std::vector<TMenuItem*>& Items() const { return items_; }

  Notify OnClick;
  void Click();

  std::string ObservedText() const override { return Caption(); }
  bool ObservedEnabled() const override { return Enabled(); }
  bool ObservedVisible() const override { return Visible(); }
  bool ObservedChecked() const override { return Checked(); }
  // When usable: its menu closes up, then the item runs.
  bool ClickByUser() override;

 private:
  // Tells the view of the item's menu that it changed.
  void Tell();
  TMenu* menu_ = nullptr;
  TMenuItem* parentItem_ = nullptr;
  std::vector<TMenuItem*> items_;
  std::string caption_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  std::string shortCut_;
};

}  // namespace ger
