// The key=value files of the platform's starter. Every key and value is kept
// byte for byte as read, so rewriting a file loses no setting the installer
// does not know, whatever its bytes and the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/cow_string.h"

namespace ordx {

struct ConfigEntry {
  WideString key;
  std::vector<WideString> values;
};

using ConfigEntries = std::vector<ConfigEntry>;

inline constexpr char16_t kTemplatesLocationKey[] = u"ConfigurationTemplatesLocation";

// The key's values become exactly `values`; an empty list removes the entry.
void SetValues(ConfigEntries* entries, const WideString& key,
               const std::vector<WideString>& values);
// The values of the key (case-insensitive), or nullptr.
const std::vector<WideString>* FindValues(const ConfigEntries& entries, const WideString& key);

// Starter files larger than this, or with more lines, are left alone: no
// real one comes near, and reading one must not exhaust memory (a model of
// millions of tiny lines takes hundreds of times the file's size).
inline constexpr std::size_t kMaxConfigFileBytes = 16u << 20;
inline constexpr std::size_t kMaxConfigFileLines = 100000;

// Adds the file's lines to `entries`; an unreadable file adds nothing.
void ReadConfigFile(const WideString& path, ConfigEntries* entries);

// What ReadConfigFileChecked found. Only kRead adds anything.
enum class ConfigReadResult { kRead, kAbsent, kUnreadable };
// ReadConfigFile that tells an absent file from one that exists but could
// not be read (also a FIFO, a device, a directory, a file over the size
// limit), so that a caller never rewrites a file it has not seen whole.
ConfigReadResult ReadConfigFileChecked(const WideString& path, ConfigEntries* entries);

// Decodes a whole file's bytes in the locale's encoding and adds its lines
// to `entries`. Bytes that do not decode, zero bytes included, are kept as
// escape units, so the written form gives them back unchanged.
void ParseConfigText(std::string_view bytes, ConfigEntries* entries);
// The bytes WriteConfigFile puts into the file for this model; nothing when
// a key or value cannot be encoded exactly in the locale.
std::optional<std::string> FormatConfigText(const ConfigEntries& entries);

// Replaces the file with the model, atomically: a failure leaves the old file
// as it was and no other file behind. The old file's permission bits (and
// owner, where allowed) are kept, a new file gets 0666 less the umask; a
// symbolic link is written through and stays a link. Throws the int 1 when
// it cannot be created, 2 when the model cannot be encoded or writing fails.
void WriteConfigFile(const WideString& path, const ConfigEntries& entries);

}  // namespace ordx
