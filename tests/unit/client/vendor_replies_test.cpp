// The pure rules of the vendor services: reading the address service's reply, the https rule and
// the update-check query.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "client/address_service.h"
#include "client/http_get.h"
#include "client/update_check.h"
#include "util/cp1250.h"

namespace tramolin {
namespace {

using Items = std::vector<std::string>;

TEST(ReplyItemsTest, SplitsAtCommasBlanksAndLineBreaks) {
  struct Case {
    std::string reply;
    Items items;
  };
  const std::vector<Case> cases = {
      {"result=1,remote_addr=1.2.3.4,remote_port=17846",
       {"result=1", "remote_addr=1.2.3.4", "remote_port=17846"}},
      {"result=1\r\nremote_addr=1.2.3.4\r\n\tremote_port=17846\r\n",
       {"result=1", "remote_addr=1.2.3.4", "remote_port=17846"}},
      {"  a=1 , b=2\nc=3", {"a=1", "b=2", "c=3"}},
      {"a=1,,b=2,", {"a=1", "", "b=2", ""}},
      {R"("remote_host=my ""big"" host",result=1)", {R"(remote_host=my "big" host)", "result=1"}},
      {R"("unclosed, item)", {"unclosed, item"}},
      {"", {}},
      {" \r\n ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitReplyItems(c.reply), c.items) << c.reply;
}

TEST(ReplyItemsTest, ValueOfFirstItemWithTheNameIgnoringCase) {
  const Items items = {"result", "Remote_Port=1=2", "remote_port=3", "=x"};
  EXPECT_EQ(ReplyValue(items, "REMOTE_PORT"), "1=2");
  EXPECT_EQ(ReplyValue(items, "result"), "");  // no "=": not a named item
  EXPECT_EQ(ReplyValue(items, "remote_addr"), "");
  EXPECT_EQ(ReplyValue(items, ""), "x");
  EXPECT_EQ(JoinReplyItems({"a=1", R"(b="x" y)", ""}), R"(a=1,"b=""x"" y","")");
}

TEST(ReplyItemsTest, AddressOnlyFromAUsableSuccessfulReply) {
  struct Case {
    std::string reply;
    std::optional<ServerAddress> address;
  };
  const std::vector<Case> cases = {
      {"result=1,remote_addr=srv.example,remote_port=17846", ServerAddress{"srv.example", 17846}},
      {"remote_port=1\nREMOTE_ADDR=10.0.0.1\nResult=1", ServerAddress{"10.0.0.1", 1}},
      {"result=1,remote_addr=h,remote_port=65535", ServerAddress{"h", 65535}},
      {"result=0,remote_addr=h,remote_port=17846", std::nullopt},
      {"result=01,remote_addr=h,remote_port=17846", std::nullopt},
      {"remote_addr=h,remote_port=17846", std::nullopt},
      {"", std::nullopt},
      {"result=1,remote_addr=,remote_port=17846", std::nullopt},
      {"result=1,remote_addr=h", std::nullopt},
      {"result=1,remote_addr=h,remote_port=0", std::nullopt},
      {"result=1,remote_addr=h,remote_port=65536", std::nullopt},
      {"result=1,remote_addr=h,remote_port=-1", std::nullopt},
      {"result=1,remote_addr=h,remote_port=80x", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AddressFromReply(SplitReplyItems(c.reply)), c.address) << c.reply;
  }
}

TEST(ForceHttpsTest, LowerCaseHttpBecomesHttpsOtherwiseUnchanged) {
  EXPECT_EQ(ForceHttps("http://dyn.example/a.php?x=http"), "https://dyn.example/a.php?x=http");
  EXPECT_EQ(ForceHttps("https://dyn.example/"), "https://dyn.example/");
  EXPECT_EQ(ForceHttps("HTTPS://dyn.example/"), "HTTPS://dyn.example/");
  EXPECT_EQ(ForceHttps("HTTP://dyn.example/"), "HTTP://dyn.example/");
  EXPECT_EQ(ForceHttps("dyn.example/http/x"), "dyn.example/https/x");
  EXPECT_EQ(ForceHttps("dyn.example/"), "dyn.example/");
}

TEST(UpdateQueryTest, ValuesAreBlanksToUnderscoresThenUtf8PercentEncoded) {
  EXPECT_EQ(EncodeQueryValue("Łódź Sp. z o.o."_cp), "%C5%81%C3%B3d%C5%BA_Sp._z_o.o.");
  EXPECT_EQ(EncodeQueryValue("a-b_c.d~e"), "a-b_c.d~e");
  EXPECT_EQ(EncodeQueryValue("[R]&=?/+%"), "%5BR%5D%26%3D%3F%2F%2B%25");
  EXPECT_EQ(EncodeQueryValue(""), "");
}

TEST(UpdateQueryTest, QueryKeepsOrderAndSendsPAsItStands) {
  std::string query = UpdateCheckQuery("[R]", "K 12", "Łódź"_cp, "2.0.0.1");
  EXPECT_EQ(query, "?wersja=K_12&p=[R]&f=%C5%81%C3%B3d%C5%BA&x1=2.0.0.1");
  AppendQueryParam(query, "k", "");
  EXPECT_TRUE(query.ends_with("&x1=2.0.0.1&k=")) << query;
}

TEST(UpdateCheckTest, MarkerFileOrNoEndpointSendsNothing) {
  QTemporaryDir dir;
  const std::filesystem::path path = dir.path().toStdString();
  const std::string endpoint = "https://127.0.0.1:1/checkforupdates.php";
  QObject context;
  EXPECT_EQ(CheckForUpdates({.program_directory = path}, &context), "");
  std::filesystem::create_directory(path / "noversioncheck.txt");  // a directory is no marker
  EXPECT_FALSE(AnyMarkerFileExists(path, kUpdateCheckMarkerFiles));
  EXPECT_FALSE(AnyMarkerFileExists(path, ";;"));
  std::ofstream(path / "debug_radar.txt").close();
  EXPECT_TRUE(AnyMarkerFileExists(path, ";missing.txt;;debug_radar.txt"));
  EXPECT_EQ(CheckForUpdates({.endpoint = endpoint, .program_directory = path}, &context), "");
}

}  // namespace
}  // namespace tramolin
