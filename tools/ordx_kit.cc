// ordx-kit: makes, lists and checks distribution kits for the people who
// build them, with the same reader and decompression as the installer.
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "kit/kit_reader.h"
#include "kit_packer.h"
#include "text/convert.h"
#include "text/utf8.h"

namespace ordx {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage:\n"
    "  ordx-kit pack SOURCE_DIR -o KIT [options]\n"
    "      Packs every regular file below SOURCE_DIR into KIT. Symbolic links\n"
    "      are not followed. Entries are stored in a fixed order, so the same\n"
    "      tree and options give the same kit.\n"
    "      --lang CODE PRODUCT VENDOR DESCPATH\n"
    "                       texts for one language (repeat for more languages)\n"
    "      --single PRODUCT VENDOR DESCPATH\n"
    "                       texts in the single-language layout (read as \"en\")\n"
    "      --level N        compression level 0-9 (default 9)\n"
    "      --precise-times  keep times to 100 ns instead of whole seconds\n"
    "  ordx-kit list KIT [--texts]\n"
    "      Prints size, time (FILETIME) and name of every entry, tab-separated;\n"
    "      with --texts the descriptions: code, product, vendor, description path.\n"
    "  ordx-kit verify KIT\n"
    "      Exits 0 when KIT opens and every entry lies inside its data.\n"
    "  ordx-kit --help\n"
    "  ordx-kit --version\n";

void Error(const std::string& message) { std::fprintf(stderr, "ordx-kit: %s\n", message.c_str()); }

int UsageError(const std::string& message) {
  Error(message);
  std::fprintf(stderr, "Try 'ordx-kit --help'.\n");
  return kExitUsage;
}

bool TextArgument(const char* arg, std::u16string* out) {
  if (Utf8ToUtf16(arg, out)) return true;
  Error(std::string("argument is not valid UTF-8: ") + arg);
  return false;
}

std::string Utf8(const WideString& text) { return Utf16ToUtf8(text.view()); }

std::string OpenFailure(const std::string& kit, ErrorCode code) {
  switch (code) {
    case kErrorFileNotFound:
      return kit + ": no such file, or not a regular file";
    case kErrorInvalidData:
      return kit + ": damaged kit (bad compressed data, an inconsistent container, or beyond "
                   "the kit limits)";
    case kErrorDiskFull:
      return kit + ": unpacked, it would not fit into the temporary directory";
    default:
      return kit + ": cannot be read (error " + std::to_string(code) + ")";
  }
}

// Opens the kit named on the command line. Paths go to the file layer in
// the locale's encoding, exactly as the installer's own paths do.
bool OpenKit(const std::string& kit, KitReader* reader) {
  const ErrorCode rc = reader->Open(ToWide(NarrowString(kit.c_str())));
  if (rc == kErrorSuccess) return true;
  Error(OpenFailure(kit, rc));
  return false;
}

// The texts of one --lang or --single, read from the arguments that follow
// the option, in order.
bool TextArguments(char** argv, std::initializer_list<std::u16string*> texts) {
  for (std::u16string* text : texts)
    if (!TextArgument(*argv++, text)) return false;
  return true;
}

// Reads pack's arguments into `options`: 0 when they make a whole request,
// else the exit status to end with.
int ParsePackArguments(int argc, char** argv, PackOptions* options) {
  bool haveSource = false;
  bool haveLang = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    const int left = argc - i - 1;
    if (arg == "-o") {
      if (left < 1) return UsageError("-o needs a file name");
      options->outputPath = argv[++i];
    } else if (arg == "--lang") {
      if (left < 4) return UsageError("--lang needs CODE PRODUCT VENDOR DESCPATH");
      PackText t;
      if (!TextArguments(argv + i + 1, {&t.code, &t.product, &t.vendor, &t.descriptionPath}))
        return kExitUsage;
      if (t.code.empty()) return UsageError("--lang needs a non-empty language code");
      options->texts.push_back(std::move(t));
      haveLang = true;
      i += 4;
    } else if (arg == "--single") {
      if (left < 3) return UsageError("--single needs PRODUCT VENDOR DESCPATH");
      if (options->singleLanguage) return UsageError("--single may be given only once");
      PackText t;
      t.code = u"en";
      if (!TextArguments(argv + i + 1, {&t.product, &t.vendor, &t.descriptionPath}))
        return kExitUsage;
      options->texts.push_back(std::move(t));
      options->singleLanguage = true;
      i += 3;
    } else if (arg == "--level") {
      if (left < 1) return UsageError("--level needs a number");
      const std::string value = argv[++i];
      if (value.size() != 1 || value[0] < '0' || value[0] > '9')
        return UsageError("--level must be a number from 0 to 9");
      options->level = value[0] - '0';
    } else if (arg == "--precise-times") {
      options->preciseTimes = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (!haveSource) {
      options->sourceDir = arg;
      haveSource = true;
    } else {
      return UsageError("unexpected argument " + arg);
    }
  }
  if (!haveSource) return UsageError("pack needs a SOURCE_DIR");
  if (options->outputPath.empty()) return UsageError("pack needs -o KIT");
  if (haveLang && options->singleLanguage)
    return UsageError("--single and --lang cannot be combined");
  return 0;
}

int Pack(int argc, char** argv) {
  PackOptions options;
  if (const int status = ParsePackArguments(argc, argv, &options); status != 0) return status;
  PackPlan plan;
  std::string error;
  const auto warn = [](const std::string& m) {
    std::fprintf(stderr, "ordx-kit: warning: %s\n", m.c_str());
  };
  if (!PlanKit(options, warn, &plan, &error) || !WritePlannedKit(options, plan, &error)) {
    Error(error);
    return kExitFailure;
  }
  return 0;
}

int List(int argc, char** argv) {
  std::string kit;
  bool texts = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--texts") {
      texts = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (kit.empty()) {
      kit = arg;
    } else {
      return UsageError("unexpected argument " + arg);
    }
  }
  if (kit.empty()) return UsageError("list needs a KIT");
  KitReader reader;
  if (!OpenKit(kit, &reader)) return kExitFailure;
  if (texts) {
    for (const KitDescription& d : reader.descriptions())
      std::printf("%s\t%s\t%s\t%s\n", Utf8(d.languageCode).c_str(), Utf8(d.product).c_str(),
                  Utf8(d.vendor).c_str(), Utf8(d.descriptionPath).c_str());
  } else {
    for (const KitEntry& e : reader.entries())
      std::printf("%u\t%llu\t%s\n", static_cast<unsigned>(e.dataSize),
                  static_cast<unsigned long long>(e.lastWriteTime), Utf8(e.name).c_str());
  }
  if (std::fflush(stdout) != 0) {
    Error(std::string("cannot write the listing: ") + std::strerror(errno));
    return kExitFailure;
  }
  return 0;
}

int Verify(int argc, char** argv) {
  if (argc != 1 || (argv[0][0] == '-' && argv[0][1] != '\0'))
    return UsageError("verify needs exactly one KIT");
  const std::string kit = argv[0];
  KitReader reader;
  if (!OpenKit(kit, &reader)) return kExitFailure;
  int bad = 0;
  for (const KitEntry& e : reader.entries()) {
    const std::uint64_t end = static_cast<std::uint64_t>(e.dataOffset) + e.dataSize;
    if (end <= reader.unpackedSize()) continue;
    ++bad;
    Error(kit + ": entry " + Utf8(e.name) + " (offset " +
          std::to_string(e.dataOffset - reader.dataStart()) + ", size " +
          std::to_string(e.dataSize) + ") runs past the end of the data, which has " +
          std::to_string(reader.unpackedSize() - reader.dataStart()) + " bytes");
  }
  if (bad != 0) {
    Error(kit + ": " + std::to_string(bad) + " of " + std::to_string(reader.entries().size()) +
          " entries cannot be installed");
    return kExitFailure;
  }
  std::printf("%s: ok, %zu entries, %zu descriptions, %llu bytes unpacked\n", kit.c_str(),
              reader.entries().size(), reader.descriptions().size(),
              static_cast<unsigned long long>(reader.unpackedSize()));
  return 0;
}

int Main(int argc, char** argv) {
  // Kit paths reach the file layer in the locale's encoding, but this tool
  // takes every name as UTF-8: under the C locale a kit named in UTF-8 would
  // be reported missing.
  EnsureEnvironmentLocale();
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    if (argc > 2) return UsageError("--version takes no arguments");
    std::printf("ordx-kit %s\n", ORDX_VERSION);  // from the project's version in CMake
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
  }
  if (command == "pack") return Pack(argc - 2, argv + 2);
  if (command == "list") return List(argc - 2, argv + 2);
  if (command == "verify") return Verify(argc - 2, argv + 2);
  return UsageError("unknown command " + command);
}

}  // namespace
}  // namespace ordx

int main(int argc, char** argv) { return ordx::Main(argc, argv); }
