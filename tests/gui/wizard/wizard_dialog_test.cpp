#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

#include "ui/wizard.h"
#include "wizard_fixture.h"

namespace tramolin::testing {
namespace {

class WizardDialogTest : public WizardFixture {
 protected:
  TfWizard& Open() {
    wizard_ = std::make_unique<TfWizard>(Environment(), flags_.ServerMode, "2.0.0.1");
    wizard_->show();
    return *wizard_;
  }
  template <class Widget = QLineEdit>
  Widget* Find(const char* name) {
    auto* widget = wizard_->findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  void Type(const char* name, const QString& text) {
    Find(name)->clear();
    QTest::keyClicks(Find(name), text);
  }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
  void Tick(const char* name, bool on) { Find<QCheckBox>(name)->setChecked(on); }
  void FillAndTest() {
    Type("host", "srv");
    Type("directory", "/var/db");
    Type("file", "x.fdb");
    Click("testConnection");
  }

  std::unique_ptr<TfWizard> wizard_;
};

TEST_F(WizardDialogTest, EditingTheHostAfterASuccessfulTestAsksForANewTest) {
  Open();
  FillAndTest();
  EXPECT_EQ(LastMessage(), "Połączenie OK");
  EXPECT_TRUE(wizard_->Logic().ConnectionTested());
  EXPECT_EQ(Find("directory")->text(), "/var/db/");  // normalised, and still tested

  QTest::keyClicks(Find("host"), "2");
  EXPECT_FALSE(wizard_->Logic().ConnectionTested());
  Click("ok");
  EXPECT_EQ(LastMessage(), "Nie wykonano testu połączenia z bazą danych. Proszę wykonać test.");
  EXPECT_TRUE(wizard_->isVisible());
  EXPECT_EQ(wizard_->result(), QDialog::Rejected);
  EXPECT_TRUE(Find<QPushButton>("ok")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("cancel")->isEnabled());

  Click("testConnection");
  Click("ok");
  EXPECT_EQ(wizard_->result(), QDialog::Accepted);
  EXPECT_EQ(wizard_->Outcome(), WizardOutcome::kSavedAndStart);
  EXPECT_EQ(config_.DBHost, "srv2:");
}

TEST_F(WizardDialogTest, CancelStoresNothingAndRunsNoServiceStep) {
  config_.RunAsService = true;
  Open();
  FillAndTest();
  Type("serviceName", "RepA");
  Type("serverPort", "1");
  Click("cancel");
  EXPECT_EQ(wizard_->Outcome(), WizardOutcome::kCancelled);
  EXPECT_EQ(config_.DBHost, "127.0.0.1");
  EXPECT_EQ(config_.ServiceName, "Tramolin2");
  EXPECT_EQ(config_.ServerPort, 17846);
  EXPECT_FALSE(service_control_.IsInstalled("RepA"));
  EXPECT_EQ(Calls(), "");
}

TEST_F(WizardDialogTest, StartBoxDecidesTheOutcomeAndTheOkHint) {
  Open();
  EXPECT_EQ(Find<QPushButton>("ok")->toolTip(), "Zapisz zmiany i uruchom tramolina");
  Tick("startAfter", false);
  EXPECT_EQ(Find<QPushButton>("ok")->toolTip(), "Zapisz zmiany");
  FillAndTest();
  Click("ok");
  EXPECT_EQ(wizard_->Outcome(), WizardOutcome::kSaved);
}

TEST_F(WizardDialogTest, ModeDecidesCaptionAndEnabledFields) {
  Open();
  EXPECT_EQ(wizard_->windowTitle(), "Konfiguracja replikacji - serwer 2.0.0.1");
  for (const char* name : {"clientHost", "clientPort", "clientHost2", "clientPort2"}) {
    EXPECT_FALSE(Find(name)->isEnabled()) << name;
  }
  for (const char* name : {"onDemand", "autoHour", "sendNewDataFirst", "firewall"}) {
    EXPECT_FALSE(Find<QCheckBox>(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Find("serverPort")->isEnabled());

  flags_.ServerMode = false;
  Open();
  EXPECT_EQ(wizard_->windowTitle(), "Konfiguracja replikacji - klient 2.0.0.1");
  EXPECT_FALSE(Find("serverPort")->isEnabled());
  EXPECT_FALSE(Find("allowList")->isEnabled());
  EXPECT_TRUE(Find("clientHost")->isEnabled());
  EXPECT_TRUE(Find<QCheckBox>("onDemand")->isEnabled());
}

TEST_F(WizardDialogTest, AutomaticHourFollowsOnDemandAndTheTimeFollowsTheHourBox) {
  flags_.ServerMode = false;
  Open();
  auto* hour = Find<QCheckBox>("autoHour");
  QLineEdit* time = Find("autoHourTime");
  EXPECT_FALSE(hour->isEnabled());
  Tick("onDemand", true);
  EXPECT_TRUE(hour->isEnabled());
  EXPECT_FALSE(time->isEnabled());
  Tick("autoHour", true);
  EXPECT_TRUE(time->isEnabled());
  time->setText("07:30");
  Tick("onDemand", false);
  EXPECT_FALSE(hour->isChecked());
  EXPECT_FALSE(hour->isEnabled());
  EXPECT_FALSE(time->isEnabled());
  EXPECT_EQ(time->text(), ":");
}

TEST_F(WizardDialogTest, HourWithABlankFirstDigitIsRefused) {
  flags_.ServerMode = false;
  config_.ClientHost = "serwer";
  Open();
  FillAndTest();
  Tick("onDemand", true);
  Tick("autoHour", true);
  QLineEdit* time = Find("autoHourTime");
  time->setFocus();
  time->home(false);
  QTest::keyClick(time, Qt::Key_Right);  // the hour's first digit left blank
  QTest::keyClicks(time, "705");
  EXPECT_EQ(time->displayText(), "_7:05");
  Click("ok");
  EXPECT_EQ(LastMessage(), "Nieprawidłowa wartość w polu \"Czas\".");
  EXPECT_EQ(wizard_->result(), QDialog::Rejected);
}

TEST_F(WizardDialogTest, ServiceOptionSwitchesAutostartAndTheServiceName) {
  autostart_.SetAutostart(true, AppDir() + "tramolin2");
  Open();
  auto* autostart = Find<QCheckBox>("autostart");
  EXPECT_TRUE(autostart->isChecked());
  EXPECT_FALSE(Find("serviceName")->isEnabled());
  Find<QRadioButton>("optionService")->setChecked(true);
  EXPECT_FALSE(autostart->isChecked());
  EXPECT_FALSE(autostart->isEnabled());
  EXPECT_TRUE(Find("serviceName")->isEnabled());
  Find<QRadioButton>("optionApplication")->setChecked(true);
  EXPECT_TRUE(autostart->isChecked());
  EXPECT_TRUE(autostart->isEnabled());
}

TEST_F(WizardDialogTest, RemoveButtonStopsAndRemovesTheNamedService) {
  service_control_.InstallUnit("RepA", {"/x/tramolin2", "/x/", {}, false});
  config_.RunAsService = true;
  config_.ServiceName = "RepA";
  Open();
  Click("removeService");
  EXPECT_FALSE(service_control_.IsInstalled("RepA"));
  EXPECT_EQ(Find<QStatusBar>("statusBar")->currentMessage(), "Deinstalacja usługi RepA ...");
  EXPECT_EQ(config_.RunAsService, true);  // the configuration is not changed
}

TEST_F(WizardDialogTest, TlsFieldsFollowTheModeAndTheFingerprintTheTlsBox) {
  config_.ClientTls = true;
  Open();  // server: the client's fields are shown, disabled
  EXPECT_FALSE(Find<QCheckBox>("clientTls")->isEnabled());
  EXPECT_FALSE(Find("tlsFingerprint")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("chooseTlsKey")->isEnabled());

  flags_.ServerMode = false;
  config_.ClientTls = false;
  Open();
  for (const char* name : {"tlsCertificate", "tlsKey"}) EXPECT_FALSE(Find(name)->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("chooseTlsCertificate")->isEnabled());
  EXPECT_FALSE(Find("tlsFingerprint")->isEnabled());
  Tick("clientTls", true);
  EXPECT_TRUE(Find("tlsFingerprint")->isEnabled());
  Tick("clientTls", false);
  EXPECT_FALSE(Find("tlsFingerprint")->isEnabled());
}

TEST_F(WizardDialogTest, PemButtonsFillTheirFieldAndAMissingKeyIsFocused) {
  QStringList asked;
  QString answer = "/t/server.pem";
  Open();
  wizard_->SetFileQuestions({{}, {}, [&](QWidget*, const QString& title, const QString& start) {
                               asked << title + "|" + start;
                               return answer;
                             }});
  Find("tlsCertificate")->setText("/old.pem");
  Click("chooseTlsCertificate");
  answer.clear();  // cancelled: the field stays
  Click("chooseTlsCertificate");
  EXPECT_EQ(Find("tlsCertificate")->text(), "/t/server.pem");
  EXPECT_EQ(asked, (QStringList{"Certyfikat serwera (PEM)|/old.pem",
                                "Certyfikat serwera (PEM)|/t/server.pem"}));
  FillAndTest();
  Click("ok");
  EXPECT_EQ(LastMessage(), "Podaj oba pliki TLS: certyfikat i klucz albo żaden.");
  EXPECT_EQ(wizard_->focusWidget(), Find("tlsKey"));
  answer = "/t/server.key";
  Click("chooseTlsKey");
  Click("ok");
  EXPECT_EQ(wizard_->result(), QDialog::Accepted);
  EXPECT_EQ(config_.ServerTlsKey, "/t/server.key");
}

}  // namespace
}  // namespace tramolin::testing
