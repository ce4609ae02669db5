// The per-user store and the registry object the settings code reads and writes it with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zin {

// Value types, numbered as the Windows registry numbers them.
enum RegType : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegMultiSz = 7,
  kRegQword = 11,
};

// The current user's store as the system offers it: keys by path, values by name (names
// matched without regard to case), typed data. The Windows back-end is the registry.
class UserStore {
 public:
  using Key = std::uintptr_t;  // 0: no key
  enum class Status { Ok, MoreData, NotFound, Failed };
  struct Value {
    Status status = Status::NotFound;
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;  // at most the capacity asked for; empty unless Ok
  };

  virtual ~UserStore() = default;
  // Opens the key, creating it when missing, with full access; 0 when that fails.
  virtual Key createKey(const std::string& path) = 0;
  virtual void closeKey(Key key) = 0;
  // Like a registry query with a buffer of `capacity` bytes: MoreData (and no data) when
  // the value's data is longer than that.
  virtual Value queryValue(Key key, const std::string& name, std::size_t capacity) = 0;
  virtual bool setValue(Key key, const std::string& name, std::uint32_t type,
                        std::span<const std::uint8_t> data) = 0;
  virtual bool deleteValue(Key key, const std::string& name) = 0;
};

// One open key at a time, as the settings code uses it. Failures to read or write raise
// zin::Error with the texts the user sees:
//   "Failed to get data for '%s'"  the value could not be read (longer than asked for)
//   "Invalid data type for '%s'"   it was read but is not of the type asked for
//   "Failed to set data for '%s'"  the key is not open or the write was refused
class Registry {
 public:
  explicit Registry(UserStore& store) : store_(store) {}
  ~Registry() { closeKey(); }
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Opens (creating if missing) the key; the result may be ignored: with no key open,
  // no value exists and every write fails.
  bool openKey(const std::string& path);
  void closeKey();

  bool valueExists(const std::string& name);
  std::int32_t readInteger(const std::string& name);
  bool readBool(const std::string& name) { return readInteger(name) != 0; }
  void writeInteger(const std::string& name, std::int32_t value);
  void writeBool(const std::string& name, bool value) { writeInteger(name, value ? 1 : 0); }
  // A REG_SZ whose stored length counts the terminating zero byte.
  void writeString(const std::string& name, const std::string& value);
  bool deleteValue(const std::string& name);

 private:
  UserStore& store_;
  UserStore::Key key_ = 0;
};

}  // namespace zin
