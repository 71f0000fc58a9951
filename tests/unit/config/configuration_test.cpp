#include "config/configuration.h"

#include <gtest/gtest.h>

#include "config/program_switches.h"
#include "unit/util/temp_dir.h"

namespace tramolin {
namespace {

using testing::ReadFile;
using testing::WriteFile;

FirebirdVersionProbe Unreachable() {
  return [](const TConfig&) { return std::optional<std::string>(); };
}

FirebirdVersionProbe Answers(std::string version) {
  return [version](const TConfig&) { return std::optional<std::string>(version); };
}

class ConfigurationTest : public ::testing::Test {
 protected:
  // Loads with the given file text ("" = no file) and switches.
  Configuration& Load(const std::string& ini, std::vector<std::string> args = {},
                      const FirebirdVersionProbe& probe = Unreachable()) {
    if (!ini.empty()) WriteFile(dir_ / "Tramolin2.ini", ini);
    configuration_.LoadConfiguration(CommandLine(std::move(args)), probe);
    return configuration_;
  }
  std::string SavedFile() {
    configuration_.SaveConfiguration();
    return ReadFile(dir_ / "Tramolin2.ini");
  }

  testing::TempDir dir_;
  Configuration configuration_{dir_.path().string()};
};

TEST_F(ConfigurationTest, NoFileNoSwitchesGivesServerDefaults) {
  const Configuration& c = Load("");
  EXPECT_TRUE(c.flags.ServerMode);
  EXPECT_FALSE(c.flags.TechnicianMode);
  EXPECT_EQ(c.config.ServerPort, 17846);
  EXPECT_EQ(c.config.ClientPort, 17846);
  EXPECT_EQ(c.config.DBHost, "127.0.0.1");
  EXPECT_EQ(c.config.ServiceName, "Tramolin2");
  EXPECT_EQ(c.config.Interwal, 0);
  EXPECT_EQ(c.config.FirebirdVersion, 0);
  EXPECT_EQ(c.config.AppDir, dir_.path().string() + "/");
  EXPECT_FALSE(c.host_window.has_value());
  EXPECT_TRUE(c.config.AttachmentFolders.empty());
}

TEST_F(ConfigurationTest, TechnicianSwitchAndModeKey) {
  EXPECT_FALSE(Load("", {"-serwis"}).flags.ServerMode);
  EXPECT_TRUE(configuration_.flags.TechnicianMode);
  EXPECT_FALSE(Load("[DB]\nDBHOST=x\n", {"-SERWIS"}).flags.ServerMode);
  EXPECT_TRUE(configuration_.flags.TechnicianMode);
  EXPECT_TRUE(Load("[Tramolin]\nMode=1\n", {"-serwis"}).flags.ServerMode);
  EXPECT_FALSE(configuration_.flags.TechnicianMode);
}

TEST_F(ConfigurationTest, ModeOtherThanOneIsClient) {
  EXPECT_FALSE(Load("[Tramolin]\nMode=0\n").flags.ServerMode);
  EXPECT_FALSE(Load("[Tramolin]\nMode=2\n").flags.ServerMode);
  EXPECT_FALSE(configuration_.flags.TechnicianMode);
  EXPECT_TRUE(Load("[Tramolin]\nOther=2\n").flags.ServerMode);
}

TEST_F(ConfigurationTest, IntervalBelowOneOrMalformedReadsAsOne) {
  for (const char* value : {"0", "-5", "abc"}) {
    EXPECT_EQ(Load(std::string("[Tramolin]\nInterwal=") + value + "\n").config.Interwal, 1);
  }
  EXPECT_EQ(Load("[Tramolin]\nInterwal=15\n").config.Interwal, 15);
  EXPECT_EQ(Load("[DB]\n").config.Interwal, 1);
}

TEST_F(ConfigurationTest, FirebirdGenerationFromTheServerOrTheFile) {
  EXPECT_EQ(Load("[DB]\n", {}, Answers("LI-V2.5.9.27139 Firebird 2.5")).config.FirebirdVersion, 3);
  EXPECT_EQ(Load("[DB]\n", {}, Answers("WI-V2.1.7.18553")).config.FirebirdVersion, 2);
  EXPECT_EQ(Load("[DB]\n", {}, Answers("LI-V3.0.11.33703")).config.FirebirdVersion, 1);
  EXPECT_EQ(Load("[DB]\nFirebirdVersion=2\n").config.FirebirdVersion, 2);
  EXPECT_EQ(Load("[DB]\nFirebirdVersion=3\n", {}, Answers("2.1.")).config.FirebirdVersion, 2);
  EXPECT_EQ(Load("[DB]\n", {}, Unreachable()).config.FirebirdVersion, 1);
  const FirebirdVersionProbe throwing = [](const TConfig&) -> std::optional<std::string> {
    throw std::runtime_error("no services manager");
  };
  EXPECT_EQ(Load("[DB]\nFirebirdVersion=3\n", {}, throwing).config.FirebirdVersion, 3);
}

TEST_F(ConfigurationTest, ProbeSeesTheDatabaseSettingsOfTheFile) {
  TConfig seen;
  Load("[DB]\nDBHOST=srv:\nDBPATH=/db\nDBFILE=a.fdb\n", {}, [&seen](const TConfig& c) {
    seen = c;
    return std::optional<std::string>();
  });
  EXPECT_EQ(seen.DBHost + seen.DBPath + seen.DBFile, "srv:/dba.fdb");
}

TEST_F(ConfigurationTest, AdministratorLoginIsNeitherReadNorWritten) {
  const Configuration& c = Load("[DB]\nDBUSER=planer\nDBPASSWORD=inne\nUSER=a\nPASSWORD=b\n");
  EXPECT_EQ(c.config.DBUser, "sysdba");
  EXPECT_EQ(c.config.DBPassword, "sandorift");
  const std::string saved = SavedFile();
  EXPECT_EQ(saved.find("sysdba"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("sandorift"), std::string::npos) << saved;
}

TEST_F(ConfigurationTest, AllowListIsCommaText) {
  EXPECT_EQ(Load("[Server]\nAllow=10.0.0.*,biuro?\n").flags.AllowList,
            (std::vector<std::string>{"10.0.0.*", "biuro?"}));
  EXPECT_TRUE(Load("[Server]\nAllow=\n").flags.AllowList.empty());
  EXPECT_EQ(Load("[Server]\nWorkers=3\n").config.ServerWorkers, 3);
  EXPECT_EQ(Load("[Server]\nWorkers=100000\n").config.ServerWorkers, 256);
  EXPECT_EQ(Load("[Server]\nWorkers=-2\n").config.ServerWorkers, 0);
}

TEST_F(ConfigurationTest, TlsSettingsAreReadAndWrittenOnlyWhenSet) {
  Configuration& c = Load(
      "[Server]\nTlsCertificate=/etc/t/cert.pem\nTlsKey=/etc/t/key.pem\n"
      "[Klient]\nTls=1\nTlsFingerprint=AB:CD\n");
  EXPECT_EQ(c.config.ServerTlsCertificate, "/etc/t/cert.pem");
  EXPECT_EQ(c.config.ServerTlsKey, "/etc/t/key.pem");
  EXPECT_TRUE(c.config.ClientTls);
  EXPECT_EQ(c.config.ClientTlsFingerprint, "AB:CD");
  EXPECT_NE(SavedFile().find("Tls=1\r\n"), std::string::npos);
  c.config = TConfig{};
  EXPECT_EQ(SavedFile().find("Tls"), std::string::npos);
}

TEST_F(ConfigurationTest, TheCustomerKeysAreReadAndNeverWritten) {
  Configuration& c = Load(
      "[Licencja]\nCustomerNumber=K-17\nCustomerName=Firma A\n"
      "UpdateCheckUrl=https://u/checkforupdates.php\n");
  EXPECT_EQ(c.config.CustomerNumber, "K-17");
  EXPECT_EQ(c.config.CustomerName, "Firma A");
  EXPECT_EQ(c.config.UpdateCheckUrl, "https://u/checkforupdates.php");
  c.config.CustomerName = "Inna";
  EXPECT_EQ(SavedFile().find("Inna"), std::string::npos);
}

TEST_F(ConfigurationTest, AccessKeysAreReadAndWrittenOnlyWhenSet) {
  Configuration& c = Load("[Server]\nAccessKey=tajny klucz\n[Klient]\nAccessKey=k2\n");
  EXPECT_EQ(c.config.ServerAccessKey, "tajny klucz");
  EXPECT_EQ(c.config.ClientAccessKey, "k2");
  EXPECT_NE(SavedFile().find("AccessKey=tajny klucz\r\n"), std::string::npos);
  c.config.ServerAccessKey.clear();
  c.config.ClientAccessKey.clear();
  EXPECT_EQ(SavedFile().find("AccessKey"), std::string::npos);
}

TEST_F(ConfigurationTest, AttachmentFoldersAreASemicolonListWrittenOnlyWhenSet) {
  Configuration& c = Load("[Tramolin]\nAttachmentFolders= /srv/zal ;;/mnt/dok umenty;\n");
  EXPECT_EQ(c.config.AttachmentFolders, (std::vector<std::string>{"/srv/zal", "/mnt/dok umenty"}));
  EXPECT_NE(SavedFile().find("AttachmentFolders=/srv/zal;/mnt/dok umenty\r\n"), std::string::npos);
  c.config.AttachmentFolders.clear();
  EXPECT_EQ(SavedFile().find("AttachmentFolders"), std::string::npos);
}

TEST_F(ConfigurationTest, MissingKeyKeepsValueMalformedNumberGivesDefault) {
  const Configuration& c = Load("[Klient]\nPort=abc\nHost=srv\n[DB]\nDBPORT=\n");
  EXPECT_EQ(c.config.ClientPort, 17846);
  EXPECT_EQ(c.config.DBPort, 3050);
  EXPECT_EQ(c.config.ClientHost, "srv");
  EXPECT_EQ(c.config.ClientHost2, "");
  EXPECT_EQ(c.config.DBHost, "127.0.0.1");
}

TEST_F(ConfigurationTest, SwitchesAndDebugMarker) {
  const Configuration& c = Load("", {"-s", "-v", "-h=5312"});
  EXPECT_TRUE(c.flags.RunningAsService);
  EXPECT_TRUE(c.flags.DesktopInteraction);
  EXPECT_FALSE(c.flags.DebugMode);
  EXPECT_EQ(c.host_window, 5312);
  EXPECT_EQ(Load("", {"-h=okno"}).host_window, 0);
  WriteFile(dir_ / "Tramolin2debug.txt", "");
  EXPECT_TRUE(Load("").flags.DebugMode);
}

// Asked for help or the version, the program prints and ends; the help names every switch the
// program reads. Anything else starts the program, unknown switches included.
TEST(ProgramSwitchesTest, HelpAndVersionAreAnsweredAnythingElseStarts) {
  const auto asked = [](std::vector<std::string> args) {
    return RequestedInformation(CommandLine(std::move(args))).value_or("start");
  };
  const std::string version = "Tramolin 2, wersja " TRAMOLIN_VERSION "\n";
  const std::string help = asked({"-s", "--HELP"});
  EXPECT_TRUE(help.starts_with(version));
  EXPECT_EQ(asked({"--version"}), version);
  EXPECT_EQ(asked({"-?"}), help);
  EXPECT_EQ(asked({"--version", "--help"}), help);
  for (const char* name :
       {"-s ", "-v ", "-d ", "-k ", "-m ", "-ms ", "-min ", "-serwis ", "-h=N ", "--technician ",
        "--key=", "--tls=", "--fingerprint=", "--timeout=", "--version ", "TRAMOLIN2_DIR"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"-s", "-d"}, {"-h=5"}, {"--pomoc"}, {"/?"}, {"--versions"}}) {
    EXPECT_EQ(asked(args), "start");
  }
}

TEST_F(ConfigurationTest, NewFileHasTheKeysInOrder) {
  Load("", {"-serwis"});
  configuration_.config.Interwal = 5;
  configuration_.flags.AllowList = {"10.0.0.*", "a b"};
  EXPECT_EQ(SavedFile(),
            "[DB]\r\nDBHOST=127.0.0.1\r\nDBPATH=\r\nDBFILE=\r\nDBPORT=3050\r\nFirebirdVersion=0\r\n"
            "\r\n[Tramolin]\r\nMode=0\r\nRunAsService=0\r\nEvents=0\r\nFullLog=0\r\nInterwal=5\r\n"
            "ServiceName=Tramolin2\r\n"
            "\r\n[Server]\r\nPort=17846\r\nAllow=10.0.0.*,\"a b\"\r\n"
            "\r\n[Klient]\r\nPort=17846\r\nHost=\r\nPort2=17846\r\nHost2=\r\nOnDemand=0\r\n"
            "SendNewDataFirst=0\r\nAutoNaZadanie=\r\n"
            "\r\n[DynDNS]\r\nServer=\r\n");
}

TEST_F(ConfigurationTest, SavingInClientModeLeavesPublishingKeysAlone) {
  Load("[DynDNS]\nRemotePort=999\nREMOTE_ADDR=http://a\n; note\n[Tramolin]\nMode=0\n");
  configuration_.config.DynDNSRemotePort = 1234;
  const std::string saved = SavedFile();
  EXPECT_NE(
      saved.find("[DynDNS]\r\nRemotePort=999\r\nREMOTE_ADDR=http://a\r\n; note\r\nServer=\r\n"),
      std::string::npos);
  EXPECT_EQ(saved.find("1234"), std::string::npos);
}

TEST_F(ConfigurationTest, ServerModeWritesRemotePort) {
  Load("[Tramolin]\nMode=1\n");
  configuration_.config.DynDNSRemotePort = 1234;
  EXPECT_NE(SavedFile().find("[DynDNS]\r\nServer=\r\nRemotePort=1234\r\n"), std::string::npos);
}

TEST_F(ConfigurationTest, SavedConfigurationReadsBackTheSame) {
  Load("");
  TConfig& c = configuration_.config;
  c.DBHost = "10.1.1.1:";
  c.DBPath = "/var/db";
  c.DBFile = "velmo.fdb";
  c.DBPort = 3051;
  c.ServerPort = 17000;
  c.ClientHost = "srv.example";
  c.ClientPort2 = 17001;
  c.ClientHost2 = "alt";
  c.DynDNSRemotePort = 17002;
  c.DynDNSServer = "https://dns";
  c.RunAsService = c.Events = c.FullLog = c.SendNewDataFirst = true;
  c.ServiceName = "Rep";
  c.Interwal = 7;
  c.FirebirdVersion = 2;
  c.AutoNaZadanie = "22:30";
  configuration_.flags.AllowList = {"10.0.0.*", "biuro?", "x y"};
  configuration_.flags.OnDemand = true;
  const TConfig saved = c;
  const RunFlags saved_flags = configuration_.flags;
  configuration_.SaveConfiguration();
  const Configuration& loaded = Load("");
  EXPECT_EQ(loaded.config.DBHost + loaded.config.DBPath + loaded.config.DBFile,
            saved.DBHost + saved.DBPath + saved.DBFile);
  EXPECT_EQ(loaded.config.DBPort, 3051);
  EXPECT_EQ(loaded.config.ServerPort, 17000);
  EXPECT_EQ(loaded.config.ClientHost, "srv.example");
  EXPECT_EQ(loaded.config.ClientPort2, 17001);
  EXPECT_EQ(loaded.config.ClientHost2, "alt");
  EXPECT_EQ(loaded.config.DynDNSRemotePort, 17002);
  EXPECT_EQ(loaded.config.DynDNSServer, "https://dns");
  EXPECT_TRUE(loaded.config.RunAsService && loaded.config.Events && loaded.config.FullLog &&
              loaded.config.SendNewDataFirst);
  EXPECT_EQ(loaded.config.ServiceName, "Rep");
  EXPECT_EQ(loaded.config.Interwal, 7);
  EXPECT_EQ(loaded.config.FirebirdVersion, 2);
  EXPECT_EQ(loaded.config.AutoNaZadanie, "22:30");
  EXPECT_EQ(loaded.flags.AllowList, saved_flags.AllowList);
  EXPECT_TRUE(loaded.flags.OnDemand);
  EXPECT_TRUE(loaded.flags.ServerMode);
}

TEST_F(ConfigurationTest, UnwritableFileRaises) {
  Configuration elsewhere((dir_ / "missing").string());
  EXPECT_THROW(elsewhere.SaveConfiguration(), std::system_error);
}

}  // namespace
}  // namespace tramolin
