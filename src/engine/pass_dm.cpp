#include "engine/pass_dm.h"

#include "engine/db_connection.h"
#include "engine/fb/attachment.h"
#include "engine/fb/error.h"
#include "engine/fb/statement.h"
#include "engine/fb/transaction.h"
#include "util/database_defaults.h"
#include "util/text_rules.h"

namespace tramolin {

namespace {

constexpr std::string_view kParams =
    "user_name=planer\r\npassword=trelid5083\r\nlc_ctype=WIN1250\r\n";
constexpr std::string_view kPasswordSql =
    " SELECT    P.WARTSTRING  FROM PARAMETRY P  WHERE P.NAME = 'C_KNF_SYSDBA_PASSWORD'   AND "
    "P.IDREPKOPIE = GEN_ID(BAZA_NR, 0)";

}  // namespace

std::string PassConnectionString(std::string_view server, std::string_view path) {
  if (server.empty()) return std::string(path);
  if (server.find(':') != std::string_view::npos) return Concat({server, path});
  return Concat({server, ":", path});
}

bool TPassDM::ReadPassword(std::string_view server, std::string_view path) {
  if (read_) return true;
  try {
    password_ = ReadFrom(PassConnectionString(server, path));
    read_ = true;
    return true;
  } catch (const fb::Error& e) {
    password_.clear();
    last_error_ = e.what();
    return false;
  }
}

std::string TPassDM::ReadFrom(const std::string& database) {
  fb::Attachment connection;
  connection.Open(database, kParams);
  InitConnection(connection, "VELMO REP - CONFIG");
  fb::Transaction transaction(
      connection, {fb::TransactionItem::kReadCommitted, fb::TransactionItem::kRecVersion,
                   fb::TransactionItem::kNowait});
  transaction.Start();
  std::string password;
  {
    fb::Statement query(transaction, kPasswordSql);
    fb::ResultSet row = query.Open();
    if (row.Next()) password = row.GetString(0);
  }
  transaction.Commit();
  connection.Detach();
  if (Trim(password).empty()) password = kDefaultAdminPassword;
  return password;
}

}  // namespace tramolin
