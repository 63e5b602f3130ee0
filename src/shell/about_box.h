// frmAbout2: title, version and disclaimer. A double-click on the version
// label reveals the startup window's two debug buttons.
#pragma once

#include <string>

#include "core/controls.h"

namespace kps {

class AppContext;

class AboutBox {
 public:
  explicit AboutBox(AppContext& app);

  Form form{"frmAbout2", ""};
  Label lblTitle{"lblTitle", "Application Title"};
  Label lblVersion{"lblVersion", "Version"};
  Label lblDescription{"lblDescription", "App Description"};
  Label lblDisclaimer_0{"lblDisclaimer_0", "ACCURACY OF INFORMATION"};
  Label lblDisclaimer_1{"lblDisclaimer_1", ""};
  Button cmdOK{"cmdOK", "OK"};
  Button cmdSysInfo{"cmdSysInfo", "&System Info..."};

  // Loads the box (fills its labels) and shows it, not modal.
  void Show();
  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();
  void lblVersion_DblClick();
  // Unloads the box (OK, its close box, or the console's Exit).
  void Unload();

 private:
  AppContext& app_;
};

// The system information for a bug report: the operating system and kernel,
// the toolkit and USB library versions, the USB ids matched, and the state of
// the board link.
std::string SystemInfoReport(const AppContext& app);

}  // namespace kps
