#include "ui/wizard_logic.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/autostart.h"
#include "platform/service_control.h"
#include "unit/util/temp_dir.h"
#include "util/cp1250.h"
#include "wizard_fixture.h"

namespace tramolin::testing {
namespace {

class WizardLogicTest : public WizardFixture {
 protected:
  // A form as the wizard shows it, naming srv:/var/db/x.fdb.
  WizardForm FilledForm() {
    WizardForm form = logic_.LoadWizardFields();
    form.host = "srv";
    form.directory = "/var/db";
    form.file = "x.fdb";
    return form;
  }
  // The same form with a passed connection test.
  WizardForm TestedForm() {
    WizardForm form = FilledForm();
    WizardField focus;
    logic_.TestConnection(form, focus);
    messages_.clear();
    return form;
  }
  bool Apply(WizardForm& form) { return logic_.ApplyWizard(form, focus_); }

  WizardLogic logic_{Environment()};
  WizardField focus_ = WizardField::kNone;
};

TEST_F(WizardLogicTest, WithoutAConnectionTestNothingIsStored) {
  WizardForm form = FilledForm();
  const TConfig before = config_;
  EXPECT_FALSE(Apply(form));
  EXPECT_EQ(LastMessage(), "Nie wykonano testu połączenia z bazą danych. Proszę wykonać test.");
  EXPECT_EQ(focus_, WizardField::kTestButton);
  EXPECT_EQ(config_.DBHost, before.DBHost);
  EXPECT_EQ(Calls(), "");
}

TEST_F(WizardLogicTest, TechnicianModeNeedsNeitherDatabaseFieldsNorATest) {
  flags_.TechnicianMode = true;
  flags_.ServerMode = false;
  config_.ClientHost = "serwer";
  WizardLogic logic(Environment());
  WizardForm form = logic.LoadWizardFields();
  form.directory.clear();
  form.file.clear();
  WizardField focus;
  EXPECT_TRUE(logic.ApplyWizard(form, focus)) << LastMessage();
}

TEST_F(WizardLogicTest, StoresHostWithColonAndNormalisedDirectoryAndServerVersion) {
  version_ = "LI-V2.5.9.27139 Firebird 2.5";
  WizardForm form = TestedForm();
  EXPECT_EQ(form.directory, "/var/db/");  // normalised by the test already
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_EQ(config_.DBHost, "srv:");
  EXPECT_EQ(config_.DBPath, "/var/db/");
  EXPECT_EQ(config_.DBFile, "x.fdb");
  EXPECT_EQ(config_.FirebirdVersion, 3);
  EXPECT_EQ(tested_.server, "srv");
  EXPECT_EQ(tested_.password, "sandorift");  // no TPassDM here: the default administrator
}

TEST_F(WizardLogicTest, AliasAndTechnicianDirectoriesFollowTheSameRule) {
  WizardForm form = TestedForm();
  form.host = "srv:";
  form.directory = "baza";
  form.file = "";
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_EQ(config_.DBHost, "srv:");
  EXPECT_EQ(config_.DBPath, "baza");

  flags_.TechnicianMode = true;
  form.directory = "C:\\Bazy";
  form.file = "x.fdb";
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_EQ(config_.DBPath, "C:\\Bazy\\");
}

TEST_F(WizardLogicTest, FailedTestShowsTheDatabaseAndTheError) {
  database_error_ = "I/O error";
  WizardForm form = FilledForm();
  WizardField focus;
  logic_.TestConnection(form, focus);
  EXPECT_FALSE(logic_.ConnectionTested());
  EXPECT_EQ(LastMessage(),
            "Wystąpił błąd w czasie próby połączenia\r\n(srv:/var/db/x.fdb)\r\n\"I/O error\"");
  EXPECT_EQ(levels_.back(), 8);
}

TEST_F(WizardLogicTest, MissingDirectoryAndFileAreRefusedBeforeAnyTest) {
  WizardForm form = logic_.LoadWizardFields();
  form.directory = " ";
  form.file = "";
  WizardField focus;
  logic_.TestConnection(form, focus);
  EXPECT_EQ(LastMessage(), "Brak danych w polu \"Katalog bazy danych\"");
  EXPECT_EQ(focus, WizardField::kDirectory);
  EXPECT_FALSE(database_tested_);
}

TEST_F(WizardLogicTest, NetworkFieldsAreCheckedByMode) {
  struct Case {
    bool server_mode;
    std::string server_port, client_host, client_port;
    std::string message;
    WizardField focus;
  };
  const std::string abc =
      "Nieprawidłowa wartość w polu \"Port\"\r\n\"'abc' nie jest poprawną "
      "liczbą całkowitą\"";
  const Case cases[] = {
      {true, " ", "", "", "Nieprawidłowa konfiguracja sieciowa", WizardField::kServerPort},
      {true, "abc", "", "", abc, WizardField::kServerPort},
      {false, "", "", "17846", "Nieprawidłowa konfiguracja sieciowa", WizardField::kClientPort},
      {false, "", "serwer", "", "Nieprawidłowa konfiguracja sieciowa", WizardField::kClientPort},
      {false, "", "serwer", "abc", abc, WizardField::kClientPort},
  };
  for (const Case& c : cases) {
    flags_.ServerMode = c.server_mode;
    WizardForm form = TestedForm();
    form.server_port = c.server_port;
    form.client_host = c.client_host;
    form.client_port = c.client_port;
    EXPECT_FALSE(Apply(form));
    EXPECT_EQ(LastMessage(), c.message);
    EXPECT_EQ(focus_, c.focus) << c.message;
  }
}

TEST_F(WizardLogicTest, ClientPortsAndHostsAreStoredAlternativeDefaulting) {
  flags_.ServerMode = false;
  WizardForm form = TestedForm();
  form.client_host = " serwer ";
  form.client_port = "18000";
  form.client_host2 = "zapas";
  form.client_port2 = "";
  form.server_port = "1";
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_EQ(config_.ClientHost, "serwer");
  EXPECT_EQ(config_.ClientPort, 18000);
  EXPECT_EQ(config_.ClientHost2, "zapas");
  EXPECT_EQ(config_.ClientPort2, 17846);
  EXPECT_EQ(config_.ServerPort, 17846);  // not a client's setting
}

TEST_F(WizardLogicTest, ServerStoresPortAndAllowListWithoutBlanks) {
  WizardForm form = TestedForm();
  form.server_port = " 18001 ";
  form.allow_list = " 10.0.0.*, biuro? ";
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_EQ(config_.ServerPort, 18001);
  EXPECT_EQ(flags_.AllowList, (std::vector<std::string>{"10.0.0.*", "biuro?"}));
  EXPECT_EQ(form.allow_list, "10.0.0.*,biuro?");
}

TEST_F(WizardLogicTest, IntervalOfNinetyIsShownAndSavedAsSixty) {
  config_.Interwal = 90;
  WizardLogic logic(Environment());
  WizardForm form = logic.LoadWizardFields();
  EXPECT_EQ(form.interval, 60);
  form.host = "srv";
  form.directory = "d";
  WizardField focus;
  logic.TestConnection(form, focus);
  ASSERT_TRUE(logic.ApplyWizard(form, focus)) << LastMessage();
  EXPECT_EQ(config_.Interwal, 60);
}

TEST_F(WizardLogicTest, AutoHourIsCheckedOnlyInClientModeWithItsBoxTicked) {
  flags_.ServerMode = false;
  struct Case {
    std::string time;
    bool applied;
    std::string message;
  };
  const Case cases[] = {
      {" 7:05", false, "Nieprawidłowa wartość w polu \"Czas\"."},
      {"25:00", false,
       "Nieprawidłowa wartość w polu \"Czas\"\r\n\"'25:00' nie jest poprawną godziną\""},
      {"07:05", true, ""},
  };
  for (const Case& c : cases) {
    WizardForm form = TestedForm();
    form.client_host = "serwer";
    form.on_demand = true;
    form.auto_hour = true;
    form.auto_hour_time = Utf8ToCp1250(c.time);
    EXPECT_EQ(Apply(form), c.applied) << c.time;
    if (!c.applied) {
      EXPECT_EQ(LastMessage(), c.message);
      EXPECT_EQ(focus_, WizardField::kAutoHourTime);
    }
  }
  EXPECT_EQ(config_.AutoNaZadanie, "07:05");
  EXPECT_TRUE(flags_.OnDemand);
}

TEST_F(WizardLogicTest, ServerModeLoadsClientOptionsUnticked) {
  config_.AutoNaZadanie = "07:30";
  config_.SendNewDataFirst = true;
  flags_.OnDemand = true;
  WizardForm form = WizardLogic(Environment()).LoadWizardFields();
  EXPECT_FALSE(form.on_demand);
  EXPECT_FALSE(form.auto_hour);
  EXPECT_FALSE(form.send_new_data_first);
  EXPECT_EQ(form.auto_hour_time, "");

  flags_.ServerMode = false;
  form = WizardLogic(Environment()).LoadWizardFields();
  EXPECT_TRUE(form.on_demand);
  EXPECT_TRUE(form.auto_hour);
  EXPECT_EQ(form.auto_hour_time, "07:30");
}

constexpr char kPin[] =
    "3A:7F:C2:19:E4:5B:08:D1:6C:92:AF:30:4E:B7:15:8D:C6:21:F9:0A:73:BE:54:E8:1D:96:2C:4F:A0:67:DB:"
    "38";

TEST_F(WizardLogicTest, TlsFieldsRoundTripAndEachModeStoresOnlyItsOwn) {
  config_.ServerTlsCertificate = "/t/old.pem";
  config_.ServerTlsKey = "/t/old.key";
  config_.ClientTls = true;
  config_.ClientTlsFingerprint = kPin;
  config_.ClientHost = "serwer";
  WizardForm form = TestedForm();
  EXPECT_EQ(form.tls_certificate, "/t/old.pem");
  EXPECT_EQ(form.tls_key, "/t/old.key");
  EXPECT_TRUE(form.tls);
  EXPECT_EQ(form.tls_fingerprint, kPin);
  form.tls_certificate = " /t/new.pem ";
  form.tls = false;
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_EQ(config_.ServerTlsCertificate, "/t/new.pem");
  EXPECT_TRUE(config_.ClientTls);  // a client's setting

  flags_.ServerMode = false;
  form = TestedForm();
  form.tls_key.clear();  // a server's field: neither judged nor stored
  form.tls_fingerprint = " 3a 7f c2" + std::string(kPin).substr(8);
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_EQ(config_.ClientTlsFingerprint, kPin);
  EXPECT_EQ(config_.ServerTlsKey, "/t/old.key");
  form.tls_fingerprint.clear();  // no pin: an authority-issued certificate is trusted
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_TRUE(config_.ClientTls);
  EXPECT_EQ(config_.ClientTlsFingerprint, "");
}

TEST_F(WizardLogicTest, TlsFieldsAreCheckedBeforeAnythingIsStored) {
  const std::string files = "Podaj oba pliki TLS: certyfikat i klucz albo żaden.";
  const std::string bytes = "Odcisk SHA-256 musi mieć 32 bajty zapisane szesnastkowo.";
  const std::string short_pin = std::string(kPin).substr(3);
  struct Case {
    bool server_mode;
    std::string certificate, key;
    bool tls;
    std::string fingerprint, message;  // no message: accepted
    WizardField focus;
  };
  const Case cases[] = {
      {true, "/t/s.pem", " ", false, "", files, WizardField::kTlsKey},
      {true, "", "/t/s.key", false, "", files, WizardField::kTlsCertificate},
      {false, "", "", true, short_pin, bytes, WizardField::kTlsFingerprint},
      {false, "", "", true, "sha256:" + std::string(kPin), bytes, WizardField::kTlsFingerprint},
      {false, "", "", false, short_pin, "", WizardField::kNone},  // TLS off: the pin is kept
  };
  config_.ClientHost = "serwer";
  config_.RunAsService = true;  // a refusal comes before the service step
  for (const Case& c : cases) {
    flags_.ServerMode = c.server_mode;
    WizardForm form = TestedForm();
    form.tls_certificate = c.certificate;
    form.tls_key = c.key;
    form.tls = c.tls;
    form.tls_fingerprint = c.fingerprint;
    EXPECT_EQ(Apply(form), c.message.empty()) << c.fingerprint << c.certificate;
    if (c.message.empty()) continue;
    EXPECT_EQ(LastMessage(), c.message);
    EXPECT_EQ(focus_, c.focus) << c.message;
    EXPECT_EQ(config_.ServerTlsCertificate, "");
    EXPECT_FALSE(service_control_.IsInstalled("Tramolin2"));
  }
  EXPECT_EQ(config_.ClientTlsFingerprint, short_pin);
}

TEST_F(WizardLogicTest, RenamingTheServiceRemovesTheOldUnitAndInstallsTheNew) {
  config_.RunAsService = true;
  service_control_.InstallUnit("Tramolin2", {"/x/tramolin2", "/x/", {}, false});
  WizardLogic logic(Environment());
  WizardForm form = logic.LoadWizardFields();
  EXPECT_FALSE(form.autostart_enabled);
  form.host = "srv";
  form.directory = "d";
  WizardField focus;
  logic.TestConnection(form, focus);
  form.service_name = "RepA";
  form.debug = true;
  ASSERT_TRUE(logic.ApplyWizard(form, focus)) << LastMessage();
  EXPECT_FALSE(service_control_.IsInstalled("Tramolin2"));
  ASSERT_TRUE(service_control_.IsInstalled("RepA"));
  EXPECT_NE(ReadFile(service_control_.UnitFile("RepA"))
                .find("ExecStart=\"" + AppDir() + "tramolin2\" -s -d\n"),
            std::string::npos);
  const std::string calls = CallsAfter(6);
  for (const char* call :
       {"stop Tramolin2.service", "disable Tramolin2.service", "enable RepA.service"}) {
    EXPECT_NE(calls.find(call), std::string::npos) << calls;
  }
  EXPECT_EQ(config_.ServiceName, "RepA");
  EXPECT_TRUE(config_.RunAsService);
  EXPECT_EQ(statuses_.back(), "");
  EXPECT_NE(std::find(statuses_.begin(), statuses_.end(), "Instalacja usługi RepA ..."),
            statuses_.end());

  // A server writes its database; the embedded engine writes it from the service's process.
  const std::string own_folder = "\nReadWritePaths=\"" + AppDir() + "\"";
  EXPECT_NE(ReadFile(service_control_.UnitFile("RepA")).find(own_folder + "\n"), std::string::npos);
  form.host = "";
  form.directory = std::string("/var/bazy ż/"_cp);  // the form holds code page 1250
  ASSERT_TRUE(logic.ApplyWizard(form, focus)) << LastMessage();
  EXPECT_NE(ReadFile(service_control_.UnitFile("RepA")).find(own_folder + " \"-/var/bazy ż/\"\n"),
            std::string::npos);
}

TEST_F(WizardLogicTest, BackToApplicationRemovesTheServiceNamedAtOpening) {
  config_.RunAsService = true;
  service_control_.InstallUnit("Tramolin2", {"/x/tramolin2", "/x/", {}, false});
  WizardForm form = TestedForm();
  form.run_as_service = false;
  form.autostart = true;
  ASSERT_TRUE(Apply(form)) << LastMessage();
  EXPECT_FALSE(service_control_.IsInstalled("Tramolin2"));
  EXPECT_FALSE(config_.RunAsService);
  EXPECT_TRUE(autostart_.IsAutostartEnabled());

  // Nothing registered: nothing run.
  EXPECT_NE(CallsAfter(4).find("disable Tramolin2.service"), std::string::npos);
  RemoveCalls();
  WizardLogic again(Environment());
  WizardForm second = again.LoadWizardFields();
  EXPECT_TRUE(second.autostart);
  second.host = "srv";
  second.directory = "d";
  second.autostart = false;
  WizardField focus;
  again.TestConnection(second, focus);
  ASSERT_TRUE(again.ApplyWizard(second, focus));
  EXPECT_EQ(Calls(), "");
  EXPECT_FALSE(autostart_.IsAutostartEnabled());
}

TEST_F(WizardLogicTest, BadServiceNameIsRefusedAndRemoveIgnoresIt) {
  WizardForm form = TestedForm();
  form.run_as_service = true;
  form.service_name = "Rep A";
  EXPECT_FALSE(Apply(form));
  EXPECT_EQ(LastMessage(), "Podano niepoprawdna nazwę usługi");
  EXPECT_EQ(focus_, WizardField::kServiceName);
  setup_.RemoveService("Rep A");
  setup_.RemoveService("");
  for (const char* name : {"a/../../etc/x", "../x", "-x"}) {  // out of the unit folder, a switch
    form.service_name = name;
    EXPECT_FALSE(Apply(form)) << name;
    EXPECT_EQ(focus_, WizardField::kServiceName) << name;
    setup_.RemoveService(name);
  }
  EXPECT_EQ(Calls(), "");
}

// No unit could be made: the installation message as it stands, the system's reason after it.
TEST_F(WizardLogicTest, UnwritableUnitFolderFailsTheInstallation) {
  std::filesystem::remove_all(dir_ / "units");
  WizardForm form = TestedForm();
  form.run_as_service = true;
  EXPECT_FALSE(Apply(form));
  ASSERT_GE(messages_.size(), 2u);
  EXPECT_EQ(messages_[messages_.size() - 2],
            "Wystąpił problem w czasie instalacji usługi Tramolin.\r\n"
            "Uruchomienie tramolina jako usługi nie jest możliwe.");
  EXPECT_EQ(levels_[levels_.size() - 2], 6);
  EXPECT_EQ(LastMessage(), "cannot write " + service_control_.UnitFile("Tramolin2").string() +
                               ": No such file or directory");
  EXPECT_FALSE(config_.RunAsService);
}

TEST_F(WizardLogicTest, FailedEnableFailsTheStepWithSystemctlsMessage) {
  WriteFile(stub_, "#!/bin/sh\n[ \"$1\" = enable ] || exit 0\necho 'Access denied' >&2\nexit 1\n");
  const std::string failure = "\r\nUruchomienie tramolina jako usługi nie jest możliwe.\r\n" +
                              stub_.string() +
                              " enable Tramolin2.service failed (exit status 1): Access denied";
  WizardForm form = TestedForm();
  form.run_as_service = true;
  // The new unit was written before enabling it failed: its parameters, not its installation,
  // failed, and so again when the next try rewrites it.
  EXPECT_FALSE(Apply(form));
  EXPECT_EQ(LastMessage(), "Wystąpił problem w czasie parametryzacji usługi Tramolin." + failure);
  EXPECT_EQ(levels_.back(), 6);
  EXPECT_FALSE(Apply(form));
  EXPECT_EQ(LastMessage(), "Wystąpił problem w czasie parametryzacji usługi Tramolin." + failure);
  EXPECT_FALSE(config_.RunAsService);
}

}  // namespace
}  // namespace tramolin::testing
