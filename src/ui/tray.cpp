#include "ui/tray.h"

#include <QMainWindow>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <stdexcept>

#include "platform/system_info.h"
#include "shell/tdm.h"
#include "ui/ui_text.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

// 0 white, 1 grey, 2 red, 3 blue, 4 green, 5 yellow.
constexpr std::array<QRgb, 6> kStateColours = {0xffffffff, 0xff9a9a9a, 0xffe02020,
                                               0xff2a6fe0, 0xff22b03a, 0xfff2d21a};

// The state figure: a ball in the state's colour with a dark rim and a light spot.
QPixmap StateFigure(QColor colour, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal unit = size / 16.0;
  const QRectF ball(1 * unit, 1 * unit, 14 * unit, 14 * unit);
  QRadialGradient shade(ball.center() - QPointF(2 * unit, 2 * unit), 8 * unit);
  shade.setColorAt(0, colour.lighter(130));
  shade.setColorAt(1, colour.darker(115));
  painter.setBrush(shade);
  painter.setPen(QPen(QColor(40, 40, 40), unit));
  painter.drawEllipse(ball);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 170));
  painter.drawEllipse(QRectF(4 * unit, 3.5 * unit, 4 * unit, 3 * unit));
  return pixmap;
}

// An arrow along y from x0 to x1 with its head at x1.
void Arrow(QPainter& painter, qreal x0, qreal x1, qreal y, qreal unit) {
  painter.drawLine(QPointF(x0, y), QPointF(x1, y));
  const qreal back = x1 > x0 ? -3 * unit : 3 * unit;
  QPainterPath head;
  head.moveTo(x1 + (x1 > x0 ? unit : -unit), y);
  head.lineTo(x1 + back, y - 2.5 * unit);
  head.lineTo(x1 + back, y + 2.5 * unit);
  head.closeSubpath();
  painter.fillPath(head, painter.pen().color());
}

// The program's own figure: two opposite arrows (one copy to another and back) on a dark tile.
QPixmap ProgramFigure(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal unit = size / 16.0;
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x4e, 0x79));
  painter.drawRoundedRect(QRectF(0.5 * unit, 0.5 * unit, 15 * unit, 15 * unit), 3 * unit, 3 * unit);
  painter.setPen(QPen(QColor(0xff, 0xff, 0xff), 1.6 * unit, Qt::SolidLine, Qt::FlatCap));
  Arrow(painter, 3 * unit, 11.5 * unit, 5.5 * unit, unit);
  painter.setPen(QPen(QColor(0xf2, 0xd2, 0x1a), 1.6 * unit, Qt::SolidLine, Qt::FlatCap));
  Arrow(painter, 13 * unit, 4.5 * unit, 10.5 * unit, unit);
  return pixmap;
}

}  // namespace

QIcon StateIcon(std::optional<int> index) {
  QIcon icon;
  for (const int size : {16, 32, 64}) {
    if (index && *index >= 0 && *index < static_cast<int>(kStateColours.size())) {
      icon.addPixmap(StateFigure(QColor::fromRgba(kStateColours[*index]), size));
    } else {
      icon.addPixmap(ProgramFigure(size));
    }
  }
  return icon;
}

Tray::Tray(TDM& tdm, QMainWindow& window, bool system_tray,
           std::shared_ptr<FileLocation> file_location, QObject* parent)
    : QObject(parent),
      tdm_(tdm),
      window_(window),
      menu_(QStringLiteral("Tramolin")),
      file_location_(file_location ? std::move(file_location)
                                   : std::make_shared<DesktopFileLocation>()) {
  BuildMenu();
  if (system_tray) {
    icon_ = std::make_unique<QSystemTrayIcon>();
    icon_->setContextMenu(&menu_);
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &Tray::Activated);
  }
  restore_action_->setVisible(HasSystemTray());
  UpdateIcon();
}

Tray::~Tray() = default;

void Tray::BuildMenu() {
  auto add = [this](std::string_view text, std::string_view hint, void (Tray::*handler)()) {
    QAction* action = menu_.addAction(UiText(text));
    if (!hint.empty()) action->setStatusTip(UiText(hint));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  add("Zapisz log"_cp, "Zapisz informacje o czasie pracy do plików log"_cp, &Tray::SaveLogClick);
  restore_action_ = add("Przywróć"_cp, "Wyświetl główne okno tramolina"_cp, &Tray::RestoreClick);
  reconnect_action_ = add("Rozłącz / połącz"_cp, "", &Tray::ReconnectClick);
  add("Otwórz lokalizację pliku ..."_cp, "", &Tray::OpenFolderClick);
  menu_.addSeparator();
  autostart_action_ = add("Autostart"_cp, "Uruchamiaj wraz z sesją pulpitu (autostart XDG)"_cp,
                          &Tray::AutostartClick);
  events_action_ =
      add("Odświeżaj rejestry"_cp, "Automatycznie odświeżaj rejestry po replikacji danych ..."_cp,
          &Tray::EventsClick);
  menu_.addSeparator();
  add("Zamknij"_cp, "Zakończ pracę tramolina"_cp, &Tray::CloseClick);

  autostart_action_->setCheckable(true);
  events_action_->setCheckable(true);
  const bool server = tdm_.ServerMode();
  reconnect_action_->setVisible(!server);
  reconnect_action_->setEnabled(!server);
  connect(&menu_, &QMenu::aboutToShow, this, &Tray::RefreshTicks);
  connect(&menu_, &QMenu::hovered, this,
          [this](QAction* action) { emit hintShown(action->statusTip()); });
  RefreshTicks();
}

void Tray::RefreshTicks() {
  autostart_action_->setChecked(autostart_.IsAutostartEnabled());
  events_action_->setChecked(tdm_.Config().Events);
}

bool Tray::WindowHidden() const { return !tdm_.ShowsWindow(); }

void Tray::RestoreWindow() {
  try {
    window_.show();
  } catch (...) {
  }
  window_.setWindowState((window_.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window_.raise();
  window_.activateWindow();
  if (icon_) icon_->hide();
}

void Tray::WindowMinimised() {
  if (WindowHidden() || !icon_) return;
  icon_->show();
  // Hidden once the minimisation is through: showMinimized() shows the window after the state
  // change that brought us here.
  QMetaObject::invokeMethod(
      this,
      [this] {
        try {
          if (window_.isMinimized()) window_.hide();
        } catch (...) {
        }
      },
      Qt::QueuedConnection);
}

void Tray::Activated(QSystemTrayIcon::ActivationReason reason) {
  // Desktops that follow the StatusNotifier rules report a single click as Trigger.
  if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
    RestoreWindow();
  }
}

void Tray::SetHint(const QString& hint) {
  if (icon_) icon_->setToolTip(hint);
}

void Tray::UpdateIcon() {
  const QIcon icon = StateIcon(tdm_.ClientSide().TrayIconIndex());
  if (icon_) icon_->setIcon(icon);
  window_.setWindowIcon(icon);
}

void Tray::SaveLogClick() {
  try {
    tdm_.Logs().SaveFullLog(true);
  } catch (const std::exception& error) {
    tdm_.Logs().LogException("ZapiszLog", error);
  }
  tdm_.Logs().SaveLog(true);
}

void Tray::ReconnectClick() {
  if (!tdm_.ServerMode()) tdm_.Client().Reconnect();
}

void Tray::OpenFolderClick() {
  ShowFileLocation(*file_location_, QString::fromStdString(ProgramPath().string()),
                   QString::fromStdString(tdm_.AppDir().string()));
}

void Tray::AutostartClick() {
  const bool enabled = autostart_.IsAutostartEnabled();
  if (!autostart_.SetAutostart(!enabled, ProgramPath())) {
    tdm_.Logs().LogException(
        "Autostart", std::runtime_error(autostart_.EntryFile().string() +
                                        std::string(": nie można zmienić wpisu autostartu"_cp)));
  }
  RefreshTicks();
}

void Tray::EventsClick() {
  tdm_.Config().Events = !tdm_.Config().Events;
  try {
    tdm_.SaveConfiguration();
  } catch (const std::exception& error) {
    tdm_.Logs().LogException("OdswiezajRejestry", error);
  }
  RefreshTicks();
}

void Tray::CloseClick() {
  if (WindowHidden()) return;
  window_.close();
}

}  // namespace tramolin
