// Installer dialog test harness.
#include "installer_harness.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "kit/kit_builder.h"

namespace ordx::guitest {
namespace fs = std::filesystem;

namespace {

std::string Env(const char* name, bool* had) {
  const char* value = getenv(name);
  *had = value != nullptr;
  return value != nullptr ? value : "";
}

void Restore(const char* name, bool had, const std::string& value) {
  if (had) {
    setenv(name, value.c_str(), 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace

Sandbox::Sandbox() {
  bool unused = false;
  std::string base = Env("TMPDIR", &unused);
  if (base.empty()) base = "/tmp";
  std::string pattern = base + "/installer.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  fs::create_directory(home());
  fs::create_directory(tmp());
  fs::create_directory(kitDir());
  oldHome_ = Env("HOME", &hadHome_);
  oldTmp_ = Env("TMPDIR", &hadTmp_);
  setenv("HOME", home().c_str(), 1);
  setenv("TMPDIR", tmp().c_str(), 1);
  oldCwd_ = fs::current_path().string();
  fs::current_path(kitDir());
}

Sandbox::~Sandbox() {
  std::error_code ec;
  fs::current_path(oldCwd_, ec);
  Restore("HOME", hadHome_, oldHome_);
  Restore("TMPDIR", hadTmp_, oldTmp_);
  fs::remove_all(root_, ec);
}

std::vector<KitFile> StandardKitFiles() {
  return {
      {u"TradeLite\\2.1.4\\manifest.ini", "[Template]\nName=Trade Lite\nVersion=2.1.4\n"},
      {u"TradeLite\\2.1.4\\docs\\readme_en.html", "<html><body>Trade Lite</body></html>\n"},
      {u"TradeLite\\2.1.4\\docs\\readme_de.html", "<html><body>Handel</body></html>\n"},
      {u"TradeLite\\2.1.4\\settings\\defaults.xml", "<settings currency=\"EUR\"/>\n"},
      {u"TradeLite\\2.1.4\\TradeLite.cfg", std::string("configuration.name = TradeLite\n") +
                                               std::string(3000, 'x') + "\n"},
  };
}

std::string StandardKitContainer() {
  kittest::KitBuilder builder;
  builder.AddDescription(u"en", u"Trade Lite 2.1.4", u"Northwind Software",
                         u"TradeLite\\2.1.4\\docs\\readme_en.html");
  builder.AddDescription(u"de", u"Trade Lite 2.1.4 Handelsverwaltung", u"Northwind Software GmbH",
                         u"TradeLite\\2.1.4\\docs\\readme_de.html");
  builder.AddDescription(u"ru", u"Торговля Лайт 2.1.4", u"Нортвинд Софт", u"");
  for (const KitFile& file : StandardKitFiles()) {
    builder.AddFile(file.name, file.bytes, kKitFileTime);
  }
  return builder.Build();
}

void WriteStandardKit(const std::string& path) { kittest::WriteKit(path, StandardKitContainer()); }

std::unique_ptr<CInstallerDlg> NewDialog(bool silent, const char16_t* languageCode) {
  static char program[] = "ordx-install";
  static char* argv[] = {program, nullptr};
  return std::make_unique<CInstallerDlg>(1, argv, silent, NarrowString("Installing configuration"),
                                         WideString(languageCode), /*useCwd=*/true);
}

bool OpenWizard(CInstallerDlg* dialog) {
  if (!dialog->Prepare()) return false;
  dialog->CreateMainWindow();
  dialog->ShowWelcomePage();
  return true;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> out;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return out;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(entry.path(), dir).string();
    if (entry.is_directory()) {
      out.emplace_back(rel + "/", "");
    } else {
      out.emplace_back(rel, ReadFileBytes(entry.path().string()));
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace ordx::guitest
