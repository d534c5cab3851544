// GTK's own texts (the Yes and No of a question, the folder chooser) in the
// installer's language rather than the desktop's, and programs the
// installer starts in the environment it was started with.
#pragma once

#include "text/cow_string.h"

namespace ordx {

// Sets LANGUAGE for GTK's message catalogues to the installer's language
// code; call before GTK is initialised. Remembers the value it replaces.
void UseLanguageForGtk(const WideString& languageCode);

// While alive, LANGUAGE is what it was when the installer started, so that
// a program started now (xdg-open) sees the user's own environment.
class StartupLanguageScope {
 public:
  StartupLanguageScope();
  ~StartupLanguageScope();
  StartupLanguageScope(const StartupLanguageScope&) = delete;
  StartupLanguageScope& operator=(const StartupLanguageScope&) = delete;

 private:
  NarrowString current_;
  bool wasSet_ = false;
};

}  // namespace ordx
