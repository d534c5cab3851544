// Packing a directory tree into a kit. The whole layout (files, stored
// names, times, offsets, the container header) is planned first, so every
// refusal comes before anything is written; then the contents are streamed
// through raw deflate, one buffer at a time, into the kit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fs/file_layer.h"

namespace ordx {

struct PackText {
  std::u16string code;  // unused in the single-language layout
  std::u16string product;
  std::u16string vendor;
  std::u16string descriptionPath;
};

struct PackOptions {
  std::string sourceDir;
  std::string outputPath;
  bool singleLanguage = false;  // exactly one text, written without a code
  std::vector<PackText> texts;
  int level = 9;
  bool preciseTimes = false;  // keep 100 ns precision instead of whole seconds
};

struct PackFile {
  std::string sourcePath;  // where the bytes are read from
  std::u16string name;     // as stored: relative, "\" separators
  std::string sortKey;     // UTF-8 of the stored name; entries are in this order
  std::uint64_t size = 0;
  FILETIME time = 0;
  std::uint32_t offset = 0;  // from the start of the data region
};

struct PackPlan {
  std::vector<PackFile> files;
  std::string header;  // every container byte before the data region
  std::uint64_t containerSize = 0;
};

using PackWarning = std::function<void(const std::string& message)>;

// Walks the source tree (symbolic links and special files are skipped with a
// warning) and lays the container out. False with `error` set when the tree
// cannot become a kit, which includes every tree beyond kit_limits.h.
bool PlanKit(const PackOptions& options, const PackWarning& warn, PackPlan* plan,
             std::string* error);

// Streams the planned kit into a temporary file beside the output and
// renames it into place only when complete; a failure leaves no output.
bool WritePlannedKit(const PackOptions& options, const PackPlan& plan, std::string* error);

// The container bytes before the data region for these texts and files.
std::string EncodeContainerHeader(bool singleLanguage, const std::vector<PackText>& texts,
                                  const std::vector<PackFile>& files);

// Modification time as a kit time; false when it lies before 1601 or too
// far in the future to be counted.
bool KitTimeFromPosix(std::int64_t seconds, std::int64_t nanoseconds, bool precise, FILETIME* out);

}  // namespace ordx
