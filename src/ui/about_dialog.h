// frmAbout2 on screen: title, version, description, the disclaimer and the
// two buttons. Not modal. Layout and bindings only.
#pragma once

#include <QDialog>

#include "shell/about_box.h"

namespace kps::ui {

class AboutDialog : public QDialog {
 public:
  explicit AboutDialog(AboutBox& model, QWidget* parent = nullptr);

 protected:
  // Escape and the close box unload the box, as "OK" does.
  void reject() override;

 private:
  AboutBox& model_;
};

}  // namespace kps::ui
