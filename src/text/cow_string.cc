// Out-of-line parts of the text string types.
#include "text/cow_string.h"

#include <cstring>
#include <vector>

namespace ordx {

std::int32_t ReplaceAll(WideString& s, const WideString& find, const WideString& replacement) {
  if (find.empty() || s.empty()) return 0;
  const std::size_t findLength = find.length();
  if (findLength == replacement.length()) {
    // Same length: overwrite each match in place as it is found.
    std::int32_t count = 0;
    for (std::size_t pos = s.find(find, 0); pos != WideString::npos;
         pos = s.find(find, pos + findLength)) {
      std::memcpy(s.mutable_data() + pos, replacement.c_str(), findLength * sizeof(char16_t));
      ++count;
    }
    return count;
  }
  std::vector<std::size_t> matches;
  for (std::size_t pos = s.find(find, 0); pos != WideString::npos;
       pos = s.find(find, pos + findLength)) {
    matches.push_back(pos);
  }
  if (matches.empty()) return 0;
  WideString result;
  result.reserve(s.length() - matches.size() * findLength + matches.size() * replacement.length());
  std::size_t from = 0;
  for (const std::size_t pos : matches) {
    result.append(s.c_str() + from, pos - from);
    result.append(replacement);
    from = pos + findLength;
  }
  result.append(s.c_str() + from, s.length() - from);
  s = result;
  return static_cast<std::int32_t>(matches.size());
}

}  // namespace ordx
