// Named components with an owner, the ownership chain the program relies on: an owner frees
// what it owns, and the program finds its fly windows by walking a list of owned components.
#pragma once

#include <string>
#include <vector>

namespace zin::ui {

class Form;

class Component {
 public:
  explicit Component(Component* owner);
  virtual ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Component* owner() const { return owner_; }
  const std::string& name() const { return name_; }
  // Names are unique among an owner's components, compared without regard to case; a taken
  // name raises zin::Error "A component named %s already exists".
  virtual void setName(const std::string& name);

  int componentCount() const { return static_cast<int>(components_.size()); }
  Component* component(int index) const { return components_[static_cast<std::size_t>(index)]; }
  Component* findComponent(const std::string& name) const;

  virtual Form* asForm() { return nullptr; }

 protected:
  // Frees every owned component, the newest first.
  void destroyComponents();

 private:
  Component* owner_;
  std::string name_;
  std::vector<Component*> components_;
};

bool sameTextIgnoringCase(const std::string& a, const std::string& b);

}  // namespace zin::ui
