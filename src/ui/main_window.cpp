#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "client/server_link.h"
#include "client/sync_cycle.h"
#include "net/restart_timer.h"
#include "platform/system_info.h"
#include "protocol/payloads.h"
#include "server/server_state.h"
#include "server/technician_commands.h"
#include "shell/activity_state.h"
#include "shell/tdm.h"
#include "ui/byte_format.h"
#include "ui/client_grid_model.h"
#include "ui/progress_delegate.h"
#include "ui/tray.h"
#include "ui/ui_text.h"
#include "util/cp1250.h"
#include "util/text_rules.h"

namespace tramolin {
namespace {

constexpr int kGuiIntervalMs = 1000;
constexpr int kMinimizeIntervalMs = 500;
constexpr int kMinimumWidth = 800;
constexpr int kInitialWidth = 805;
constexpr int kHeight = 439;
constexpr int kServerPanelHeight = 49;
constexpr int kClientPanelHeight = 65;
constexpr int kGridMinimumHeight = 90;
constexpr int kGridInitialHeight = 130;
constexpr int kGridRowHeight = 16;
constexpr int kLogTopGap = 8;
constexpr int kFontPointSize = 8;

bool AskToClose(QWidget* parent) {
  return QMessageBox::question(
             parent, UiText("Pytanie"_cp), UiText("Czy chcesz zakończyć pracę tramolina ?"_cp),
             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void MessageBox(QWidget* parent, const QString& text, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Information,
                  QStringLiteral("Tramolin 2"), text, QMessageBox::Ok, parent);
  box.exec();
}

QLabel* Caption(std::string_view text, QWidget* parent) {
  auto* label = new QLabel(UiText(text), parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QString Text(const std::string& cp1250) { return UiText(cp1250); }

}  // namespace

TfMainTramolin_2::TfMainTramolin_2(TDM& tdm, WindowOptions options, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowStaysOnTopHint),
      tdm_(tdm),
      options_(std::move(options)),
      grid_model_(std::make_unique<ClientGridModel>()) {
  setObjectName(QStringLiteral("fMainTramolin_2"));
  if (!options_.confirm_close) options_.confirm_close = [this] { return AskToClose(this); };
  if (!options_.message_box) {
    options_.message_box = [this](const QString& text, MessageIcon icon) {
      MessageBox(this, text, icon);
    };
  }
  setWindowTitle(QStringLiteral("Tramolin"));
  QFont window_font = font();
  window_font.setPointSize(kFontPointSize);
  setFont(window_font);
  setMinimumSize(kMinimumWidth, kHeight);
  resize(kInitialWidth, kHeight);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildStatusPanel());
  layout->addSpacing(kLogTopGap);

  log_ = new QPlainTextEdit(central);
  log_->setObjectName(window_names::kLog);
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  BuildLogMenu();

  grid_ = new QTableView(central);
  grid_->setObjectName(window_names::kClientGrid);
  grid_->setModel(grid_model_.get());
  grid_->setItemDelegateForColumn(kColumnProgress, new ProgressBarDelegate(grid_));
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
  grid_->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->horizontalHeader()->setHighlightSections(false);
  grid_->setSelectionMode(QAbstractItemView::NoSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setMinimumHeight(kGridMinimumHeight);
  QPalette grid_palette = grid_->palette();
  grid_palette.setColor(QPalette::Base, grid_palette.color(QPalette::ToolTipBase));
  grid_palette.setColor(QPalette::Text, grid_palette.color(QPalette::ToolTipText));
  grid_->setPalette(grid_palette);
  SetGridColumnWidths();

  splitter_ = new QSplitter(Qt::Vertical, central);
  splitter_->addWidget(log_);
  splitter_->addWidget(grid_);
  splitter_->setChildrenCollapsible(false);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  splitter_->setSizes({kHeight, kGridInitialHeight});
  layout->addWidget(splitter_, 1);
  layout->addWidget(BuildBottomPanel());
  setCentralWidget(central);
  statusBar()->setSizeGripEnabled(true);

  tmrGUI.setParent(this);
  tmrGUI.setInterval(kGuiIntervalMs);
  connect(&tmrGUI, &QTimer::timeout, this, &TfMainTramolin_2::tmrGUITimer);
  tmrMinimize.setParent(this);
  tmrMinimize.setInterval(kMinimizeIntervalMs);
  connect(&tmrMinimize, &QTimer::timeout, this, &TfMainTramolin_2::tmrMinimizeTimer);

  tray_ = std::make_unique<Tray>(
      tdm_, *this, options_.system_tray.value_or(QSystemTrayIcon::isSystemTrayAvailable()),
      options_.file_location);
  connect(tray_.get(), &Tray::hintShown, this,
          [this](const QString& hint) { statusBar()->showMessage(hint); });
  if (!tray_->HasSystemTray()) menuBar()->addMenu(&tray_->Menu());
  tray_->UpdateIcon();

  ApplyMode();
  UpdateClientGrid();
  connect(&tdm_, &TDM::restoreRequested, this, [this] { tray_->RestoreWindow(); });
  connect(&tdm_, &TDM::minimizeRequested, this, [this] { RestartTimer(tmrMinimize); });
  tdm_.SetWindow(this);
  tdm_.Server().SetView(this);
}

TfMainTramolin_2::~TfMainTramolin_2() {
  tdm_.Server().SetView(nullptr);
  tdm_.SetWindow(nullptr);
}

// The grid's own widths, widened where the desktop's font needs more for the widest text a
// column holds (a status name, a byte count, a time) or for its header.
void TfMainTramolin_2::SetGridColumnWidths() {
  constexpr int kCellPadding = 10;
  const QFontMetrics metrics(grid_->font());
  const QFontMetrics header_metrics(grid_->horizontalHeader()->font());
  std::array<int, kClientGridColumnCount> needed{};
  for (int status = 0; !SlotStatusName(status).empty(); ++status) {
    needed[kColumnStatus] =
        std::max(needed[kColumnStatus], metrics.horizontalAdvance(UiText(SlotStatusName(status))));
  }
  needed[kColumnSent] = needed[kColumnReceived] =
      metrics.horizontalAdvance(QString::fromStdString(ByteCountText(999'999'999'999)));
  needed[kColumnLoggedIn] = needed[kColumnLastActivity] =
      metrics.horizontalAdvance(QStringLiteral("2026.12.31 23:59:59"));
  for (int column = 0; column < kClientGridColumnCount; ++column) {
    const auto at = static_cast<std::size_t>(column);
    const int header = header_metrics.horizontalAdvance(UiText(kClientGridHeaders[at])) + 8;
    grid_->setColumnWidth(
        column, std::max(kClientGridWidths[at], std::max(needed[at], header) + kCellPadding));
  }
}

QWidget* TfMainTramolin_2::BuildStatusPanel() {
  status_panel_ = new QWidget(this);
  status_panel_->setObjectName(window_names::kStatusPanel);
  status_panel_->setAutoFillBackground(true);
  QPalette palette = status_panel_->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::ToolTipBase));
  palette.setColor(QPalette::WindowText, palette.color(QPalette::ToolTipText));
  status_panel_->setPalette(palette);

  auto* grid = new QGridLayout(status_panel_);
  grid->setContentsMargins(8, 4, 8, 4);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  const std::string_view captions[] = {"Tryb pracy:"_cp,      "Czas pracy:"_cp,   "Status:"_cp,
                                       "Łączny transfer:"_cp, "Wysłano:"_cp,      "Odebrano:"_cp,
                                       "Zmiany lokalne:"_cp,  "Zmiany zdalne:"_cp};
  for (int i = 0; i < 8; ++i) {
    QLabel* caption = Caption(captions[i], status_panel_);
    value_labels_[i] = new QLabel(status_panel_);
    value_labels_[i]->setMinimumWidth(110);
    grid->addWidget(caption, i / 3, (i % 3) * 2);
    grid->addWidget(value_labels_[i], i / 3, (i % 3) * 2 + 1);
  }
  local_changes_caption_ = qobject_cast<QLabel*>(grid->itemAtPosition(2, 0)->widget());
  remote_changes_caption_ = qobject_cast<QLabel*>(grid->itemAtPosition(2, 2)->widget());
  progress_caption_ = Caption("Postęp operacji:"_cp, status_panel_);
  gauge_ = new QProgressBar(status_panel_);
  gauge_->setObjectName(window_names::kProgressGauge);
  gauge_->setRange(0, 100);
  gauge_->setTextVisible(false);
  gauge_->setMaximumHeight(14);
  grid->addWidget(progress_caption_, 2, 4);
  grid->addWidget(gauge_, 2, 5);
  for (int column : {1, 3, 5}) grid->setColumnStretch(column, 1);
  return status_panel_;
}

QWidget* TfMainTramolin_2::BuildBottomPanel() {
  auto* panel = new QWidget(this);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(6, 4, 6, 4);

  technician_panel_ = new QWidget(panel);
  technician_panel_->setObjectName(window_names::kTechnicianPanel);
  auto* technician = new QHBoxLayout(technician_panel_);
  technician->setContentsMargins(0, 0, 0, 0);
  commands_ = new QComboBox(technician_panel_);
  for (const std::string_view name : kTechnicianCommandNames) commands_->addItem(UiText(name));
  command_text_ = new QLineEdit(technician_panel_);
  command_text_->setMinimumWidth(360);
  auto* send = new QPushButton(UiText("Wyślij"_cp), technician_panel_);
  connect(send, &QPushButton::clicked, this, &TfMainTramolin_2::SendCommandClick);
  connect(command_text_, &QLineEdit::returnPressed, this, &TfMainTramolin_2::SendCommandClick);
  technician->addWidget(commands_);
  technician->addWidget(command_text_, 1);
  technician->addWidget(send);
  layout->addWidget(technician_panel_, 1);
  layout->addStretch();

  replicate_ = new QPushButton(QStringLiteral("Replikuj ..."), panel);
  replicate_->setObjectName(window_names::kReplicateButton);
  connect(replicate_, &QPushButton::clicked, this, &TfMainTramolin_2::ReplikujBtnClick);
  layout->addWidget(replicate_);
  return panel;
}

void TfMainTramolin_2::BuildLogMenu() {
  auto* menu = new QMenu(log_);
  connect(menu->addAction(UiText("Zapisz log"_cp)), &QAction::triggered, this,
          &TfMainTramolin_2::SaveLogClick);
  connect(menu->addAction(UiText("Wyświetl status"_cp)), &QAction::triggered, this,
          &TfMainTramolin_2::ShowStatusClick);
  reconnect_action_ = menu->addAction(UiText("Rozłącz / połącz"_cp));
  connect(reconnect_action_, &QAction::triggered, this, &TfMainTramolin_2::ReconnectClick);
  log_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(log_, &QWidget::customContextMenuRequested, this,
          [this, menu](const QPoint& at) { menu->popup(log_->viewport()->mapToGlobal(at)); });
}

// What the mode decides once: position, captions shown, the grid, the buttons.
void TfMainTramolin_2::ApplyMode() {
  const bool server = tdm_.ServerMode();
  const QRect screen = QApplication::primaryScreen() != nullptr
                           ? QApplication::primaryScreen()->availableGeometry()
                           : QRect();
  value_labels_[static_cast<int>(StatusValue::kMode)]->setText(server ? QStringLiteral("serwer")
                                                                      : QStringLiteral("klient"));
  for (QWidget* client_only : std::initializer_list<QWidget*>{
           local_changes_caption_, remote_changes_caption_, progress_caption_, gauge_,
           value_labels_[static_cast<int>(StatusValue::kLocalChanges)],
           value_labels_[static_cast<int>(StatusValue::kRemoteChanges)]}) {
    client_only->setVisible(!server);
  }
  status_panel_->setFixedHeight(server ? kServerPanelHeight : kClientPanelHeight);
  grid_->setVisible(server);
  reconnect_action_->setVisible(!server);
  reconnect_action_->setEnabled(!server);
  technician_panel_->setVisible(!server && tdm_.Flags().TechnicianMode);
  replicate_->setVisible(!server);
  replicate_->setEnabled(ReplicateAllowed());
  if (server) {
    move(screen.topLeft());
  } else {
    move(screen.right() + 1 - frameGeometry().width(), screen.top());
  }
}

bool TfMainTramolin_2::InteractiveWindow() const { return tdm_.ShowsWindow(); }

bool TfMainTramolin_2::ReplicateAllowed() const {
  return !tdm_.ServerMode() && tdm_.Flags().OnDemand && tdm_.ActivityState() == kClientDisconnected;
}

void TfMainTramolin_2::AppendLogLine(std::string_view line) {
  log_lines_.emplace_back(line);
  log_->appendPlainText(UiText(line));
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void TfMainTramolin_2::AppendToLastLogLine(std::string_view text) {
  if (log_lines_.empty()) return AppendLogLine(text);
  log_lines_.back() += text;
  QTextCursor cursor(log_->document()->lastBlock());
  cursor.movePosition(QTextCursor::EndOfBlock);
  cursor.insertText(UiText(text));
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void TfMainTramolin_2::ClearLog() {
  log_lines_.clear();
  log_->clear();
}

void TfMainTramolin_2::SetStatusText(std::string_view text) {
  statusBar()->showMessage(UiText(text));
}

void TfMainTramolin_2::ShowMessageBox(std::string_view text, MessageIcon icon) {
  options_.message_box(UiText(text), icon);
}

void TfMainTramolin_2::ShowActivityState(std::string_view name) {
  QLabel* label = value_labels_[static_cast<int>(StatusValue::kActivityState)];
  label->setText(UiText(name));
  label->repaint();
  tray_->UpdateIcon();
}

void TfMainTramolin_2::UpdateClientGrid() {
  try {
    grid_model_->Rebuild(*tdm_.Server().Clients());
  } catch (...) {
  }
}

void TfMainTramolin_2::RefreshClientRow(int slot) {
  if (slot < 0) return RefreshStatus();
  if (isMinimized()) return;
  const SlotSnapshot clients = tdm_.Server().Clients();
  if (static_cast<std::size_t>(slot) >= clients->size()) return;
  try {
    grid_model_->RefreshRow(slot, (*clients)[static_cast<std::size_t>(slot)]);
  } catch (...) {
  }
}

void TfMainTramolin_2::RefreshStatus() {
  try {
    replicate_->setEnabled(ReplicateAllowed());
    auto label = [this](StatusValue value) { return value_labels_[static_cast<int>(value)]; };
    label(StatusValue::kRunningTime)->setText(Text(DurationText(tdm_.Now() - tdm_.StartTime())));
    const bool server = tdm_.ServerMode();
    const std::string state(ActivityStateName(server, tdm_.ActivityState()));
    label(StatusValue::kActivityState)->setText(Text(state));
    if (server) {
      tray_->SetHint(Text("Tramolin 2 - [" + state + "] klientów: "_cp +
                          std::to_string(tdm_.Server().SlotCount())));
    } else {
      tray_->SetHint(Text("Tramolin 2 - [" + state + "]"));
      gauge_->setValue(std::clamp(tdm_.Client().Progress(), 0, 100));
    }
    const TrafficCounters& traffic =
        server ? tdm_.Server().Traffic() : tdm_.Client().Link().Traffic();
    const auto sent = static_cast<std::int64_t>(traffic.Wyslano);
    const auto received = static_cast<std::int64_t>(traffic.Odebrano);
    label(StatusValue::kReceived)->setText(QString::fromStdString(ByteCountText(received)));
    label(StatusValue::kSent)->setText(QString::fromStdString(ByteCountText(sent)));
    label(StatusValue::kTotalTransfer)
        ->setText(QString::fromStdString(
            ByteCountText(static_cast<std::int64_t>(traffic.Wyslano + traffic.Odebrano))));
    label(StatusValue::kRemoteChanges)
        ->setText(QString::number(tdm_.Client().Cycle().RemoteChangeCount()));
    label(StatusValue::kLocalChanges)
        ->setText(QString::number(tdm_.Client().Cycle().LocalChangeCount()));
  } catch (...) {
  }
}

QString TfMainTramolin_2::StatusValueText(StatusValue value) const {
  return value_labels_[static_cast<int>(value)]->text();
}

void TfMainTramolin_2::ReplikujBtnClick() {
  replicate_->setEnabled(false);
  if (ReplicateAllowed()) tdm_.Client().Link().tmrKConnectTimer();
  replicate_->setEnabled(ReplicateAllowed());
}

void TfMainTramolin_2::SendCommandClick() {
  tdm_.Client().SendTechnicianCommand(
      BuildCommand(commands_->currentIndex(), ProgramText(command_text_->text())));
}

void TfMainTramolin_2::SaveLogClick() {
  tdm_.Logs().SaveLog(true);
  try {
    tdm_.Logs().SaveFullLog(true);
  } catch (const std::exception& error) {
    tdm_.Logs().LogException("ZapiszLog", error);
  }
}

void TfMainTramolin_2::ShowStatusClick() { tdm_.Log(tdm_.StatusReport(), kLogProgress); }

void TfMainTramolin_2::ReconnectClick() { tray_->ReconnectClick(); }

// Each time the window is shown: the caption a later copy looks for, the labels, the refresh
// timer, and after a start with -min the one minimisation.
void TfMainTramolin_2::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  setWindowTitle(QString::fromStdString("Tramolin " + GetFileVersion(ProgramPath())));
  RefreshStatus();
  if (!InteractiveWindow()) return;
  tmrGUI.start();
  if (!tdm_.Flags().OnDemand && tdm_.Command().HasSwitch("min") && !startup_minimised_) {
    RestartTimer(tmrMinimize);
  }
}

void TfMainTramolin_2::tmrMinimizeTimer() {
  tmrMinimize.stop();
  startup_minimised_ = true;
  showMinimized();
}

void TfMainTramolin_2::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const auto* change = static_cast<QWindowStateChangeEvent*>(event);
  if (isMinimized() && !change->oldState().testFlag(Qt::WindowMinimized)) {
    tray_->WindowMinimised();
  } else if (!isMinimized() && change->oldState().testFlag(Qt::WindowMinimized)) {
    UpdateClientGrid();  // rows were not refreshed while minimised
    RefreshStatus();
  }
}

bool TfMainTramolin_2::MayClose() {
  if (tdm_.Closing() || !InteractiveWindow()) return true;
  return options_.confirm_close();
}

void TfMainTramolin_2::closeEvent(QCloseEvent* event) {
  if (!MayClose()) {
    event->ignore();
    return;
  }
  BeginClose();
  tmrGUI.stop();
  tmrMinimize.stop();
  event->accept();
  emit closed();
}

void TfMainTramolin_2::BeginClose() {
  try {
    tdm_.BeginClose();
  } catch (...) {
  }
}

}  // namespace tramolin
