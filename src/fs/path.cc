// Joining paths; the rest of the path helpers are templates in the header.
#include "fs/path.h"

namespace ordx {

WideString JoinPath(const WideString& parent, const WideString& name, Separators separators) {
  if (parent.empty()) return name;
  if (name.empty()) return parent;
  if (EndsWithSeparator(parent.view(), separators) || IsSeparator(name[0], separators))
    return parent + name;
  return parent + u"/" + name;
}

}  // namespace ordx
