#include <vector>

#include "platform/win32/win32_platform.h"

namespace zin::win32 {

UserStore::Key RegistryStore::createKey(const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  return reinterpret_cast<Key>(key);
}

void RegistryStore::closeKey(Key key) {
  if (key) RegCloseKey(reinterpret_cast<HKEY>(key));
}

UserStore::Value RegistryStore::queryValue(Key key, const std::string& name, std::size_t capacity) {
  Value result;
  if (!key) return result;
  std::vector<std::uint8_t> buffer(capacity);
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(capacity);
  const LONG rc = RegQueryValueExA(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &type,
                                   capacity ? buffer.data() : nullptr, &size);
  result.type = type;
  switch (rc) {
    case ERROR_SUCCESS:
      result.status = Status::Ok;
      buffer.resize(capacity ? std::min<std::size_t>(size, capacity) : 0);
      result.data = std::move(buffer);
      break;
    case ERROR_MORE_DATA:
      result.status = Status::MoreData;
      break;
    case ERROR_FILE_NOT_FOUND:
      result.status = Status::NotFound;
      break;
    default:
      result.status = Status::Failed;
      break;
  }
  return result;
}

bool RegistryStore::setValue(Key key, const std::string& name, std::uint32_t type,
                             std::span<const std::uint8_t> data) {
  if (!key) return false;
  return RegSetValueExA(reinterpret_cast<HKEY>(key), name.c_str(), 0, type, data.data(),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool RegistryStore::deleteValue(Key key, const std::string& name) {
  if (!key) return false;
  return RegDeleteValueA(reinterpret_cast<HKEY>(key), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace zin::win32
