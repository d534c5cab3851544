// Console presenter: message texts as lines on a stream.
#include "ui/presenter.h"

#include "text/convert.h"

namespace ordx {

int ConsolePresenter::MessageBox(const CWnd* /*owner*/, const WideString& text,
                                 std::uint32_t flags) {
  NarrowString line = ToNarrow(text);
  // One message is one line, whatever the text holds.
  for (std::size_t i = 0; i < line.length(); ++i) {
    if (line[i] == '\n' || line[i] == '\r') line.mutable_data()[i] = ' ';
  }
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
  return (flags & kMbButtonsMask) == kMbButtonsYesNo ? kIdNo : kIdOk;
}

}  // namespace ordx
