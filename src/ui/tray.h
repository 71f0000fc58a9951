// The tray icon of a minimised window, coloured by the client's activity state (the program's own
// icon on a server), and its menu: restore, save logs, reconnect a client, open the program's
// folder, the desktop autostart entry, the register-refresh option, close. Without a system tray
// the same menu sits in the window's menu bar and minimising leaves the window minimised.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>
#include <optional>

#include "platform/autostart.h"
#include "ui/file_location.h"

class QMainWindow;

namespace tramolin {

class TDM;

// The six state colours (0 white, 1 grey, 2 red, 3 blue, 4 green, 5 yellow) and, for nullopt, the
// program's own icon, drawn at 16, 32 and 64 pixels.
QIcon StateIcon(std::optional<int> index);

class Tray : public QObject {
  Q_OBJECT

 public:
  // `system_tray`: whether the desktop shows tray icons. The window must outlive the tray.
  // `file_location` shows the program's file; null for the desktop's own.
  Tray(TDM& tdm, QMainWindow& window, bool system_tray,
       std::shared_ptr<FileLocation> file_location = nullptr, QObject* parent = nullptr);
  ~Tray() override;

  bool HasSystemTray() const { return icon_ != nullptr; }
  // Shown while the window is in the tray; false without a system tray.
  bool IconVisible() const { return icon_ != nullptr && icon_->isVisible(); }

  // Shows and restores the window and hides the tray icon.
  void RestoreWindow();
  // The window was minimised: with a system tray it goes there (unless the process is a service
  // without a window).
  void WindowMinimised();
  void SetHint(const QString& hint);
  // The icon of the current activity state (the client side's TrayIconIndex), on the tray and the
  // window.
  void UpdateIcon();

  QMenu& Menu() { return menu_; }
  // Ticks "Autostart" and "Odświeżaj rejestry" as things are now (each time the menu opens).
  void RefreshTicks();

  // The menu's items.
  void SaveLogClick();
  void RestoreClick() { RestoreWindow(); }
  void ReconnectClick();
  // Selects the program's file in the file manager, or opens its folder.
  void OpenFolderClick();
  void AutostartClick();
  void EventsClick();
  void CloseClick();

  QAction* AutostartAction() { return autostart_action_; }
  QAction* EventsAction() { return events_action_; }
  QAction* ReconnectAction() { return reconnect_action_; }

 signals:
  // A menu item's hint, for the status bar.
  void hintShown(QString hint);

 private:
  void BuildMenu();
  void Activated(QSystemTrayIcon::ActivationReason reason);
  bool WindowHidden() const;

  TDM& tdm_;
  QMainWindow& window_;
  QMenu menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  Autostart autostart_;
  std::shared_ptr<FileLocation> file_location_;
  QAction* restore_action_ = nullptr;
  QAction* reconnect_action_ = nullptr;
  QAction* autostart_action_ = nullptr;
  QAction* events_action_ = nullptr;
};

}  // namespace tramolin
