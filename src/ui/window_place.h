// Where a top-level window goes on the screen: inside the room its screen
// leaves, and where the user had it last time.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace kps::ui {

class DesktopSettings;

// The room a top-level window has for itself: its screen's available area
// (`available` stands in for it when set), less the window manager's frame.
QSize WindowRoom(const QWidget* window, const std::optional<QRect>& available);

// At the window's first show the place the settings kept under `key` is taken
// back (moved on by `cascade` steps, so that a second window of the kind does
// not hide the first), then `fit(restored)` fits it to the screen; at each
// hide the place is kept. With no settings, only `fit(false)` runs.
void KeepPlace(QWidget* window, DesktopSettings* settings, const QString& key,
               std::function<void(bool restored)> fit = {}, int cascade = 0);

}  // namespace kps::ui
