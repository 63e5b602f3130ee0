#include "shell/about_box.h"

#include <cstdio>

#include "core/text.h"
#include "shell/app_context.h"
#include "shell/app_identity.h"

namespace kps {

namespace {

constexpr const char* kDisclaimer =
    "The information in this program and in the documents that come with it is believed to be "
    "accurate, but no responsibility is assumed for its use. Specifications and behaviour are "
    "subject to change without notice.";

const char* YesNo(bool b) {
  return b ? "yes" : "no";
}

std::string LampState(const Lamp& lamp) {
  return lamp.caption() + " " + PaletteName(lamp.fillColor());
}

}  // namespace

AboutBox::AboutBox(AppContext& app) : app_(app) {
  lblDisclaimer_1.setCaption(kDisclaimer);
  cmdOK.onClick = [this] { cmdOK_Click(); };
  cmdSysInfo.onClick = [this] { cmdSysInfo_Click(); };
  lblVersion.onDblClick = [this] { lblVersion_DblClick(); };
}

void AboutBox::Show() {
  // Opening it again while it is open brings it back to the front, as a new box would be.
  if (form.visible()) form.setVisible(false);
  Form_Load();
  form.setVisible(true);
}

void AboutBox::Form_Load() {
  form.setCaption(std::string("About ") + kAppTitle);
  lblVersion.setCaption("Version " + std::to_string(kVersionMajor) + "." +
                        std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision));
  lblDescription.setCaption(kAppDescription);
  lblTitle.setCaption(kAppTitle);
}

void AboutBox::cmdOK_Click() {
  Unload();
}

void AboutBox::Unload() {
  form.setVisible(false);
}

void AboutBox::cmdSysInfo_Click() {
  app_.toolkit.ShowReport("System Information", SystemInfoReport(app_));
}

void AboutBox::lblVersion_DblClick() {
  app_.startup.goto_adaptive.setVisible(true);
  app_.startup.goto_x28.setVisible(true);
}

std::string SystemInfoReport(const AppContext& app) {
  const BoardLink& board = app.board;
  std::string out;
  auto line = [&out](const std::string& key, const std::string& value) {
    out += key + ": " + value + "\n";
  };
  line("Program", std::string(kAppTitle) + ", version " + kVersionText);
  const PlatformInfo platform = app.toolkit.Platform();
  line("Operating system", platform.operatingSystem);
  line("Kernel", platform.kernel);
  line("Toolkit", platform.toolkit);
  line("USB access", board.transport().Description());
  if (!app.usbLibraryVersion.empty()) line("USB library", app.usbLibraryVersion);
  line("Board USB id matched", UsbIdText(board.match()));
  line("Driver session open", YesNo(board.hDriver > 0));
  line("Board attached", YesNo(board.DeviceAttached));
  line("Device information obtained", YesNo(board.UsbConnected));
  line("Session held between operations", YesNo(board.SessionHeld));
  if (board.deviceInfo) {
    const DeviceInfo& info = *board.deviceInfo;
    char dev[96];
    std::snprintf(dev, sizeof dev, "%04x:%04x, version %x.%02x, bus %u address %u", info.vendorId,
                  info.productId, info.deviceVersion >> 8, info.deviceVersion & 0xFF,
                  info.busNumber, info.deviceAddress);
    line("Board", dev);
    if (!info.manufacturer.empty()) line("Board maker", info.manufacturer);
    if (!info.product.empty()) line("Board product", info.product);
    if (!info.serial.empty()) line("Board serial number", info.serial);
  }
  line("Last USB status",
       std::to_string(board.LastUsbStatus) + " (" + UsbStatusText(board.LastUsbStatus) + ")");
  line("I2C address", board.I2CWriteAddress == 0 ? std::string("not chosen yet")
                                                 : HexByte(board.I2CWriteAddress) + " write, " +
                                                       HexByte(board.I2CReadAddress) + " read");
  const StartupWindow& s = app.startup;
  line("Lamps", LampState(s.Shp_USB_Init) + ", " + LampState(s.lamps.ShpAttach) + ", " +
                    LampState(s.lamps.Shp_USB_Info) + ", " + LampState(s.lamps.Shp_USB_Transfer));
  return out;
}

}  // namespace kps
