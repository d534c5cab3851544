// The page tour.
#include "page_tour.h"

#include <filesystem>
#include <fstream>

#include "fs/file_layer.h"
#include "installer_sandbox.h"
#include "kit_packer.h"
#include "window_driver.h"

namespace ordx::guitest {
namespace {

void Click(GtkWidget* button) { Press(button); }

// Kits store their files sorted by name: the worker is held at the last.
constexpr char16_t kHeldFile[] = u"defaults.xml";

// A kit with texts in `languageCode`, packed as ordx-kit packs one.
bool WriteTourKit(const Sandbox& sandbox, const char16_t* languageCode) {
  const std::string source = sandbox.root() + "/source/";
  const std::pair<const char*, std::string> files[] = {
      {"TradeLite.cfg", "configuration.name = TradeLite\n" + std::string(3000, 'x')},
      {"docs/readme.html", "<html><body>Trade Lite</body></html>\n"},
      {"manifest.ini", "[Template]\nName=Trade Lite\nVersion=2.1.4\n"},
      {"settings/defaults.xml", "<settings currency=\"EUR\"/>\n"}};
  for (const auto& [name, bytes] : files) {
    const std::filesystem::path path = source + "TradeLite/2.1.4/" + name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  PackOptions options;
  options.sourceDir = source;
  options.outputPath = sandbox.kitPath();
  options.texts = {{languageCode, u"Trade Lite 2.1.4", u"Northwind Software",
                    u"TradeLite\\2.1.4\\docs\\readme.html"}};
  PackPlan plan;
  std::string error;
  const bool packed = PlanKit(options, [](const std::string&) {}, &plan, &error) &&
                      WritePlannedKit(options, plan, &error);
  if (!packed) ReportFailure("cannot pack the tour's kit: " + error);
  return packed;
}

// One wizard to its end: held at the last file for the progress page, or
// failing there for the error page.
void Tour(const char16_t* languageCode, bool fail, const PageVisitor& visit) {
  Sandbox sandbox;
  if (!WriteTourKit(sandbox, languageCode)) return;
  Gate gate;
  SetFaultHook([&gate, fail](FileOp op, const WideString& path) -> ErrorCode {
    if (op != FileOp::kCreateFile || !path.ends_with(std::u16string_view(kHeldFile))) return 0;
    if (fail) return kErrorInvalidParameter;
    gate.Wait();
    return 0;
  });
  {
    std::unique_ptr<CInstallerDlg> dialog = NewDialog(false, languageCode);
    if (OpenWizard(dialog.get())) {
      Pump();
      if (!fail) visit("1-welcome", *dialog);
      Click(dialog->nextButton());
      Pump();
      if (!fail) visit("2-directory", *dialog);
      DialogAnswerer answerer;
      answerer.Plan(GTK_RESPONSE_OK);
      // Visit once the worker waits at the gate and the loop has had a pass
      // to show the progress posted before it.
      bool settled = false;
      std::function<void()> atProgress = [&] {
        if (!gate.reached || !settled) {
          settled = gate.reached;
          answerer.Later(atProgress);
          return;
        }
        Pump();
        visit("3-progress", *dialog);
        gate.open = true;
      };
      if (!fail) answerer.Later(atProgress);
      Click(dialog->nextButton());
      Pump();
      visit(fail ? "5-error" : "4-success", *dialog);
    }
    gate.open = true;
  }
  SetFaultHook({});
}

}  // namespace

void TourPages(const char16_t* languageCode, const PageVisitor& visit) {
  Tour(languageCode, false, visit);
  Tour(languageCode, true, visit);
}

}  // namespace ordx::guitest
