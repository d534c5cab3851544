// Installer dialog test harness.
#include "support/installer_harness.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/kit_builder.h"

namespace ordx::guitest {
namespace fs = std::filesystem;

std::vector<KitFile> StandardKitFiles() {
  return {
      {u"TradeLite\\2.1.4\\manifest.ini", "[Template]\nName=Trade Lite\nVersion=2.1.4\n"},
      {u"TradeLite\\2.1.4\\docs\\readme_en.html", "<html><body>Trade Lite</body></html>\n"},
      {u"TradeLite\\2.1.4\\docs\\readme_de.html", "<html><body>Handel</body></html>\n"},
      {u"TradeLite\\2.1.4\\settings\\defaults.xml", "<settings currency=\"EUR\"/>\n"},
      {u"TradeLite\\2.1.4\\TradeLite.cfg", "configuration.name = TradeLite\n" + std::string(3000, 'x')},
  };
}

void WriteStandardKit(const std::string& path, const char16_t* languageCode) {
  kittest::KitBuilder builder;
  const char16_t* doc = u"TradeLite\\2.1.4\\docs\\readme_en.html";
  builder.AddDescription(languageCode ? languageCode : u"en", u"Trade Lite 2.1.4", u"Northwind Software", doc);
  if (languageCode == nullptr) {
    builder.AddDescription(u"de", u"Trade Lite 2.1.4 Handel", u"Northwind Software GmbH",
                           u"TradeLite\\2.1.4\\docs\\readme_de.html");
  }
  for (const KitFile& file : StandardKitFiles()) builder.AddFile(file.name, file.bytes);
  kittest::WriteKit(path, builder.Build());
}

void ExpectStandardFilesIn(const std::string& dir) {
  for (const KitFile& file : StandardKitFiles()) {
    std::string name(file.name.begin(), file.name.end());  // ASCII names
    std::replace(name.begin(), name.end(), '\\', '/');
    EXPECT_EQ(ReadFileBytes(dir + name), file.bytes) << dir + name;
  }
}

bool IsLastFile(FileOp op, const WideString& path) {
  return op == FileOp::kCreateFile && path.ends_with(std::u16string_view(u"TradeLite.cfg"));
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> out;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
    const std::string rel = fs::relative(entry.path(), dir).string();
    out.emplace_back(entry.is_directory() ? rel + "/" : rel,
                     entry.is_directory() ? "" : ReadFileBytes(entry.path().string()));
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace ordx::guitest
