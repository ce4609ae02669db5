#include "platform/menu.h"

#include "platform/application.h"

namespace zin::ui {

MenuItem::MenuItem(Component* owner, MenuItem* parentItem)
    : Component(owner), parentItem_(parentItem) {}

void MenuItem::click() {
  if (autoCheck) checked = !checked;
  if (onClick) onClick();
}

MenuItem* PopupMenu::add(const std::string& name, const std::string& caption, MenuItem* parent) {
  auto* item = new MenuItem(this, parent);
  item->setName(name);
  item->caption = caption;
  item->command_ = nextCommand_++;
  (parent ? parent->items_ : items_).push_back(item);
  return item;
}

MenuItem* PopupMenu::findCommand(int command) const {
  for (int i = 0; i < componentCount(); ++i) {
    auto* item = static_cast<MenuItem*>(component(i));
    if (item->command() == command) return item;
  }
  return nullptr;
}

void PopupMenu::popup(int x, int y, WindowId owner) {
  const int chosen = platform().trackPopupMenu(*this, x, y, owner);
  if (MenuItem* item = findCommand(chosen)) item->click();
}

}  // namespace zin::ui
