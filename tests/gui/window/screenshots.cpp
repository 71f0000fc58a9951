// Renders the main window and the tray menu into PNG files on Qt's offscreen platform:
//   window_screenshots <output folder>
// Writes server.png (three clients, one at 37 %), client_import.png (a client importing, with the
// gauge), technician.png (the technician's console) and tray_menu.png.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <iostream>

#include "client/client_state.h"
#include "gui/window/window_fixture.h"
#include "server/server_state.h"
#include "shell/tdm.h"
#include "ui/main_window.h"
#include "ui/tray.h"
#include "util/cp1250.h"
#include "util/day_time.h"

namespace {

using namespace tramolin;
using tramolin::testing::ClientSetup;
using tramolin::testing::ServerSetup;
using tramolin::testing::WindowProgram;

WindowOptions QuietOptions() {
  WindowOptions options;
  options.confirm_close = [] { return true; };
  options.message_box = [](const QString&, MessageIcon) {};
  options.system_tray = true;  // the menu as the tray shows it, not in the menu bar
  return options;
}

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
  QApplication::processEvents();
  const QString path = folder.filePath(name);
  const bool saved = widget.grab().save(path, "PNG");
  std::cout << (saved ? "wrote " : "FAILED ") << path.toStdString() << std::endl;
  return saved;
}

double At(int hour, int minute, int second) {
  return ToDayCount({2026, 3, 14, hour, minute, second, 0});
}

TKlientInfo Client(std::string_view description, SlotStatus status, int progress, int copy) {
  TKlientInfo slot;
  slot.Opis = std::string(description);
  slot.Status = status;
  slot.Postep = progress;
  slot.DBNR = copy;
  slot.Wyslano = 1234567LL * copy;
  slot.Odebrano = 98765LL * copy;
  slot.DoWyslZmian = 12 * copy;
  slot.DoOdebrZmian = 3 * copy;
  slot.CzasStart = At(8, 2 * copy, 15);
  slot.OstAktyw = At(9, 26, 40 + copy);
  return slot;
}

bool ServerWindow(const QDir& folder) {
  WindowProgram program("screenshot_server", ServerSetup());
  TfMainTramolin_2 window(program.Tdm(), QuietOptions());
  window.resize(1140, 439);  // wide enough for every column of the grid
  window.show();
  program.Tdm().Server().SetActivityState(kServerReady);
  program.Tdm().Log("Nasłuchiwanie na porcie 17846"_cp, kLogProgress);
  program.Tdm().Log("Połączono z klientem: sklep-lodz/192.168.1.20:50112"_cp, kLogProgress);
  program.Tdm().Log("Zalogowano klienta nr 1 (Sklep Łódź)"_cp, kLogProgress);
  ReplicationServer& server = program.Tdm().Server();
  server.AddSlotWithoutConnection().Slot() = Client("Sklep Łódź"_cp, SlotStatus::kLoggedIn, 0, 1);
  server.AddSlotWithoutConnection().Slot() =
      Client("Magazyn Gdańsk"_cp, SlotStatus::kAwaitingData, 37, 2);
  server.AddSlotWithoutConnection().Slot() =
      Client("Oddział Kraków"_cp, SlotStatus::kImporting, 82, 3);
  for (std::size_t i = 0; i < server.SlotCount(); ++i) {
    server.SlotChanged(*server.SessionAt(static_cast<int>(i)));
  }
  window.UpdateClientGrid();
  window.RefreshStatus();
  return Save(window, folder, "server.png");
}

bool ClientImport(const QDir& folder) {
  WindowProgram program("screenshot_client", ClientSetup());
  TfMainTramolin_2 window(program.Tdm(), QuietOptions());
  window.show();
  TDM& tdm = program.Tdm();
  tdm.Client().SetActivityState(kClientConnecting);
  tdm.Client().SetActivityState(kClientLoggedIn);
  tdm.Log("Zalogowano do serwera replikacji (127.0.0.1, 17846)"_cp, kLogProgress);
  tdm.Log("Pobieranie zmian z serwera ..."_cp, kLogProgress);
  tdm.Client().SetActivityState(6);  // importing the server's changes
  tdm.Client().SetProgress(-1, 64);
  window.RefreshStatus();
  return Save(window, folder, "client_import.png");
}

bool TechnicianConsole(const QDir& folder) {
  WindowProgram program("screenshot_technician", ClientSetup(false, {"-serwis"}));
  TfMainTramolin_2 window(program.Tdm(), QuietOptions());
  window.show();
  TDM& tdm = program.Tdm();
  tdm.Client().SetActivityState(kClientLoggedIn);
  tdm.Log("Serwer: Raport stanu serwera:"_cp, kLogProgress);
  tdm.Log("Serwer: Czas pracy: 0 dni 02:14:07"_cp, kLogProgress);
  tdm.Log("Serwer: Liczba połączonych klientów: 3"_cp, kLogProgress);
  window.RefreshStatus();
  return Save(window, folder, "technician.png");
}

bool TrayMenu(const QDir& folder) {
  WindowProgram program("screenshot_tray", ClientSetup());
  TfMainTramolin_2 window(program.Tdm(), QuietOptions());
  QMenu& menu = window.TrayIcon().Menu();
  menu.popup(QPoint(20, 20));
  QApplication::processEvents();
  const bool saved = Save(menu, folder, "tray_menu.png");
  menu.hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  if (!folder.exists() && !QDir().mkpath(folder.path())) return 1;
  bool ok = ServerWindow(folder);
  ok = ClientImport(folder) && ok;
  ok = TechnicianConsole(folder) && ok;
  ok = TrayMenu(folder) && ok;
  return ok ? 0 : 1;
}
