#include "platform/headless/memory_store.h"

#include <algorithm>

namespace zin::headless {

namespace {

// ASCII only: the names and paths this program uses are plain ASCII.
std::string fold(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

auto findValue(auto& values, const std::string& name) {
  const std::string folded = fold(name);
  return std::find_if(values.begin(), values.end(),
                      [&](const auto& v) { return fold(v.name) == folded; });
}

}  // namespace

MemoryUserStore::Values* MemoryUserStore::open(Key key) {
  const auto it = open_.find(key);
  return it == open_.end() ? nullptr : &keys_[it->second];
}

void MemoryUserStore::put(Values& values, const std::string& name, std::uint32_t type,
                          std::vector<std::uint8_t> data) {
  if (const auto existing = findValue(values, name); existing != values.end()) {
    existing->value = {type, std::move(data)};
  } else {
    values.push_back({name, {type, std::move(data)}});
  }
}

UserStore::Key MemoryUserStore::createKey(const std::string& path) {
  const std::string folded = fold(path);
  if (failingKeys_.count(folded) != 0) return 0;
  keys_[folded];
  // Handles are never reused, so a stale one cannot reach another key.
  const Key key = nextKey_++;
  open_[key] = folded;
  return key;
}

void MemoryUserStore::closeKey(Key key) {
  open_.erase(key);
}

UserStore::Value MemoryUserStore::queryValue(Key key, const std::string& name,
                                             std::size_t capacity) {
  Values* values = open(key);
  if (values == nullptr) return {Status::Failed, kRegNone, {}};
  const auto found = findValue(*values, name);
  if (found == values->end()) return {Status::NotFound, kRegNone, {}};
  if (found->value.data.size() > capacity) return {Status::MoreData, found->value.type, {}};
  return {Status::Ok, found->value.type, found->value.data};
}

bool MemoryUserStore::setValue(Key key, const std::string& name, std::uint32_t type,
                               std::span<const std::uint8_t> data) {
  Values* values = open(key);
  if (values == nullptr || refusedNames_.count(fold(name)) != 0) return false;
  put(*values, name, type, {data.begin(), data.end()});
  return true;
}

bool MemoryUserStore::deleteValue(Key key, const std::string& name) {
  Values* values = open(key);
  if (values == nullptr) return false;
  const auto found = findValue(*values, name);
  if (found == values->end()) return false;
  values->erase(found);
  return true;
}

void MemoryUserStore::failCreate(const std::string& path) {
  failingKeys_.insert(fold(path));
}

void MemoryUserStore::refuseWrites(const std::string& name) {
  refusedNames_.insert(fold(name));
}

std::optional<MemoryUserStore::StoredValue> MemoryUserStore::value(const std::string& path,
                                                                   const std::string& name) const {
  const auto key = keys_.find(fold(path));
  if (key == keys_.end()) return std::nullopt;
  const auto found = findValue(key->second, name);
  if (found == key->second.end()) return std::nullopt;
  return found->value;
}

std::vector<std::string> MemoryUserStore::valueNames(const std::string& path) const {
  std::vector<std::string> names;
  if (const auto key = keys_.find(fold(path)); key != keys_.end()) {
    for (const NamedValue& v : key->second) names.push_back(v.name);
  }
  return names;
}

void MemoryUserStore::set(const std::string& path, const std::string& name, std::uint32_t type,
                          std::vector<std::uint8_t> data) {
  put(keys_[fold(path)], name, type, std::move(data));
}

void MemoryUserStore::setDword(const std::string& path, const std::string& name,
                               std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  set(path, name, kRegDword,
      {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
       static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)});
}

void MemoryUserStore::setString(const std::string& path, const std::string& name,
                                const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  set(path, name, kRegSz, std::move(data));
}

bool MemoryUserStore::keyExists(const std::string& path) const {
  return keys_.count(fold(path)) != 0;
}

}  // namespace zin::headless
