#include "ui/file_location.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

namespace tramolin {
namespace {

constexpr char kFileManagerService[] = "org.freedesktop.FileManager1";
constexpr char kFileManagerPath[] = "/org/freedesktop/FileManager1";
// Long enough for the bus to start a file manager that is not running yet.
constexpr int kFileManagerTimeoutMs = 10'000;

}  // namespace

void ShowFileLocation(FileLocation& desktop, const QString& file, const QString& folder) {
  if (file.isEmpty()) {
    desktop.OpenFolder(folder);
    return;
  }
  desktop.SelectInFileManager(file, [&desktop, folder](bool shown) {
    if (!shown) desktop.OpenFolder(folder);
  });
}

void DesktopFileLocation::SelectInFileManager(const QString& file,
                                              std::function<void(bool shown)> done) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    done(false);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kFileManagerService, kFileManagerPath,
                                                     kFileManagerService, "ShowItems");
  call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();  // no startup id
  auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(call, kFileManagerTimeoutMs), this);
  connect(answer, &QDBusPendingCallWatcher::finished, this,
          [done = std::move(done)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            done(!finished->isError());
          });
}

void DesktopFileLocation::OpenFolder(const QString& folder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace tramolin
