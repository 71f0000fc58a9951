// Showing the program's file to the user: selected in a window of the desktop's file manager
// where one offers that on the session bus (org.freedesktop.FileManager1), else its folder opened.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace tramolin {

// What the desktop offers for showing a file.
class FileLocation {
 public:
  virtual ~FileLocation() = default;
  // Asks a file manager for a window with `file` selected; `done` says whether one did, now or
  // later, and is never called once this object is gone.
  virtual void SelectInFileManager(const QString& file, std::function<void(bool shown)> done) = 0;
  // Opens the folder with the desktop's handler for folders.
  virtual void OpenFolder(const QString& folder) = 0;
};

// Selects `file` where the desktop can; otherwise, and for an empty path, opens `folder`.
void ShowFileLocation(FileLocation& desktop, const QString& file, const QString& folder);

// The desktop of this session: ShowItems of org.freedesktop.FileManager1 over D-Bus, answered
// without blocking the event loop.
class DesktopFileLocation final : public QObject, public FileLocation {
 public:
  void SelectInFileManager(const QString& file, std::function<void(bool shown)> done) override;
  void OpenFolder(const QString& folder) override;
};

}  // namespace tramolin
