// Installer test harness: the sandbox and dialogs of tools/, the standard
// kit, and files compared byte for byte.
#pragma once

#include <string>
#include <vector>

#include "installer_sandbox.h"
#include "support/deadline.h"
#include "support/temp_tree.h"

namespace ordx::guitest {

struct KitFile { std::u16string name; std::string bytes; };  // name as stored, "\" separators
// In stored order; the last is ".../TradeLite.cfg".
std::vector<KitFile> StandardKitFiles();
// English and German texts, or only `languageCode`'s when given.
void WriteStandardKit(const std::string& path, const char16_t* languageCode = nullptr);
// Every standard kit file below `dir` (ending in "/") with its bytes.
void ExpectStandardFilesIn(const std::string& dir);

// The fault-hook test for the standard kit's last file.
bool IsLastFile(FileOp op, const WideString& path);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
// Every path from `dir` down with its bytes ("/" for a directory).
testsupport::Tree Snapshot(const std::string& dir);

}  // namespace ordx::guitest
