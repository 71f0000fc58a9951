// Renders the configuration wizard in server mode and in client mode to PNG files:
//   wizard_screenshots <output folder>  ->  wizard_server.png, wizard_client.png
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <filesystem>

#include "config/configuration.h"
#include "ui/wizard.h"

namespace {

using namespace tramolin;

bool Render(bool server_mode, const QString& file) {
  TConfig config;
  config.DBHost = "127.0.0.1:";
  config.DBPath = "/srv/bazy/";
  config.DBFile = "velmo.fdb";
  config.Interwal = 5;
  config.ClientHost = "serwer.firma.pl";
  config.AutoNaZadanie = "07:30";
  config.ServerTlsCertificate = "/srv/tramolin/tls/server.pem";
  config.ServerTlsKey = "/srv/tramolin/tls/server.key";
  config.ClientTls = true;
  config.ClientTlsFingerprint =
      "3A:7F:C2:19:E4:5B:08:D1:6C:92:AF:30:4E:B7:15:8D:"
      "C6:21:F9:0A:73:BE:54:E8:1D:96:2C:4F:A0:67:DB:38";
  RunFlags flags;
  flags.ServerMode = server_mode;
  flags.OnDemand = !server_mode;
  flags.AllowList = {"10.0.0.*", "biuro?"};
  WizardEnvironment environment;
  environment.config = &config;
  environment.flags = &flags;
  environment.log = [](std::string_view, int) {};
  TfWizard wizard(environment, server_mode, "2.0.0.1");
  wizard.show();
  QApplication::processEvents();
  return wizard.grab().save(file, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: wizard_screenshots <output folder>\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists() && !QDir().mkpath(folder.path())) return 1;
  const bool ok = Render(true, folder.filePath(QStringLiteral("wizard_server.png"))) &&
                  Render(false, folder.filePath(QStringLiteral("wizard_client.png")));
  return ok ? 0 : 1;
}
