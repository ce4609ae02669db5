// The per-user store kept in memory: the back-end of headless runs and of the tests, with a
// way to make a key or a write fail.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/registry.h"

namespace zin::headless {

class MemoryUserStore final : public UserStore {
 public:
  struct StoredValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
  };

  Key createKey(const std::string& path) override;
  void closeKey(Key key) override;
  Value queryValue(Key key, const std::string& name, std::size_t capacity) override;
  bool setValue(Key key, const std::string& name, std::uint32_t type,
                std::span<const std::uint8_t> data) override;
  bool deleteValue(Key key, const std::string& name) override;

  // Failure injection.
  void failCreate(const std::string& path);
  void refuseWrites(const std::string& name);

  // Inspection and seeding; keys are created as needed.
  std::optional<StoredValue> value(const std::string& path, const std::string& name) const;
  std::vector<std::string> valueNames(const std::string& path) const;
  void set(const std::string& path, const std::string& name, std::uint32_t type,
           std::vector<std::uint8_t> data);
  void setDword(const std::string& path, const std::string& name, std::int32_t value);
  // The ANSI bytes and a terminating NUL, as an ANSI read of a REG_SZ sees them.
  void setString(const std::string& path, const std::string& name, const std::string& text);
  bool keyExists(const std::string& path) const;
  std::size_t openKeyCount() const { return open_.size(); }

 private:
  struct NamedValue {
    std::string name;  // as its first writer spelled it
    StoredValue value;
  };
  using Values = std::vector<NamedValue>;

  Values* open(Key key);
  void put(Values& values, const std::string& name, std::uint32_t type,
           std::vector<std::uint8_t> data);

  std::map<std::string, Values> keys_;  // by folded path
  std::map<Key, std::string> open_;     // handle to folded path
  Key nextKey_ = 1;
  std::set<std::string> failingKeys_;   // folded paths
  std::set<std::string> refusedNames_;  // folded names
};

}  // namespace zin::headless
