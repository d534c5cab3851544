// LANGUAGE for GTK, and the start-up value for child processes.
#include "app/gtk_language.h"

#include <cstdlib>

#include "text/convert.h"

namespace ordx {
namespace {

bool g_replaced = false;
bool g_startupSet = false;
NarrowString g_startupValue;

void Restore(bool set, const NarrowString& value) {
  if (set) {
    setenv("LANGUAGE", value.c_str(), 1);
  } else {
    unsetenv("LANGUAGE");
  }
}

}  // namespace

void UseLanguageForGtk(const WideString& languageCode) {
  if (!g_replaced) {
    const char* old = std::getenv("LANGUAGE");
    g_startupSet = old != nullptr;
    g_startupValue = NarrowString(old != nullptr ? old : "");
    g_replaced = true;
  }
  NarrowString catalogue = ToNarrow(languageCode);
  // GTK's Chinese catalogue is named by region; the Arabic slot carries the
  // English texts, and GTK must not turn the window right-to-left under them.
  if (catalogue == "zh") catalogue = NarrowString("zh_CN");
  if (catalogue == "ar") catalogue = NarrowString("en");
  setenv("LANGUAGE", catalogue.c_str(), 1);
}

StartupLanguageScope::StartupLanguageScope() {
  if (!g_replaced) return;
  const char* now = std::getenv("LANGUAGE");
  wasSet_ = now != nullptr;
  current_ = NarrowString(now != nullptr ? now : "");
  Restore(g_startupSet, g_startupValue);
}

StartupLanguageScope::~StartupLanguageScope() {
  if (g_replaced) Restore(wasSet_, current_);
}

}  // namespace ordx
