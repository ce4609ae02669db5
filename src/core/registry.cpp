#include "core/registry.h"

#include <array>

#include "core/error.h"

namespace zin {

namespace {

constexpr char kGetFailed[] = "Failed to get data for '%s'";
constexpr char kBadType[] = "Invalid data type for '%s'";
constexpr char kSetFailed[] = "Failed to set data for '%s'";

}  // namespace

bool Registry::openKey(const std::string& path) {
  closeKey();
  key_ = store_.createKey(path);
  return key_ != 0;
}

void Registry::closeKey() {
  if (key_ == 0) return;
  store_.closeKey(key_);
  key_ = 0;
}

bool Registry::valueExists(const std::string& name) {
  if (key_ == 0) return false;
  // A query without a buffer finds a value of any type and length.
  const auto status = store_.queryValue(key_, name, 0).status;
  return status == UserStore::Status::Ok || status == UserStore::Status::MoreData;
}

std::int32_t Registry::readInteger(const std::string& name) {
  if (key_ == 0) throw Error(format1(kGetFailed, name));
  const UserStore::Value v = store_.queryValue(key_, name, 4);
  if (v.status != UserStore::Status::Ok) throw Error(format1(kGetFailed, name));
  if (v.type != kRegDword) throw Error(format1(kBadType, name));
  // A short REG_DWORD is zero-extended rather than padded with whatever the buffer held.
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < v.data.size() && i < 4; ++i) {
    bits |= std::uint32_t{v.data[i]} << (8 * i);
  }
  return static_cast<std::int32_t>(bits);
}

void Registry::writeInteger(const std::string& name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const std::array<std::uint8_t, 4> data = {
      static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
      static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  if (key_ == 0 || !store_.setValue(key_, name, kRegDword, data)) {
    throw Error(format1(kSetFailed, name));
  }
}

void Registry::writeString(const std::string& name, const std::string& value) {
  std::vector<std::uint8_t> data(value.begin(), value.end());
  data.push_back(0);
  if (key_ == 0 || !store_.setValue(key_, name, kRegSz, data)) {
    throw Error(format1(kSetFailed, name));
  }
}

bool Registry::deleteValue(const std::string& name) {
  return key_ != 0 && store_.deleteValue(key_, name);
}

}  // namespace zin
