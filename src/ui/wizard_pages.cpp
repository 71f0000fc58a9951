// The configuration wizard's layout: its groups of controls, built once by the constructor; the
// dialog's life and its reactions to input are in wizard.cpp.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

#include "ui/wizard.h"
#include "ui/wizard_rules.h"
#include "ui/wizard_widgets.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

using wizard_widgets::Hinted;

constexpr char kTimeMask[] = "09:99;_";

QLineEdit* Edit(const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QLatin1String(name));
  return edit;
}

QCheckBox* Box(const char* name, std::string_view caption) {
  auto* box = new QCheckBox(UiText(caption));
  box->setObjectName(QLatin1String(name));
  return box;
}

QPushButton* Button(const char* name, std::string_view caption) {
  auto* button = new QPushButton(UiText(caption));
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  return button;
}

// Numbers change only by the arrows.
class ArrowsOnlySpinBox : public QSpinBox {
 public:
  ArrowsOnlySpinBox() { lineEdit()->setReadOnly(true); }
};

std::string_view HostHint() {
  return "Adres IP serwera. Jeśli baza znajduje się na tym komputerze wpisz 127.0.0.1"_cp;
}
std::string_view ClientHostHint() {
  return "Adres IP (lub nazwa komputera) będącego serwerem replikacji"_cp;
}

}  // namespace

void TfWizard::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 6, 8, 0);
  layout->setSpacing(4);
  layout->addWidget(DatabaseGroup());
  auto* middle = new QHBoxLayout;
  middle->addWidget(NetworkGroup(), 3);
  middle->addWidget(ModeGroup(), 2);
  layout->addLayout(middle);
  layout->addWidget(TlsGroup());
  layout->addWidget(OptionsGroup());
  layout->addStretch(1);
  layout->addWidget(BottomRow());
  status_bar_ = new QStatusBar;
  status_bar_->setObjectName(QStringLiteral("statusBar"));
  status_bar_->setSizeGripEnabled(false);
  layout->addWidget(status_bar_);
}

QWidget* TfWizard::DatabaseGroup() {
  auto* group = new QGroupBox(UiText(" Parametry dostępu do bazy danych Velmo "_cp));
  auto* grid = new QGridLayout(group);
  grid->setVerticalSpacing(3);
  host_ = Hinted(Edit("host"), HostHint());
  directory_ =
      Hinted(Edit("directory"),
             "Katalog bazy danych (ścieżka z punktu widzenia serwera) lub nazwa aliasu"_cp);
  file_ = Hinted(Edit("file"),
                 "Plik bazy danych (z rozszerzeniem). Dla aliasu to pole pozostaw puste."_cp);
  read_velmo_ini_ = Button("readVelmoIni", "Odczytaj opcje z &velmo.ini ..."_cp);
  choose_file_ = Button("chooseFile", "&Wskaż plik bazy ..."_cp);
  test_ = Hinted(Button("testConnection", "&Testuj połączenie z bazą ..."_cp),
                 "Wykonaj test połączenia z bazą danych"_cp);
  const std::pair<std::string_view, QLineEdit*> rows[] = {
      {"Adres &IP/ host serwera"_cp, host_},
      {"&Katalog bazy danych/alias"_cp, directory_},
      {"Plik &bazy danych"_cp, file_}};
  QPushButton* const buttons[] = {read_velmo_ini_, choose_file_, test_};
  for (int row = 0; row < 3; ++row) {
    auto* label = new QLabel(UiText(rows[row].first));
    label->setBuddy(rows[row].second);
    grid->addWidget(label, row, 0);
    grid->addWidget(rows[row].second, row, 1);
    grid->addWidget(buttons[row], row, 2);
  }
  grid->setColumnStretch(1, 1);
  return group;
}

QWidget* TfWizard::NetworkGroup() {
  auto* group = new QGroupBox(UiText(" Ustawienia sieciowe "_cp));
  auto* grid = new QGridLayout(group);
  grid->setVerticalSpacing(3);
  server_port_ = Edit("serverPort");
  server_port_label_ = new QLabel(UiText("Port nasłuchu (&serwer)"_cp));
  server_port_label_->setBuddy(server_port_);
  client_host_ = Hinted(Edit("clientHost"), ClientHostHint());
  client_port_ = Edit("clientPort");
  client_label_ = new QLabel(UiText("IP i port serwera (klient)"_cp));
  client_host2_ = Hinted(Edit("clientHost2"), ClientHostHint());
  client_port2_ = Edit("clientPort2");
  client2_label_ = new QLabel(UiText("IP i port serwera (klient) - alternatywny"_cp));
  interval_ = new ArrowsOnlySpinBox;
  interval_->setObjectName(QStringLiteral("interval"));
  interval_->setRange(kMinInterval, kMaxInterval);
  allow_list_ =
      Hinted(Edit("allowList"),
             "Adresy IP lub nazwy host z których połączenia będą akceptowane. Pusta lista = "
             "akceptowanie wszystkich adresów. Kilka adresów rozdziel przecinkami, możesz używać "
             "znaków * i ? jako tzw. WildMatch"_cp);
  allow_label_ =
      new QLabel(UiText("Zezwalaj na połączenia tylko z podanych adresów/&hostów (serwer)"_cp));
  allow_label_->setBuddy(allow_list_);
  for (QLineEdit* port : {server_port_, client_port_, client_port2_}) port->setMaximumWidth(60);
  interval_->setMaximumWidth(60);

  grid->addWidget(server_port_label_, 0, 0, 1, 2);
  grid->addWidget(server_port_, 0, 2);
  grid->addWidget(client_label_, 1, 0, 1, 3);
  grid->addWidget(client_host_, 2, 0, 1, 2);
  grid->addWidget(client_port_, 2, 2);
  grid->addWidget(client2_label_, 3, 0, 1, 3);
  grid->addWidget(client_host2_, 4, 0, 1, 2);
  grid->addWidget(client_port2_, 4, 2);
  grid->addWidget(new QLabel(UiText("Replikacja co [min]"_cp)), 5, 0, 1, 2);
  grid->addWidget(interval_, 5, 2);
  grid->addWidget(allow_label_, 6, 0, 1, 3);
  grid->addWidget(allow_list_, 7, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  return group;
}

QWidget* TfWizard::ModeGroup() {
  auto* group = new QGroupBox(UiText(" Ustawienia trybu pracy "_cp));
  auto* box = new QVBoxLayout(group);
  box->setSpacing(3);
  as_application_ = new QRadioButton(UiText("uruchom jako aplika&cję"_cp));
  as_application_->setObjectName(QStringLiteral("optionApplication"));
  as_service_ = new QRadioButton(UiText("uruchom jako &usługę systemd:"_cp));
  as_service_->setObjectName(QStringLiteral("optionService"));
  service_name_ = Hinted(Edit("serviceName"), "Nazwa usługi"_cp);
  remove_service_ = Button("removeService", "Odinstaluj");
  box->addWidget(as_application_);
  box->addWidget(as_service_);
  auto* name_row = new QHBoxLayout;
  name_row->setContentsMargins(18, 0, 0, 0);
  name_row->addWidget(service_name_, 1);
  name_row->addWidget(remove_service_);
  box->addLayout(name_row);
  box->addStretch(1);
  return group;
}

QWidget* TfWizard::TlsGroup() {
  auto* group = new QGroupBox(UiText(" Szyfrowanie połączenia (TLS) "_cp));
  auto* grid = new QGridLayout(group);
  grid->setVerticalSpacing(3);
  tls_certificate_ =
      Hinted(Edit("tlsCertificate"),
             "Plik certyfikatu serwera (PEM). Bez certyfikatu i klucza serwer przyjmuje "
             "połączenia nieszyfrowane."_cp);
  tls_certificate_label_ = new QLabel(UiText("Certyfikat serwera (PEM):"));
  tls_certificate_label_->setBuddy(tls_certificate_);
  choose_tls_certificate_ =
      Hinted(Button("chooseTlsCertificate", "..."), "Wskaż plik certyfikatu"_cp);
  tls_key_ = Hinted(Edit("tlsKey"), "Plik klucza prywatnego certyfikatu (PEM, bez hasła)"_cp);
  tls_key_label_ = new QLabel(UiText("Klucz prywatny (PEM):"));
  tls_key_label_->setBuddy(tls_key_);
  choose_tls_key_ = Hinted(Button("chooseTlsKey", "..."), "Wskaż plik klucza prywatnego"_cp);
  for (QPushButton* button : {choose_tls_certificate_, choose_tls_key_}) {
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 24);
  }
  client_tls_ = Hinted(Box("clientTls", "Szyfruj połączenie z serwerem (TLS)"_cp),
                       "Łącz się z serwerem wyłącznie szyfrowanym połączeniem; serwer musi mieć "
                       "certyfikat i klucz"_cp);
  tls_fingerprint_ =
      Hinted(Edit("tlsFingerprint"),
             "Odcisk SHA-256 certyfikatu serwera, np. wypisany przy tworzeniu certyfikatu. Puste "
             "pole = zaufaj certyfikatowi wystawionemu przez urząd certyfikacji dla adresu "
             "serwera"_cp);
  tls_fingerprint_label_ = new QLabel(UiText("Odcisk SHA-256 certyfikatu serwera:"_cp));
  tls_fingerprint_label_->setBuddy(tls_fingerprint_);

  grid->addWidget(tls_certificate_label_, 0, 0);
  grid->addWidget(tls_certificate_, 0, 1);
  grid->addWidget(choose_tls_certificate_, 0, 2);
  grid->addWidget(tls_key_label_, 1, 0);
  grid->addWidget(tls_key_, 1, 1);
  grid->addWidget(choose_tls_key_, 1, 2);
  grid->addWidget(client_tls_, 2, 0, 1, 3);
  grid->addWidget(tls_fingerprint_label_, 3, 0);
  grid->addWidget(tls_fingerprint_, 3, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  return group;
}

QWidget* TfWizard::OptionsGroup() {
  auto* group = new QGroupBox(UiText(" Parametry pracy "_cp));
  auto* grid = new QGridLayout(group);
  grid->setVerticalSpacing(2);
  autostart_box_ = Box("autostart", "&Automatycznie uruchamiaj przy starcie systemu"_cp);
  debug_ = Box("debug", "&Zapisuj dodatkowe informacje na temat statusu pracy"_cp);
  on_demand_ = Box("onDemand", "R&eplikacja na żądanie (klient)"_cp);
  auto_hour_ = Hinted(Box("autoHour", "Rozpoczynaj replikację o godzinie (klient):"_cp),
                      "W trybie replikacji na żądanie replikacja może nastąpić automatycznie o "
                      "podanej godzinie"_cp);
  auto_hour_time_ = Edit("autoHourTime");
  auto_hour_time_->setInputMask(QLatin1String(kTimeMask));
  auto_hour_time_->setMaximumWidth(52);
  full_log_ = Hinted(Box("fullLog", "Włącz pełne &logowanie"_cp),
                     "Podczas pracy będą tworzone pliki z informacją na temat każdego "
                     "przetworzonego rekordu"_cp);
  firewall_ = Hinted(Box("firewall", "Dodaj w&yjątek do zapory sieciowej (serwer)"_cp),
                     "Dodaj wyjątek na port serwera do zapory sieciowej systemu (dostępne dla "
                     "systemów posiadających włączoną wbudowaną zaporę)"_cp);
  send_first_ = Hinted(Box("sendNewDataFirst", "Najpierw wyślij nowe zmiany (klient)"_cp),
                       "Jeśli włączone, to po rozpoczęciu procesu synchronizacji najpierw "
                       "zostaną wysłane nowe zmiany z bazy zdalnej"_cp);
  events_ = Box("events", "Automatycznie odświeżaj rejestry po replikacji"_cp);

  grid->addWidget(autostart_box_, 0, 0);
  grid->addWidget(debug_, 1, 0);
  grid->addWidget(on_demand_, 2, 0);
  auto* hour_row = new QHBoxLayout;
  hour_row->addWidget(auto_hour_);
  hour_row->addWidget(auto_hour_time_);
  hour_row->addStretch(1);
  grid->addLayout(hour_row, 3, 0);
  grid->addWidget(full_log_, 0, 1);
  grid->addWidget(firewall_, 1, 1);
  grid->addWidget(send_first_, 2, 1);
  grid->addWidget(events_, 3, 1);
  return group;
}

QWidget* TfWizard::BottomRow() {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  start_after_ = Box("startAfter", "Uruchom &tramolina po zakończeniu konfiguracji"_cp);
  start_after_->setChecked(true);
  cancel_ = Button("cancel", "A&nuluj");
  ok_ = Button("ok", "&OK");
  ok_->setDefault(true);
  layout->addWidget(start_after_);
  layout->addStretch(1);
  layout->addWidget(cancel_);
  layout->addWidget(ok_);
  return row;
}

}  // namespace tramolin
