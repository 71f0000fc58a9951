// The main window: the status panel, the log window, the server's client grid, the technician's
// command panel and "Replikuj ...". It is the core's log view and client grid, takes the
// messages of later copies (restore, minimise) and runs the closing step. The tray (tray.h)
// hides and restores it.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/server_hooks.h"
#include "shell/window_view.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTableView;

namespace tramolin {

class ClientGridModel;
class FileLocation;
class TDM;
class Tray;

// What the window asks the user and where; tests answer instead of a person.
struct WindowOptions {
  // The closing question ("Czy chcesz zakończyć pracę tramolina ?"); true for Yes. Default: a
  // question box.
  std::function<bool()> confirm_close;
  // A message box of the log; default: a box captioned "Tramolin 2" with one OK button.
  std::function<void(const QString& text, MessageIcon icon)> message_box;
  // Whether the desktop has a system tray; default: asked from the desktop. Without one the
  // window minimises as usual and the tray's menu is in the window's menu bar.
  std::optional<bool> system_tray;
  // How the tray's "Otwórz lokalizację pliku ..." shows the program's file; default: the
  // desktop's file manager.
  std::shared_ptr<FileLocation> file_location;
};

// The window's own objects carry these names (tests and style sheets find them by name).
namespace window_names {
inline constexpr char kReplicateButton[] = "ReplikujBtn";
inline constexpr char kClientGrid[] = "ClientGrid";
inline constexpr char kLog[] = "LogMemo";
inline constexpr char kStatusPanel[] = "StatusPanel";
inline constexpr char kTechnicianPanel[] = "TechnicianPanel";
inline constexpr char kProgressGauge[] = "ProgressGauge";
}  // namespace window_names

// The value labels of the status panel.
enum class StatusValue {
  kMode,
  kRunningTime,
  kActivityState,
  kTotalTransfer,
  kSent,
  kReceived,
  kLocalChanges,
  kRemoteChanges,
};

class TfMainTramolin_2 : public QMainWindow, public WindowView, public ClientGridView {
  Q_OBJECT

 public:
  // Becomes the main data module's window and the server's client grid until it is destroyed.
  explicit TfMainTramolin_2(TDM& tdm, WindowOptions options = {}, QWidget* parent = nullptr);
  ~TfMainTramolin_2() override;

  // WindowView.
  void AppendLogLine(std::string_view line) override;
  void AppendToLastLogLine(std::string_view text) override;
  std::vector<std::string> LogLines() const override { return log_lines_; }
  std::size_t LogLineCount() const override { return log_lines_.size(); }
  void ClearLog() override;
  void SetStatusText(std::string_view text) override;
  void ShowMessageBox(std::string_view text, MessageIcon icon) override;
  void ShowActivityState(std::string_view name) override;

  // ClientGridView. A row refresh while the window is minimised does nothing; restoring the
  // window rebuilds the grid. Slot -1 refreshes the status panel.
  void UpdateClientGrid() override;
  void RefreshClientRow(int slot) override;

  // Labels, the button and the tray hint from the main data module (every second).
  void RefreshStatus();
  // The closing step: logged, Closing set, the host window told, the log saved. Errors ignored.
  void BeginClose();
  // "Replikuj ...": an on-demand client's synchronisation now.
  void ReplikujBtnClick();
  // "Wyślij" of the technician's panel.
  void SendCommandClick();
  // The log window's menu items.
  void SaveLogClick();
  void ShowStatusClick();
  void ReconnectClick();

  QString StatusValueText(StatusValue value) const;
  Tray& TrayIcon() { return *tray_; }

  QTimer tmrGUI;       // 1000 ms, runs while the window is shown
  QTimer tmrMinimize;  // 500 ms; minimises the window once after a start with -min
  void tmrGUITimer() { RefreshStatus(); }
  void tmrMinimizeTimer();
  // tmrMinimize's tag: the start-up minimisation has happened.
  bool StartupMinimised() const { return startup_minimised_; }

 signals:
  // The window has closed; the process ends.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QWidget* BuildStatusPanel();
  QWidget* BuildBottomPanel();
  void BuildLogMenu();
  void SetGridColumnWidths();
  void ApplyMode();
  bool MayClose();
  bool InteractiveWindow() const;
  bool ReplicateAllowed() const;

  TDM& tdm_;
  WindowOptions options_;
  std::vector<std::string> log_lines_;
  bool startup_minimised_ = false;

  std::unique_ptr<ClientGridModel> grid_model_;
  QLabel* value_labels_[8] = {};
  QLabel* local_changes_caption_ = nullptr;
  QLabel* remote_changes_caption_ = nullptr;
  QLabel* progress_caption_ = nullptr;
  QProgressBar* gauge_ = nullptr;
  QWidget* status_panel_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QTableView* grid_ = nullptr;
  QWidget* technician_panel_ = nullptr;
  QComboBox* commands_ = nullptr;
  QLineEdit* command_text_ = nullptr;
  QPushButton* replicate_ = nullptr;
  QAction* reconnect_action_ = nullptr;
  std::unique_ptr<Tray> tray_;
};

}  // namespace tramolin
