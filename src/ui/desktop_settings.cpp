#include "ui/desktop_settings.h"

#include <QDir>
#include <QSettings>

#include <cstdio>

namespace kps::ui {

DesktopSettings::DesktopSettings()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("kps-eval"),
                                            QStringLiteral("kps-eval"))) {
  Check("read");
}

DesktopSettings::DesktopSettings(const QString& file)
    : settings_(std::make_unique<QSettings>(file, QSettings::IniFormat)) {
  Check("read");
}

DesktopSettings::~DesktopSettings() = default;

QString DesktopSettings::fileName() const {
  return settings_->fileName();
}

void DesktopSettings::Check(const char* doing) const {
  if (settings_->status() == QSettings::NoError || complained_) return;
  complained_ = true;
  const char* why = settings_->status() == QSettings::FormatError ? "it is not a settings file"
                                                                  : "it cannot be reached";
  std::fprintf(stderr,
               "kps-eval: the settings file %s cannot be %s (%s): window places, folders and "
               "recent scripts are not remembered this time\n",
               qPrintable(QDir::toNativeSeparators(fileName())), doing, why);
}

QVariant DesktopSettings::Read(const QString& key) const {
  const QVariant value = settings_->value(key);
  Check("read");
  return value;
}

void DesktopSettings::Write(const QString& key, const QVariant& value) {
  settings_->setValue(key, value);
  settings_->sync();
  Check("written");
}

QByteArray DesktopSettings::windowGeometry(const QString& window) const {
  return Read(QStringLiteral("windows/") + window).toByteArray();
}

void DesktopSettings::setWindowGeometry(const QString& window, const QByteArray& geometry) {
  Write(QStringLiteral("windows/") + window, geometry);
}

QString DesktopSettings::lastFolder(const QString& dialog) const {
  const QString folder = Read(QStringLiteral("folders/") + dialog).toString();
  return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

void DesktopSettings::setLastFolder(const QString& dialog, const QString& folder) {
  Write(QStringLiteral("folders/") + dialog, folder);
}

QStringList DesktopSettings::recentScripts() const {
  QStringList recent = Read(QStringLiteral("scripts/recent")).toStringList();
  recent.removeAll(QString());
  recent.removeDuplicates();
  return recent.mid(0, kRecentScripts);
}

void DesktopSettings::addRecentScript(const QString& path) {
  QStringList recent = recentScripts();
  recent.removeAll(path);
  recent.prepend(path);
  Write(QStringLiteral("scripts/recent"), recent.mid(0, kRecentScripts));
}

}  // namespace kps::ui
