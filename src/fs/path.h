// Taking paths apart and putting them together as strings: parent, last
// name, joining, trailing separators, components. Nothing here touches the
// disk. The view templates serve narrow and wide paths alike; the WideString
// overloads are the everyday form.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/cow_string.h"

namespace ordx {

// Installed paths use "/" alone; names from kits, starter files and what
// the user typed also take "\" as a separator.
enum class Separators { kSlash, kSlashOrBackslash };

template <typename CharT>
constexpr bool IsSeparator(CharT c, Separators separators = Separators::kSlash) {
  return c == CharT('/') || (separators == Separators::kSlashOrBackslash && c == CharT('\\'));
}

// Where the last separator stands, or npos.
template <typename CharT>
constexpr std::size_t LastSeparator(std::basic_string_view<CharT> path,
                                    Separators separators = Separators::kSlash) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (IsSeparator(path[i - 1], separators)) return i - 1;
  return std::basic_string_view<CharT>::npos;
}

// The path without its trailing "/"s; a path of "/"s alone stays "/".
template <typename CharT>
constexpr std::basic_string_view<CharT> TrimTrailingSlashes(std::basic_string_view<CharT> path) {
  std::size_t end = path.size();
  while (end > 1 && path[end - 1] == CharT('/')) --end;
  return path.substr(0, end);
}

// Everything before the last separator; empty when there is none.
template <typename CharT>
constexpr std::basic_string_view<CharT> ParentPart(std::basic_string_view<CharT> path,
                                                   Separators separators = Separators::kSlash) {
  const std::size_t cut = LastSeparator(path, separators);
  return cut == std::basic_string_view<CharT>::npos ? std::basic_string_view<CharT>()
                                                    : path.substr(0, cut);
}

// Everything after the last separator; the whole path when there is none.
template <typename CharT>
constexpr std::basic_string_view<CharT> NamePart(std::basic_string_view<CharT> path,
                                                 Separators separators = Separators::kSlash) {
  const std::size_t cut = LastSeparator(path, separators);
  return cut == std::basic_string_view<CharT>::npos ? path : path.substr(cut + 1);
}

template <typename CharT>
constexpr bool EndsWithSeparator(std::basic_string_view<CharT> path,
                                 Separators separators = Separators::kSlash) {
  return !path.empty() && IsSeparator(path.back(), separators);
}

// Calls `visit` with each piece between separators, empty ones included,
// and stops at the first for which it answers true; true when one did.
template <typename CharT, typename Visit>
constexpr bool AnyComponent(std::basic_string_view<CharT> path, Separators separators,
                            Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i], separators)) continue;
    if (visit(path.substr(start, i - start))) return true;
    start = i + 1;
  }
  return false;
}

inline WideString TrimTrailingSlashes(const WideString& path) {
  return TrimTrailingSlashes(path.view());
}
inline WideString ParentPart(const WideString& path, Separators separators = Separators::kSlash) {
  return ParentPart(path.view(), separators);
}
inline WideString NamePart(const WideString& path, Separators separators = Separators::kSlash) {
  return NamePart(path.view(), separators);
}
inline bool EndsWithSeparator(const WideString& path, Separators separators = Separators::kSlash) {
  return EndsWithSeparator(path.view(), separators);
}

// `name` under `parent` with one separator between them: none is added
// where either side already has one there, and an empty side adds nothing.
WideString JoinPath(const WideString& parent, const WideString& name,
                    Separators separators = Separators::kSlash);

}  // namespace ordx
