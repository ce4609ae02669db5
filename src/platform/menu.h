// Popup menus: items with captions, default/checked/visible state and click handlers. The
// back-end shows the visible items and returns the chosen one's command id.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/platform.h"

namespace zin::ui {

class MenuItem : public Component {
 public:
  MenuItem(Component* owner, MenuItem* parentItem);

  std::string caption;  // "-" makes a separator
  bool visible = true;
  bool enabled = true;
  bool checked = false;
  bool autoCheck = false;  // the check mark toggles itself when the item is chosen
  bool isDefault = false;  // drawn in bold
  std::function<void()> onClick;

  bool isSeparator() const { return caption == "-"; }
  int command() const { return command_; }
  MenuItem* parentItem() const { return parentItem_; }
  const std::vector<MenuItem*>& items() const { return items_; }

  // The item was chosen: toggles an automatic check mark, then runs the handler.
  void click();

 private:
  friend class PopupMenu;
  MenuItem* parentItem_;
  std::vector<MenuItem*> items_;
  int command_ = 0;
};

class PopupMenu : public Component {
 public:
  explicit PopupMenu(Component* owner) : Component(owner) {}

  // Adds an item at the end of the menu, or of `parent`'s submenu.
  MenuItem* add(const std::string& name, const std::string& caption, MenuItem* parent = nullptr);
  const std::vector<MenuItem*>& items() const { return items_; }
  MenuItem* findCommand(int command) const;

  // Opens the menu at a screen point and returns when it has closed; the chosen item's
  // handler runs after that, once the menu is gone.
  void popup(int x, int y, WindowId owner);

 private:
  std::vector<MenuItem*> items_;
  int nextCommand_ = 1;
};

}  // namespace zin::ui
