// Reading and writing the starter's key=value files. The reader decodes the
// whole file at once and keeps every key and value exactly as found; the
// writer replaces the file through a temporary file in the same directory,
// so the user's settings survive any failure half way.
#include "config/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "fs/file_layer.h"
#include "text/convert.h"

namespace ordx {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr std::uint32_t kReadChunk = 1u << 16;
constexpr std::uint32_t kWriteChunk = 1u << 20;

WideString Slice(const std::u16string& text, std::size_t begin, std::size_t end) {
  return WideString(text.data() + begin, end - begin);
}

// Decodes the file's bytes as one text. The converter stops at a zero byte,
// so the pieces between zero bytes are converted one by one and each zero
// byte stands as U+FFFD: a stray zero neither cuts the file short nor
// survives as a unit that every later conversion would stop at.
std::u16string DecodeText(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t stop = bytes.find('\0', start);
    if (stop == std::string_view::npos) stop = bytes.size();
    const std::size_t length = stop - start;
    if (length != 0) {
      // Never more units than bytes: every character takes a byte at least,
      // and a surrogate pair comes from four.
      const std::size_t base = text.size();
      text.resize(base + length);
      const auto count = MultiByteToWideChar(0, 0, bytes.data() + start,
                                             static_cast<std::int32_t>(length),
                                             text.data() + base,
                                             static_cast<std::int32_t>(length));
      text.resize(base + (count <= length ? count : length));
    }
    if (stop == bytes.size()) break;
    text.push_back(kReplacementCharacter);
    start = stop + 1;
  }
  return text;
}

// Key and value lookups for one read, equal to the pairwise CompareNoCase
// tests of AddValue but without their quadratic cost on big files. A value
// is indexed under its entry's number followed by its comparison key.
class EntryIndex {
 public:
  explicit EntryIndex(ConfigEntries* entries) : entries_(entries) {
    for (std::size_t i = 0; i < entries->size(); ++i) {
      keys_.emplace(NoCaseKey((*entries)[i].key), i);  // the first spelling wins
      for (const WideString& value : (*entries)[i].values) values_.insert(ValueKey(i, value));
    }
  }

  void Add(const WideString& key, const WideString& value) {
    const auto [found, isNew] = keys_.emplace(NoCaseKey(key), entries_->size());
    const std::size_t index = found->second;
    if (!values_.insert(ValueKey(index, value)).second) return;
    if (isNew) {
      entries_->push_back(ConfigEntry{key, {value}});
    } else {
      (*entries_)[index].values.push_back(value);
    }
  }

 private:
  static std::string ValueKey(std::size_t index, const WideString& value) {
    std::string key(reinterpret_cast<const char*>(&index), sizeof index);
    key += NoCaseKey(value);
    return key;
  }

  ConfigEntries* entries_;
  std::unordered_map<std::string, std::size_t> keys_;
  std::unordered_set<std::string> values_;
};

// Removes the temporary file unless it was renamed into place.
class TempFileGuard {
 public:
  explicit TempFileGuard(WideString path) : path_(std::move(path)) {}
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  ~TempFileGuard() {
    if (!path_.empty()) DeleteFile(path_);
  }
  void Release() { path_ = WideString(); }

 private:
  WideString path_;
};

// True when `path` names an entry directly inside `dir`.
bool IsEntryOf(const WideString& path, const WideString& dir) {
  std::size_t base = dir.length();
  while (base > 0 && dir[base - 1] == u'/') --base;
  if (path.length() <= base + 1 || path.view().substr(0, base) != dir.view().substr(0, base) ||
      path[base] != u'/')
    return false;
  std::size_t name = base;
  while (name < path.length() && path[name] == u'/') ++name;
  return name < path.length() && path.view().substr(name).find(u'/') == std::u16string_view::npos;
}

// The file a rewrite must replace: the target of a symbolic link, so that a
// user's link to a file kept elsewhere stays a link.
NarrowString ResolveTarget(const NarrowString& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr),
                                                         &std::free);
  return real ? NarrowString(real.get()) : path;
}

WideString DirectoryOf(const WideString& path) {
  const std::size_t slash = path.rfind(u'/');
  return slash == WideString::npos ? WideString(u"./") : path.substr(0, slash + 1);
}

}  // namespace

std::string NoCaseKey(const WideString& text) {
  const NarrowString narrow = ToNarrow(text);
  std::string key(narrow.c_str(), narrow.length());
  // strcasecmp folds byte by byte with the locale's tolower.
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

bool AddValue(ConfigEntries* entries, const WideString& key, const WideString& value) {
  for (ConfigEntry& entry : *entries) {
    if (CompareNoCase(entry.key, key) != 0) continue;
    for (const WideString& held : entry.values)
      if (CompareNoCase(held, value) == 0) return false;
    entry.values.push_back(value);
    return true;
  }
  entries->push_back(ConfigEntry{key, {value}});
  return true;
}

void SetValues(ConfigEntries* entries, const WideString& key,
               const std::vector<WideString>& values) {
  for (auto it = entries->begin(); it != entries->end(); ++it) {
    if (CompareNoCase(it->key, key) != 0) continue;
    if (values.empty()) {
      entries->erase(it);
    } else {
      it->values = values;
    }
    return;
  }
  if (!values.empty()) entries->push_back(ConfigEntry{key, values});
}

const std::vector<WideString>* FindValues(const ConfigEntries& entries, const WideString& key) {
  for (const ConfigEntry& entry : entries)
    if (CompareNoCase(entry.key, key) == 0) return &entry.values;
  return nullptr;
}

void ParseConfigText(std::string_view bytes, ConfigEntries* entries) {
  const std::u16string text = DecodeText(bytes);
  EntryIndex index(entries);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    // The key ends at the first "="; the value runs to the line feed and
    // keeps any further "=" and a carriage return.
    const std::size_t found = std::u16string_view(text).substr(start, end - start).find(u'=');
    const std::size_t equals = found == std::u16string_view::npos ? end : start + found;
    WideString key, value;
    if (equals < end) {
      key = Slice(text, start, equals);
      value = Slice(text, equals + 1, end);
    } else {
      key = Slice(text, start, end);
    }
    // A blank line of a CR LF file is as empty as any other blank line.
    const bool blank = value.empty() && (key.empty() || (equals >= end && key == u"\r"));
    if (!blank) index.Add(key, value);
    start = end + 1;
  }
}

std::string FormatConfigText(const ConfigEntries& entries) {
  std::string out;
  for (const ConfigEntry& entry : entries) {
    if (entry.values.empty()) continue;
    const NarrowString key = ToNarrow(entry.key);
    for (const WideString& value : entry.values) {
      const NarrowString narrow = ToNarrow(value);
      out.append(key.c_str(), key.length());
      out.push_back('=');
      out.append(narrow.c_str(), narrow.length());
      out.push_back('\n');
    }
  }
  return out;
}

ConfigReadResult ReadConfigFileChecked(const WideString& path, ConfigEntries* entries) {
  Handle raw = kInvalidHandle;
  const ErrorCode opened = CreateFile(path, kGenericRead, 0, kOpenExisting, &raw, kAttributeNormal);
  if (opened != kErrorSuccess)
    return opened == kErrorFileNotFound ? ConfigReadResult::kAbsent : ConfigReadResult::kUnreadable;
  const ScopedHandle handle(raw);
  std::string bytes;
  for (;;) {
    const std::size_t have = bytes.size();
    bytes.resize(have + kReadChunk);
    std::uint32_t got = 0;
    if (ReadFile(handle.get(), bytes.data() + have, kReadChunk, &got, nullptr) != kErrorSuccess)
      return ConfigReadResult::kUnreadable;  // nothing half-read reaches the model
    bytes.resize(have + got);
    if (got < kReadChunk) break;
  }
  ParseConfigText(bytes, entries);
  return ConfigReadResult::kRead;
}

void ReadConfigFile(const WideString& path, ConfigEntries* entries) {
  ReadConfigFileChecked(path, entries);
}

std::uint32_t CreateFileInDirectory(const WideString& dir, const WideString& prefix,
                                    WideString* out) {
  if (dir.empty()) return kErrorPathNotFound;
  WideString made;
  const ErrorCode err = GetTempFileName(dir, prefix, &made);
  if (err != kErrorSuccess) return err;
  if (!IsEntryOf(made, dir)) {
    // The layer fell back to the temporary directory: not the place asked for.
    DeleteFile(made);
    return kErrorCantWrite;
  }
  *out = made;
  return kErrorSuccess;
}

void WriteConfigFile(const WideString& path, const ConfigEntries& entries) {
  const std::string content = FormatConfigText(entries);
  const WideString target = ToWide(ResolveTarget(ToNarrow(path)));

  struct stat old {};
  const bool hadFile = stat(ToNarrow(target).c_str(), &old) == 0;
  // Renaming over a directory or a device would not replace a settings file.
  if (hadFile && !S_ISREG(old.st_mode)) throw 1;

  WideString tempPath;
  if (CreateFileInDirectory(DirectoryOf(target), u".ordolaunch", &tempPath) != kErrorSuccess)
    throw 1;
  TempFileGuard guard(tempPath);
  Handle raw = kInvalidHandle;
  if (CreateFile(tempPath, kGenericWrite, 0, kOpenExisting, &raw, kAttributeNormal) !=
      kErrorSuccess)
    throw 1;
  ScopedHandle handle(raw);

  for (std::size_t done = 0; done < content.size();) {
    const std::uint32_t piece = static_cast<std::uint32_t>(
        content.size() - done < kWriteChunk ? content.size() - done : kWriteChunk);
    std::uint32_t written = 0;
    if (WriteFile(handle.get(), content.data() + done, piece, &written, nullptr) != kErrorSuccess)
      throw 2;
    done += piece;
  }
  if (hadFile) {
    // The owner is kept where we may (root writing a user's file); a refused
    // change leaves the file ours. The permission bits are kept always.
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
      [[maybe_unused]] const int chowned = fchown(handle.get(), old.st_uid, old.st_gid);
    }
    if (fchmod(handle.get(), old.st_mode & 07777) != 0) throw 2;
  }
  if (fsync(handle.get()) != 0) throw 2;
  handle.Close();

  if (MoveFile(tempPath, target) != kErrorSuccess) throw 2;
  guard.Release();
  // Make the rename itself durable; the new content is complete either way.
  const int dirFd = open(ToNarrow(DirectoryOf(target)).c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
}

}  // namespace ordx
