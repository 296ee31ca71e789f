// The system's registry. Names, paths and string data are UTF-8 on our side
// and UTF-16 in the registry; string values are handed to the common reading
// rules as 8-bit text, so their sizes are those of the 8-bit form.
#include "base/Registry.h"

#include <windows.h>

#include "base/WideText.h"

namespace {

std::wstring Wide(std::string_view Text) {
  const std::u16string Units = Utf8ToUtf16(Text);
  return std::wstring(Units.begin(), Units.end());
}

HKEY RootKey(TRegRoot Root) {
  return Root == TRegRoot::rrCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

bool IsTextKind(DWORD Kind) {
  return Kind == REG_SZ || Kind == REG_EXPAND_SZ;
}

class TWin32RegistryKey final : public TRegistryKey {
public:
  explicit TWin32RegistryKey(HKEY Key) : FKey(Key) {}
  ~TWin32RegistryKey() override { RegCloseKey(FKey); }
  TWin32RegistryKey(const TWin32RegistryKey&) = delete;
  TWin32RegistryKey& operator=(const TWin32RegistryKey&) = delete;

  bool ValueExists(std::string_view Name) const override {
    return RegQueryValueExW(FKey, Wide(Name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
  }

protected:
  bool QueryValue(std::string_view Name, TRegValueKind& Kind,
                  std::vector<std::uint8_t>& Data) const override {
    const std::wstring WideName = Wide(Name);
    DWORD Type = REG_NONE;
    DWORD Size = 0;
    if (RegQueryValueExW(FKey, WideName.c_str(), nullptr, &Type, nullptr, &Size) != ERROR_SUCCESS)
      return false;
    // Another writer may grow the value between the two calls: ask again.
    LSTATUS Status = ERROR_MORE_DATA;
    for (int Attempt = 0; Status == ERROR_MORE_DATA && Attempt < 4; ++Attempt) {
      Data.resize(Size);
      Status = RegQueryValueExW(FKey, WideName.c_str(), nullptr, &Type, Data.data(), &Size);
    }
    if (Status != ERROR_SUCCESS)
      return false;
    Data.resize(Size);
    Kind = static_cast<TRegValueKind>(Type);
    if (IsTextKind(Type)) {
      std::u16string Units(Data.size() / 2, u'\0');
      for (std::size_t i = 0; i < Units.size(); ++i)
        Units[i] = static_cast<char16_t>(Data[2 * i] | (Data[2 * i + 1] << 8));
      const std::string Text = Utf16ToUtf8(Units);
      Data.assign(Text.begin(), Text.end());
    }
    return true;
  }

  bool SetValue(std::string_view Name, TRegValueKind Kind,
                const std::vector<std::uint8_t>& Data) override {
    std::vector<std::uint8_t> Bytes;
    if (IsTextKind(Kind)) {
      const std::u16string Units =
          Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(Data.data()), Data.size()));
      for (char16_t Unit : Units) {
        Bytes.push_back(static_cast<std::uint8_t>(Unit));
        Bytes.push_back(static_cast<std::uint8_t>(Unit >> 8));
      }
    } else {
      Bytes = Data;
    }
    return RegSetValueExW(FKey, Wide(Name).c_str(), 0, static_cast<DWORD>(Kind),
                          Bytes.empty() ? nullptr : Bytes.data(),
                          static_cast<DWORD>(Bytes.size())) == ERROR_SUCCESS;
  }

private:
  HKEY FKey;
};

} // namespace

std::unique_ptr<TRegistryKey> OpenRegistryKey(TRegRoot Root, std::string_view Path, bool ReadOnly) {
  const std::wstring WidePath = Wide(Path);
  HKEY Key = nullptr;
  const LSTATUS Status =
      ReadOnly
          ? RegOpenKeyExW(RootKey(Root), WidePath.c_str(), 0, KEY_READ, &Key)
          : RegCreateKeyExW(RootKey(Root), WidePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &Key, nullptr);
  if (Status != ERROR_SUCCESS)
    return nullptr;
  return std::make_unique<TWin32RegistryKey>(Key);
}

bool DeleteRegistryKey(TRegRoot Root, std::string_view Path) {
  // Given a subkey, the tree call removes that key itself as well.
  return RegDeleteTreeW(RootKey(Root), Wide(Path).c_str()) == ERROR_SUCCESS;
}

// The system's registry orders concurrent writers itself.
void SetRegistryLockWait(std::chrono::milliseconds) {}
