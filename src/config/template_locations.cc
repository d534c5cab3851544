// The template locations known to the platform's starter: which starter
// files are read and written, how the proposed template directory is
// chosen, and how an installed directory is registered at the head of the
// list.
#include "config/template_locations.h"

#include <unordered_set>
#include <utility>

#include "config/config_file.h"
#include "fs/dir_ops.h"
#include "fs/file_layer.h"
#include "fs/path.h"
#include "fs/whole_file.h"
#include "text/convert.h"

namespace ordx {
namespace {

std::function<WideString()>& HomeProvider() {
  static std::function<WideString()> provider;
  return provider;
}

WideString Home() {
  const auto& provider = HomeProvider();
  return provider ? provider() : GetHomeDirectory();
}

// Every path below is built from one home directory; none exists without it.
WideString UserDirectoryOf(const WideString& home) {
  return home.empty() ? WideString() : home + u"/" + u".ordx" + u"/";
}
WideString DataDirectoryOf(const WideString& home) {
  return home.empty() ? WideString() : UserDirectoryOf(home) + u"Ordo" + u"/" + u"ordx" + u"/";
}
WideString DefaultDirectoryOf(const WideString& home) {
  return home.empty() ? WideString() : DataDirectoryOf(home) + u"tmplts" + u"/";
}
WideString MainFileOf(const WideString& home) {
  return home.empty() ? WideString()
                      : home + u"/" + u".Ordo/ordolaunch" + u"/" + u"ordolaunch.cfg";
}
WideString PlatformFileOf(const WideString& home) {
  // The user directory already ends in "/": the doubled slash is harmless.
  return home.empty() ? WideString()
                      : UserDirectoryOf(home) + u"/" + u".Ordo/ordolaunch" + u"/" +
                            u"ordolaunch.cfg";
}
WideString AlternateFileOf(const WideString& home) {
  return home.empty() ? WideString()
                      : home + u"/" + u".Ordo/ordolauncht" + u"/" + u"ordolaunch.cfg";
}

// One read of the pair of starter files that the flag selects.
struct StarterPair {
  WideString primaryPath;
  ConfigEntries primary;
  ConfigEntries secondary;
  ConfigReadResult primaryRead = ConfigReadResult::kAbsent;
};

StarterPair LoadStarterFiles(const WideString& home, bool alternate) {
  StarterPair pair;
  pair.primaryPath = alternate ? AlternateFileOf(home) : MainFileOf(home);
  const WideString secondaryPath = alternate ? MainFileOf(home) : PlatformFileOf(home);
  try {
    ReadConfigFile(secondaryPath, &pair.secondary);
  } catch (...) {
    // An unreadable secondary file only hides its locations.
  }
  try {
    pair.primaryRead = ReadConfigFileChecked(pair.primaryPath, &pair.primary);
  } catch (...) {
    pair.primaryRead = ConfigReadResult::kUnreadable;
  }
  return pair;
}

void SaveStarterFile(const WideString& path, const ConfigEntries& entries) {
  const WideString dir = ParentPart(path, Separators::kSlashOrBackslash);
  if (!PathExists(path) && !dir.empty()) CreateDirectory(dir);
  try {
    WriteConfigFile(path, entries);
  } catch (...) {
    // Once more after making sure the file's own directory is there.
    if (!dir.empty()) CreateDirectory(dir);
    WriteConfigFile(path, entries);
  }
}

}  // namespace

void SetHomeDirectoryProvider(std::function<WideString()> provider) {
  HomeProvider() = std::move(provider);
}

WideString GetMainStarterFile() { return MainFileOf(Home()); }

void NormalizeLocationList(LocationList* list) {
  std::unordered_set<std::string> seen;
  LocationList kept;
  kept.reserve(list->size());
  for (WideString& location : *list) {
    // The added "/" lives only in the comparison key.
    WideString key = location;
    if (!key.empty() && !EndsWithSeparator(key, Separators::kSlashOrBackslash)) key += u"/";
    if (seen.insert(NoCaseKey(key)).second) kept.push_back(std::move(location));
  }
  *list = std::move(kept);
}

void ReadTemplateLocations(LocationList* list, bool alternate) {
  const StarterPair pair = LoadStarterFiles(Home(), alternate);
  std::unordered_set<std::string> taken;
  for (const ConfigEntries* entries : {&pair.primary, &pair.secondary}) {
    const std::vector<WideString>* values = FindValues(*entries, kTemplatesLocationKey);
    if (values == nullptr) continue;
    for (const WideString& value : *values)
      if (taken.insert(NoCaseKey(value)).second) list->push_back(value);
  }
  for (WideString& location : *list) ReplaceAll(location, u"\\", u"/");
  NormalizeLocationList(list);
}

void WriteTemplateLocations(const LocationList& list, bool alternate) {
  const WideString home = Home();
  if (home.empty()) return;  // no home: no starter file anywhere
  StarterPair pair = LoadStarterFiles(home, alternate);
  // A file that exists but could not be read whole is not rewritten: its
  // other settings would be lost.
  if (pair.primaryRead == ConfigReadResult::kUnreadable) throw 1;
  LocationList locations = list;
  NormalizeLocationList(&locations);
  SetValues(&pair.primary, kTemplatesLocationKey, locations);
  SaveStarterFile(pair.primaryPath, pair.primary);
}

bool IsDirectoryWritable(const WideString& dir) {
  // Probing must not change the directory: its time is put back exactly.
  FileStamp before;
  const bool timed = GetModified(dir, &before) == kErrorSuccess;
  WideString probe;
  if (CreateFileInDirectory(dir, u"Ordo", &probe) != kErrorSuccess) return false;
  DeleteFile(probe);
  if (timed) SetModified(dir, before);
  return true;
}

WideString CleanTemplateDirectory(const WideString& location) {
  if (location.find(u"http://") != WideString::npos ||
      location.find(u"https://") != WideString::npos ||
      location.find(u"ftp://") != WideString::npos)
    return WideString();
  WideString clean = location;
  const std::size_t file = clean.find(u"file://");
  if (file != WideString::npos) clean.erase(file, 7);
  ReplaceAll(clean, u"\\", u"/");
  ReplaceAll(clean, u"\n", u"");
  ReplaceAll(clean, u"\r", u"");
  return clean;
}

void ReadCurrentLocations(LocationList* list, bool* alternateFileExists,
                          bool* listFromAlternateFile) {
  *alternateFileExists = false;
  *listFromAlternateFile = false;
  const WideString home = Home();
  if (home.empty()) return;
  *alternateFileExists = PathExists(AlternateFileOf(home));
  if (PathExists(MainFileOf(home))) {
    ReadTemplateLocations(list, false);
  } else if (*alternateFileExists) {
    ReadTemplateLocations(list, true);
    *listFromAlternateFile = !list->empty();
  }
}

WideString SelectTemplateDirectory(LocationList* list, bool* alternateFileExists,
                                   bool* listFromAlternateFile) {
  const WideString home = Home();
  ReadCurrentLocations(list, alternateFileExists, listFromAlternateFile);
  if (home.empty()) return WideString();  // nowhere to propose
  // Each location is probed in the form it would be used in.
  for (const WideString& location : *list) {
    const WideString clean = CleanTemplateDirectory(location);
    if (!clean.empty() && IsDirectoryWritable(clean)) return clean;
  }
  return CleanTemplateDirectory(DefaultDirectoryOf(home));
}

bool RegisterTemplateDirectory(LocationList* list, const WideString& targetDir,
                               bool listFromAlternateFile, bool alternateFileExists) {
  WideString dir = targetDir;
  // One trailing separator goes, but "/" itself stays a location.
  if (dir.length() > 1 && EndsWithSeparator(dir, Separators::kSlashOrBackslash))
    dir.erase(dir.length() - 1);
  list->insert(list->begin(), dir);
  if (Home().empty()) return false;  // no starter file anywhere
  try {
    if (!listFromAlternateFile) WriteTemplateLocations(*list, false);
    if (alternateFileExists) WriteTemplateLocations(*list, true);
  } catch (...) {
    // The installation stands; the caller tells the user that the starter
    // does not know the directory.
    return false;
  }
  return true;
}

}  // namespace ordx
