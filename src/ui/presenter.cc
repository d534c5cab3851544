// Console presenter: message texts as lines on a stream.
#include "ui/presenter.h"

#include "text/convert.h"

namespace ordx {

NarrowString ConsoleLine(const WideString& text) {
  // Headline, place, reason: the place in quotes (it arrives escaped, so a
  // quote inside it is already "\""), the reason after a colon.
  WideString line;
  std::size_t start = 0;
  for (int part = 0; start <= text.length(); ++part) {
    std::size_t end = text.find(u'\n', start);
    if (end == WideString::npos) end = text.length();
    const WideString piece = text.substr(start, end - start);
    if (part == 0) {
      line = piece;
    } else if (part == 1) {
      line += u" \"" + piece + u"\"";
    } else {
      line += (part == 2 ? u": " : u" ") + piece;
    }
    start = end + 1;
  }
  NarrowString narrow = ToNarrow(line);
  // One message is one line, whatever the text holds.
  for (std::size_t i = 0; i < narrow.length(); ++i) {
    if (narrow[i] == '\r') narrow.mutable_data()[i] = ' ';
  }
  return narrow;
}

int ConsolePresenter::MessageBox(const CWnd* /*owner*/, const WideString& text,
                                 std::uint32_t flags) {
  std::fprintf(out_, "%s\n", ConsoleLine(text).c_str());
  std::fflush(out_);
  return (flags & kMbButtonsMask) == kMbButtonsYesNo ? kIdNo : kIdOk;
}

}  // namespace ordx
