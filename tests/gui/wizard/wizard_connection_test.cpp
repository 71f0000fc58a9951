// The wizard's connection test on real embedded databases.
#include "ui/wizard_connection.h"

#include <gtest/gtest.h>

#include "engine/db_connection.h"
#include "engine/pass_dm.h"
#include "engine_fixture.h"
#include "ui/wizard_logic.h"
#include "util/cp1250.h"

namespace tramolin::testing {
namespace {

class WizardConnectionTest : public EngineFixture {
 protected:
  WizardLogic Logic() {
    config_.AppDir = Dir().string() + "/";
    WizardEnvironment environment;
    environment.config = &config_;
    environment.flags = &flags_;
    environment.log = [this](std::string_view message, int level) {
      messages_.push_back(Cp1250ToUtf8(message));
      levels_.push_back(level);
    };
    environment.pass_dm = &pass_dm_;
    environment.test_database = [this](const DatabaseSettings& settings) {
      return TestDatabaseConnection(pass_dm_, settings);
    };
    environment.server_version = QueryServerVersion;
    return WizardLogic(std::move(environment));
  }
  WizardForm Form(const std::string& file) {
    WizardForm form;
    form.host = "";  // the embedded engine
    form.directory = Dir().string();
    form.file = file;
    form.server_port = "17846";
    return form;
  }

  TConfig config_;
  RunFlags flags_;
  TPassDM pass_dm_;
  std::vector<std::string> messages_;
  std::vector<int> levels_;
};

TEST_F(WizardConnectionTest, ARealDatabaseConnectsAndTheWizardCanSave) {
  Exec(MainPath(),
       "UPDATE PARAMETRY SET WARTSTRING = 'tajne' WHERE NAME = "
       "'C_KNF_SYSDBA_PASSWORD'");
  WizardLogic logic = Logic();
  WizardForm form = Form("main.fdb");
  WizardField focus = WizardField::kNone;
  logic.TestConnection(form, focus);
  ASSERT_TRUE(logic.ConnectionTested()) << (messages_.empty() ? "" : messages_.back());
  EXPECT_EQ(messages_.back(), "Połączenie OK");
  EXPECT_EQ(levels_.back(), 3);
  EXPECT_EQ(focus, WizardField::kOk);
  EXPECT_EQ(config_.DBPassword, "tajne");  // read from the database by TPassDM

  ASSERT_TRUE(logic.ApplyWizard(form, focus)) << messages_.back();
  EXPECT_EQ(config_.DBHost, "");
  EXPECT_EQ(config_.DBPath, Dir().string() + "/");
  EXPECT_EQ(config_.DBFile, "main.fdb");
  EXPECT_GE(config_.FirebirdVersion, 1);
}

TEST_F(WizardConnectionTest, AWrongPathReportsTheDatabaseAndTheEngineError) {
  WizardLogic logic = Logic();
  WizardForm form = Form("brak.fdb");
  WizardField focus = WizardField::kNone;
  logic.TestConnection(form, focus);
  EXPECT_FALSE(logic.ConnectionTested());
  ASSERT_FALSE(messages_.empty());
  const std::string expected_start =
      "Wystąpił błąd w czasie próby połączenia\r\n(" + Dir().string() + "/brak.fdb)\r\n\"";
  EXPECT_EQ(messages_.back().substr(0, expected_start.size()), expected_start) << messages_.back();
  EXPECT_GT(messages_.back().size(), expected_start.size() + 2);  // the engine's own words
  EXPECT_EQ(messages_.back().back(), '"');
  EXPECT_EQ(levels_.back(), 8);
  EXPECT_FALSE(logic.ApplyWizard(form, focus));
}

}  // namespace
}  // namespace tramolin::testing
