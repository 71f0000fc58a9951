// The configuration wizard: a fixed-size modal dialog for the database access, the network, the
// working mode (application or systemd service), the link's encryption and the working options.
// Its rules live in WizardLogic; the dialog keeps its controls consistent and shows what the logic
// reports.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "shell/startup.h"
#include "ui/wizard_logic.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;

namespace tramolin {

class ServiceControl;
class TDM;
class TPassDM;

class TfWizard : public QDialog {
  Q_OBJECT

 public:
  // Open-file questions; tests replace them. Each returns "" when nothing was chosen.
  struct FileQuestions {
    std::function<QString(QWidget* parent)> velmo_ini;
    std::function<QString(QWidget* parent, const QString& start)> database_file;
    // The TLS certificate or key (PEM); `title` says which.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> pem_file;
  };

  // server_mode decides which fields are enabled; version is shown in the caption.
  TfWizard(WizardEnvironment environment, bool server_mode, const std::string& version,
           QWidget* parent = nullptr);
  ~TfWizard() override;

  void SetFileQuestions(FileQuestions questions) { questions_ = std::move(questions); }
  // After exec(): cancelled, saved, or saved-and-start.
  WizardOutcome Outcome() const { return outcome_; }
  const WizardLogic& Logic() const { return logic_; }

  // The buttons' actions.
  void ReadVelmoIniClicked();
  void ChooseDatabaseFileClicked();
  void ChooseTlsCertificateClicked();
  void ChooseTlsKeyClicked();
  void TestConnectionClicked();
  void RemoveServiceClicked();
  void OkClicked();

 protected:
  bool event(QEvent* event) override;

 private:
  void BuildControls();
  QWidget* DatabaseGroup();
  QWidget* NetworkGroup();
  QWidget* ModeGroup();
  QWidget* TlsGroup();
  QWidget* OptionsGroup();
  QWidget* BottomRow();
  void Connect();
  void ShowForm(const WizardForm& form);
  WizardForm ReadForm() const;
  void ApplyServerOrClientMode();
  void UpdateDependentControls();
  void UpdateServiceOption();
  void UpdateOkHint();
  void ChoosePemFile(QLineEdit* edit, std::string_view title);
  void Focus(WizardField field);
  void SetStatus(std::string_view text);

  WizardLogic logic_;
  ServiceSetup* services_;
  const Autostart* autostart_;
  bool server_mode_;
  WizardOutcome outcome_ = WizardOutcome::kCancelled;
  FileQuestions questions_;
  bool loading_ = false;

  QLineEdit* host_ = nullptr;
  QLineEdit* directory_ = nullptr;
  QLineEdit* file_ = nullptr;
  QPushButton* read_velmo_ini_ = nullptr;
  QPushButton* choose_file_ = nullptr;
  QPushButton* test_ = nullptr;
  QLabel* server_port_label_ = nullptr;
  QLineEdit* server_port_ = nullptr;
  QLabel* client_label_ = nullptr;
  QLineEdit* client_host_ = nullptr;
  QLineEdit* client_port_ = nullptr;
  QLabel* client2_label_ = nullptr;
  QLineEdit* client_host2_ = nullptr;
  QLineEdit* client_port2_ = nullptr;
  QSpinBox* interval_ = nullptr;
  QLabel* allow_label_ = nullptr;
  QLineEdit* allow_list_ = nullptr;
  QRadioButton* as_application_ = nullptr;
  QRadioButton* as_service_ = nullptr;
  QLineEdit* service_name_ = nullptr;
  QPushButton* remove_service_ = nullptr;
  QLabel* tls_certificate_label_ = nullptr;
  QLineEdit* tls_certificate_ = nullptr;
  QPushButton* choose_tls_certificate_ = nullptr;
  QLabel* tls_key_label_ = nullptr;
  QLineEdit* tls_key_ = nullptr;
  QPushButton* choose_tls_key_ = nullptr;
  QCheckBox* client_tls_ = nullptr;
  QLabel* tls_fingerprint_label_ = nullptr;
  QLineEdit* tls_fingerprint_ = nullptr;
  QCheckBox* autostart_box_ = nullptr;
  QCheckBox* debug_ = nullptr;
  QCheckBox* on_demand_ = nullptr;
  QCheckBox* auto_hour_ = nullptr;
  QLineEdit* auto_hour_time_ = nullptr;
  QCheckBox* full_log_ = nullptr;
  QCheckBox* firewall_ = nullptr;
  QCheckBox* send_first_ = nullptr;
  QCheckBox* events_ = nullptr;
  QCheckBox* start_after_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* ok_ = nullptr;
  QStatusBar* status_bar_ = nullptr;
};

// The wizard as the start-up sequence runs it: modal, on the main data module's configuration
// and flags, with the service set-up over `services` and the connection test through `pass_dm`.
// On a saved outcome the configuration and flags hold the new values (the caller saves them).
// Needs a QApplication; without one it logs that no wizard can be shown and gives kCancelled.
WizardOutcome ShowConfigurationWizard(TDM& tdm, ServiceControl& services, TPassDM& pass_dm);

}  // namespace tramolin
