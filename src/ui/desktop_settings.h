// What the program remembers between runs, in the user's config folder
// ($XDG_CONFIG_HOME/kps-eval/kps-eval.conf): where each window was and how big,
// the folder each file dialog was last left in, and the scripts loaded last.
// The controls' starting values (interval, file names, Append, addresses) are
// not kept: the windows set them at load. A settings file that cannot be read
// or written stops nothing: the program says so once on stderr and goes on
// with the defaults.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class QSettings;

namespace kps::ui {

class DesktopSettings {
 public:
  // The user's settings file.
  DesktopSettings();
  // A settings file of its own.
  explicit DesktopSettings(const QString& file);
  ~DesktopSettings();
  DesktopSettings(const DesktopSettings&) = delete;
  DesktopSettings& operator=(const DesktopSettings&) = delete;

  static constexpr int kRecentScripts = 6;

  // As QWidget::saveGeometry gives it; empty when none was kept.
  QByteArray windowGeometry(const QString& window) const;
  void setWindowGeometry(const QString& window, const QByteArray& geometry);
  // The folder a file dialog was last left in; empty when none (or it is gone).
  QString lastFolder(const QString& dialog) const;
  void setLastFolder(const QString& dialog, const QString& folder);
  // Newest first, at most kRecentScripts.
  QStringList recentScripts() const;
  void addRecentScript(const QString& path);

  QString fileName() const;
  // False once a read or a write has failed.
  bool healthy() const { return !complained_; }

 private:
  QVariant Read(const QString& key) const;
  void Write(const QString& key, const QVariant& value);
  // Says once on stderr that the file cannot be read or written.
  void Check(const char* doing) const;

  std::unique_ptr<QSettings> settings_;
  mutable bool complained_ = false;
};

}  // namespace kps::ui
