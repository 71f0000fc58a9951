// The configuration wizard's life and its reactions to input; its controls are laid out in
// wizard_pages.cpp.
#include "ui/wizard.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <algorithm>

#include "engine/db_connection.h"
#include "engine/pass_dm.h"
#include "platform/autostart.h"
#include "platform/service_control.h"
#include "platform/system_info.h"
#include "shell/tdm.h"
#include "ui/wizard_connection.h"
#include "ui/wizard_rules.h"
#include "ui/wizard_widgets.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

using wizard_widgets::Hinted;

constexpr int kWidth = 644;
constexpr int kHeight = 484;

}  // namespace

TfWizard::TfWizard(WizardEnvironment environment, bool server_mode, const std::string& version,
                   QWidget* parent)
    : QDialog(parent),
      logic_(environment),
      services_(environment.services),
      autostart_(environment.autostart),
      server_mode_(server_mode) {
  setObjectName(QStringLiteral("TfWizard"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(UiText(server_mode ? "Konfiguracja replikacji - serwer "_cp
                                    : "Konfiguracja replikacji - klient "_cp) +
                 QString::fromStdString(version));
  questions_.velmo_ini = [](QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QString(), QStringLiteral("velmo.ini"),
                                        UiText("Plik konfiguracyjny Velmo (velmo.ini)"));
  };
  questions_.database_file = [](QWidget* owner, const QString& start) {
    return QFileDialog::getOpenFileName(owner, QString(), start,
                                        UiText("Plik bazy danych (*.fdb *.gdb)"));
  };
  questions_.pem_file = [](QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getOpenFileName(
        owner, title, start, UiText("Pliki PEM (*.pem *.crt *.key);;Wszystkie pliki (*)"));
  };
  BuildControls();
  if (services_ != nullptr) {
    services_->SetStatus([this](std::string_view text) { SetStatus(text); });
  }
  loading_ = true;
  ShowForm(logic_.LoadWizardFields());
  ApplyServerOrClientMode();
  UpdateDependentControls();
  loading_ = false;
  Connect();
  UpdateOkHint();
  setFixedSize(std::max(kWidth, sizeHint().width()), std::max(kHeight, sizeHint().height()));
}

TfWizard::~TfWizard() {
  if (services_ != nullptr) services_->SetStatus({});
}

void TfWizard::Connect() {
  for (QLineEdit* edit : {host_, directory_, file_}) {
    connect(edit, &QLineEdit::textChanged, this, [this] {
      if (!loading_) logic_.DatabaseFieldChanged();
    });
  }
  connect(read_velmo_ini_, &QPushButton::clicked, this, &TfWizard::ReadVelmoIniClicked);
  connect(choose_file_, &QPushButton::clicked, this, &TfWizard::ChooseDatabaseFileClicked);
  connect(choose_tls_certificate_, &QPushButton::clicked, this,
          &TfWizard::ChooseTlsCertificateClicked);
  connect(choose_tls_key_, &QPushButton::clicked, this, &TfWizard::ChooseTlsKeyClicked);
  connect(test_, &QPushButton::clicked, this, &TfWizard::TestConnectionClicked);
  connect(remove_service_, &QPushButton::clicked, this, &TfWizard::RemoveServiceClicked);
  connect(ok_, &QPushButton::clicked, this, &TfWizard::OkClicked);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  for (QCheckBox* box : {on_demand_, auto_hour_, client_tls_}) {
    connect(box, &QCheckBox::toggled, this, &TfWizard::UpdateDependentControls);
  }
  connect(as_service_, &QRadioButton::toggled, this, &TfWizard::UpdateServiceOption);
  connect(start_after_, &QCheckBox::toggled, this, &TfWizard::UpdateOkHint);
}

void TfWizard::ShowForm(const WizardForm& form) {
  host_->setText(UiText(form.host));
  directory_->setText(UiText(form.directory));
  file_->setText(UiText(form.file));
  server_port_->setText(UiText(form.server_port));
  allow_list_->setText(UiText(form.allow_list));
  client_host_->setText(UiText(form.client_host));
  client_port_->setText(UiText(form.client_port));
  client_host2_->setText(UiText(form.client_host2));
  client_port2_->setText(UiText(form.client_port2));
  interval_->setValue(form.interval);
  as_service_->setEnabled(form.service_option_enabled);
  as_service_->setChecked(form.run_as_service);
  as_application_->setChecked(!form.run_as_service);
  service_name_->setText(UiText(form.service_name));
  service_name_->setEnabled(form.run_as_service);
  autostart_box_->setChecked(form.autostart);
  autostart_box_->setEnabled(form.autostart_enabled);
  debug_->setChecked(form.debug);
  on_demand_->setChecked(form.on_demand);
  auto_hour_->setChecked(form.auto_hour);
  if (form.auto_hour_time.empty()) {
    auto_hour_time_->clear();
  } else {
    auto_hour_time_->setText(UiText(form.auto_hour_time));
  }
  full_log_->setChecked(form.full_log);
  firewall_->setChecked(form.firewall);
  firewall_->setEnabled(form.firewall_enabled);
  send_first_->setChecked(form.send_new_data_first);
  events_->setChecked(form.events);
  start_after_->setChecked(form.start_after);
  client_tls_->setChecked(form.tls);
  // Paths and the fingerprint are often longer than their fields: show where they begin.
  for (auto [edit, text] :
       {std::pair{tls_certificate_, &form.tls_certificate}, std::pair{tls_key_, &form.tls_key},
        std::pair{tls_fingerprint_, &form.tls_fingerprint}}) {
    edit->setText(UiText(*text));
    edit->setCursorPosition(0);
  }
}

WizardForm TfWizard::ReadForm() const {
  WizardForm form;
  form.host = ProgramText(host_->text());
  form.directory = ProgramText(directory_->text());
  form.file = ProgramText(file_->text());
  form.server_port = ProgramText(server_port_->text());
  form.allow_list = ProgramText(allow_list_->text());
  form.client_host = ProgramText(client_host_->text());
  form.client_port = ProgramText(client_port_->text());
  form.client_host2 = ProgramText(client_host2_->text());
  form.client_port2 = ProgramText(client_port2_->text());
  form.interval = interval_->value();
  form.service_option_enabled = as_service_->isEnabled();
  form.run_as_service = as_service_->isChecked();
  form.service_name = ProgramText(service_name_->text());
  form.autostart = autostart_box_->isChecked();
  form.autostart_enabled = autostart_box_->isEnabled();
  form.debug = debug_->isChecked();
  form.on_demand = on_demand_->isChecked();
  form.auto_hour = auto_hour_->isChecked();
  // The mask's blanks stand for digits left out: " 7:05" keeps its blank.
  form.auto_hour_time = ProgramText(auto_hour_time_->displayText().replace(QLatin1Char('_'), ' '));
  form.full_log = full_log_->isChecked();
  form.firewall = firewall_->isChecked();
  form.firewall_enabled = firewall_->isEnabled();
  form.send_new_data_first = send_first_->isChecked();
  form.events = events_->isChecked();
  form.start_after = start_after_->isChecked();
  form.tls_certificate = ProgramText(tls_certificate_->text());
  form.tls_key = ProgramText(tls_key_->text());
  form.tls = client_tls_->isChecked();
  form.tls_fingerprint = ProgramText(tls_fingerprint_->text());
  return form;
}

void TfWizard::ApplyServerOrClientMode() {
  const bool client = !server_mode_;
  for (QWidget* widget :
       std::initializer_list<QWidget*>{client_label_, client_host_, client_port_, client2_label_,
                                       client_host2_, client_port2_, client_tls_}) {
    widget->setEnabled(client);
  }
  for (QWidget* widget : std::initializer_list<QWidget*>{
           server_port_label_, server_port_, allow_label_, allow_list_, tls_certificate_label_,
           tls_certificate_, choose_tls_certificate_, tls_key_label_, tls_key_, choose_tls_key_}) {
    widget->setEnabled(server_mode_);
  }
  if (server_mode_) {
    for (QCheckBox* box : {on_demand_, auto_hour_, send_first_}) {
      box->setChecked(false);
      box->setEnabled(false);
    }
  }
}

void TfWizard::UpdateDependentControls() {
  const bool hour_allowed = on_demand_->isEnabled() && on_demand_->isChecked();
  if (!hour_allowed) auto_hour_->setChecked(false);
  auto_hour_->setEnabled(hour_allowed);
  const bool time_allowed = auto_hour_->isEnabled() && auto_hour_->isChecked();
  if (!time_allowed) auto_hour_time_->clear();
  auto_hour_time_->setEnabled(time_allowed);
  // The pinned fingerprint is kept while TLS is off: ticking the box again brings it back.
  const bool fingerprint_allowed = client_tls_->isEnabled() && client_tls_->isChecked();
  tls_fingerprint_label_->setEnabled(fingerprint_allowed);
  tls_fingerprint_->setEnabled(fingerprint_allowed);
}

void TfWizard::UpdateServiceOption() {
  const bool service = as_service_->isChecked();
  service_name_->setEnabled(service);
  autostart_box_->setEnabled(!service);
  autostart_box_->setChecked(!service && autostart_ != nullptr && autostart_->IsAutostartEnabled());
}

void TfWizard::UpdateOkHint() {
  Hinted(ok_,
         start_after_->isChecked() ? "Zapisz zmiany i uruchom tramolina"_cp : "Zapisz zmiany"_cp);
}

void TfWizard::Focus(WizardField field) {
  QWidget* target = nullptr;
  switch (field) {
    case WizardField::kNone:
      return;
    case WizardField::kHost:
      target = host_;
      break;
    case WizardField::kDirectory:
      target = directory_;
      break;
    case WizardField::kFile:
      target = file_;
      break;
    case WizardField::kTestButton:
      target = test_;
      break;
    case WizardField::kServerPort:
      target = server_port_;
      break;
    case WizardField::kClientHost:
      target = client_host_;
      break;
    case WizardField::kClientPort:
      target = client_port_;
      break;
    case WizardField::kServiceName:
      target = service_name_;
      break;
    case WizardField::kAutoHourTime:
      target = auto_hour_time_;
      break;
    case WizardField::kTlsCertificate:
      target = tls_certificate_;
      break;
    case WizardField::kTlsKey:
      target = tls_key_;
      break;
    case WizardField::kTlsFingerprint:
      target = tls_fingerprint_;
      break;
    case WizardField::kOk:
      target = ok_;
      break;
  }
  target->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
}

void TfWizard::SetStatus(std::string_view text) { status_bar_->showMessage(UiText(text)); }

bool TfWizard::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    status_bar_->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QDialog::event(event);
}

void TfWizard::ReadVelmoIniClicked() {
  const QString chosen = questions_.velmo_ini(this);
  if (chosen.isEmpty()) return;
  const DatabaseFields fields = ReadVelmoIni(
      std::filesystem::path(chosen.toStdString()),
      {ProgramText(host_->text()), ProgramText(directory_->text()), ProgramText(file_->text())});
  host_->setText(UiText(fields.host));
  directory_->setText(UiText(fields.directory));
  file_->setText(UiText(fields.file));
}

void TfWizard::ChooseDatabaseFileClicked() {
  const QString start = QFileInfo(directory_->text(), file_->text()).filePath();
  const QString chosen = questions_.database_file(this, start);
  if (chosen.isEmpty() || !QFileInfo::exists(chosen)) return;
  const DatabaseFields fields = FieldsOfChosenFile(std::filesystem::path(chosen.toStdString()));
  host_->setText(QString::fromStdString(fields.host));
  directory_->setText(QString::fromStdString(fields.directory));
  file_->setText(QString::fromStdString(fields.file));
}

void TfWizard::ChoosePemFile(QLineEdit* edit, std::string_view title) {
  const QString chosen = questions_.pem_file(this, UiText(title), edit->text().trimmed());
  if (!chosen.isEmpty()) edit->setText(chosen);
}

void TfWizard::ChooseTlsCertificateClicked() {
  ChoosePemFile(tls_certificate_, "Certyfikat serwera (PEM)");
}

void TfWizard::ChooseTlsKeyClicked() { ChoosePemFile(tls_key_, "Klucz prywatny (PEM)"); }

void TfWizard::TestConnectionClicked() {
  WizardForm form = ReadForm();
  WizardField focus = WizardField::kNone;
  logic_.TestConnection(form, focus);
  // Trimming and normalising are no edits of the user's: the test result stays.
  const bool tested = logic_.ConnectionTested();
  loading_ = true;
  host_->setText(UiText(form.host));
  directory_->setText(UiText(form.directory));
  file_->setText(UiText(form.file));
  loading_ = false;
  if (!tested) logic_.DatabaseFieldChanged();
  Focus(focus);
}

void TfWizard::RemoveServiceClicked() {
  if (services_ != nullptr) services_->RemoveService(ProgramText(service_name_->text()));
}

void TfWizard::OkClicked() {
  ok_->setEnabled(false);
  cancel_->setEnabled(false);
  WizardForm form = ReadForm();
  WizardField focus = WizardField::kNone;
  const bool applied = logic_.ApplyWizard(form, focus);
  loading_ = true;
  for (auto [edit, text] :
       {std::pair{host_, &form.host}, std::pair{directory_, &form.directory},
        std::pair{file_, &form.file}, std::pair{server_port_, &form.server_port},
        std::pair{allow_list_, &form.allow_list}, std::pair{client_host_, &form.client_host},
        std::pair{client_port_, &form.client_port}, std::pair{client_host2_, &form.client_host2},
        std::pair{client_port2_, &form.client_port2}, std::pair{service_name_, &form.service_name},
        std::pair{tls_certificate_, &form.tls_certificate}, std::pair{tls_key_, &form.tls_key},
        std::pair{tls_fingerprint_, &form.tls_fingerprint}}) {
    edit->setText(UiText(*text));
  }
  loading_ = false;
  ok_->setEnabled(true);
  cancel_->setEnabled(true);
  if (!applied) {
    Focus(focus);
    return;
  }
  outcome_ = start_after_->isChecked() ? WizardOutcome::kSavedAndStart : WizardOutcome::kSaved;
  accept();
}

WizardOutcome ShowConfigurationWizard(TDM& tdm, ServiceControl& services, TPassDM& pass_dm) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    tdm.Log("Kreatora konfiguracji nie można tu wyświetlić."_cp, kLogSerious);
    return WizardOutcome::kCancelled;
  }
  TConfig& config = tdm.Config();
  const auto log = [&tdm](std::string_view message, int level) { tdm.Log(message, level); };
  ServiceSetup setup(services, config.AppDir, ProgramPath().string(), log);
  const Autostart autostart;
  WizardEnvironment environment;
  environment.config = &config;
  environment.flags = &tdm.Flags();
  environment.log = log;
  environment.services = &setup;
  environment.autostart = &autostart;
  environment.executable = ProgramPath();
  environment.pass_dm = &pass_dm;
  environment.test_database = [&pass_dm](const DatabaseSettings& settings) {
    return TestDatabaseConnection(pass_dm, settings);
  };
  environment.server_version = QueryServerVersion;
  WizardOutcome outcome = WizardOutcome::kCancelled;
  {
    TfWizard wizard(std::move(environment), tdm.Flags().ServerMode, GetFileVersion(ProgramPath()));
    wizard.exec();
    outcome = wizard.Outcome();
  }
  if (outcome != WizardOutcome::kCancelled) {
    tdm.Logs().SetDebugMode(tdm.Flags().DebugMode);
    tdm.Logs().SetFullLog(config.FullLog);
  }
  return outcome;
}

}  // namespace tramolin
