#include "platform/component.h"

#include <algorithm>

#include "core/error.h"

namespace zin::ui {

bool sameTextIgnoringCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

Component::Component(Component* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

Component::~Component() {
  destroyComponents();
  if (owner_) {
    auto& list = owner_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void Component::destroyComponents() {
  while (!components_.empty()) delete components_.back();
}

Component* Component::findComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (Component* c : components_) {
    if (sameTextIgnoringCase(c->name_, name)) return c;
  }
  return nullptr;
}

void Component::setName(const std::string& name) {
  if (owner_ && !name.empty()) {
    Component* other = owner_->findComponent(name);
    if (other && other != this) throw Error(format1("A component named %s already exists", name));
  }
  name_ = name;
}

}  // namespace zin::ui
