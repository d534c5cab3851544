// Installer dialog test harness.
#include "support/installer_harness.h"

#include <algorithm>
#include <filesystem>

#include "kit_forge.h"
#include "support/temp_tree.h"

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

std::string ReadFileBytes(const std::string& path) { return testsupport::ReadIfAny(path).value_or(""); }

void WriteFileBytes(const std::string& path, const std::string& bytes) { testsupport::WriteBytes(path, bytes); }

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

testsupport::Tree Snapshot(const std::string& dir) {
  return testsupport::ListTree(dir, [](const fs::path& path) { return fs::is_directory(path) ? "/" : ReadFileBytes(path); });
}

}  // namespace ordx::guitest
