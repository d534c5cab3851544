// Reading and writing the starter's key=value files. The reader decodes the
// whole file at once and keeps every key and value exactly as found, bytes
// that do not decode included; the writer replaces the file through a
// temporary file in the same directory, so the user's settings survive any
// failure half way.
#include "config/config_file.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "fs/whole_file.h"
#include "text/convert.h"

namespace ordx {
namespace {

WideString Slice(const std::u16string& text, std::size_t begin, std::size_t end) {
  return WideString(text.data() + begin, end - begin);
}

// Key and value lookups for one read, equal to pairwise CompareNoCase tests
// of every key and value but without their quadratic cost on big files. A value
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

}  // namespace

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
  const std::u16string text = DecodeBytes(bytes);
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

std::optional<std::string> FormatConfigText(const ConfigEntries& entries) {
  std::string out;
  std::string key, value;
  for (const ConfigEntry& entry : entries) {
    if (entry.values.empty()) continue;
    if (!EncodeBytes(entry.key.view(), &key)) return std::nullopt;
    for (const WideString& held : entry.values) {
      if (!EncodeBytes(held.view(), &value)) return std::nullopt;
      out += key;
      out.push_back('=');
      out += value;
      out.push_back('\n');
    }
  }
  return out;
}

ConfigReadResult ReadConfigFileChecked(const WideString& path, ConfigEntries* entries) {
  std::string bytes;
  const ErrorCode read = ReadWholeFile(path, kMaxConfigFileBytes, &bytes);
  if (read == kErrorFileNotFound) return ConfigReadResult::kAbsent;
  // Nothing half-read reaches the model.
  if (read != kErrorSuccess) return ConfigReadResult::kUnreadable;
  // A last line without a line feed is a line too.
  const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) +
                            (!bytes.empty() && bytes.back() != '\n' ? 1 : 0);
  if (lines > kMaxConfigFileLines) return ConfigReadResult::kUnreadable;
  ParseConfigText(bytes, entries);
  return ConfigReadResult::kRead;
}

void ReadConfigFile(const WideString& path, ConfigEntries* entries) {
  ReadConfigFileChecked(path, entries);
}

void WriteConfigFile(const WideString& path, const ConfigEntries& entries) {
  // A key or value the locale cannot encode would be written as another
  // text: nothing is written then.
  const std::optional<std::string> content = FormatConfigText(entries);
  if (!content) throw 2;
  const ErrorCode written = ReplaceWholeFile(path, *content);
  if (written == kErrorWriteFault) throw 2;
  if (written != kErrorSuccess) throw 1;
}

}  // namespace ordx
