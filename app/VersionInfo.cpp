#include "app/VersionInfo.h"

#include <vector>

namespace {

struct TStringTable {
  std::string Translation;
  const TVersionString* Strings;
  int Count;
};

std::vector<TStringTable>& Tables() {
  static std::vector<TStringTable> Registered;
  return Registered;
}

} // namespace

void RegisterVersionStrings(const char* Translation, const TVersionString* Strings, int Count) {
  Tables().push_back({Translation ? Translation : "", Strings, Count});
}

void ClearVersionStrings() {
  Tables().clear();
}

std::string GetVersionValue(const std::string& Key) {
  // Only the one table the program was built with is consulted.
  constexpr char Wanted[] = "040904E4";
  for (const auto& Table : Tables()) {
    if (Table.Translation != Wanted)
      continue;
    for (int i = 0; i < Table.Count; ++i)
      if (Table.Strings[i].Key && Key == Table.Strings[i].Key)
        return Table.Strings[i].Value ? Table.Strings[i].Value : "";
  }
  return {};
}
