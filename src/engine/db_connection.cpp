#include "engine/db_connection.h"

#include <algorithm>

#include "engine/fb/attachment.h"
#include "engine/fb/error.h"
#include "engine/fb/service.h"
#include "engine/fb/statement.h"
#include "engine/fb/transaction.h"
#include "platform/system_info.h"
#include "util/cp1250.h"

namespace tramolin {

namespace {

std::string Quoted(std::string_view text, std::size_t max_length) {
  text = text.substr(0, max_length);
  std::string out = "'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  out.push_back('\'');
  return out;
}

std::string ApplicationName(std::string_view given) {
  if (!given.empty()) return std::string(given);
  return ProgramPath().stem().string();
}

}  // namespace

std::string InitConnectionSql(std::string_view version, std::string_view computer,
                              std::string_view application) {
  return "SELECT ORESULT, OMESSAGE FROM SP_INITCONNECTION(" + Quoted(version, 30) + "," +
         Quoted(computer, 80) + "," + Quoted(application, 80) + "," + "0)";
}

std::string InitConnection(fb::Attachment& connection, std::string_view application_name) {
  fb::Transaction transaction(
      connection, {fb::TransactionItem::kReadCommitted, fb::TransactionItem::kRecVersion,
                   fb::TransactionItem::kNowait});
  try {
    const std::string sql = InitConnectionSql(GetFileVersion(ProgramPath()), ComputerName(),
                                              ApplicationName(application_name));
    transaction.Start();
    std::string message;
    {
      fb::Statement statement(transaction, sql);
      fb::ResultSet row = statement.Open();
      if (row.Next()) {
        const auto result = row.GetInt("ORESULT");
        if (result == -1 || result == 1) message = row.GetString("OMESSAGE");
      }
    }
    transaction.Commit();
    return message;
  } catch (const fb::Error&) {
    try {
      transaction.RollbackIfActive();
    } catch (const fb::Error&) {
      // the transaction's owner releases what is left
    }
    return {};
  }
}

std::string SetCredentials(std::string_view lines, std::string_view user,
                           std::string_view password) {
  std::string out;
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string upper = UpperCase(line);
    if (line.empty() || upper.find("USER_NAME") != std::string::npos ||
        upper.find("PASSWORD") != std::string::npos) {
      continue;
    }
    out.append(line).append("\r\n");
  }
  out.append("user_name=").append(user).append("\r\n");
  out.append("password=").append(password).append("\r\n");
  return out;
}

std::optional<std::string> QueryServerVersion(std::string_view server, std::string_view user,
                                              std::string_view password) {
  std::string host(server);
  host.erase(std::remove(host.begin(), host.end(), ':'), host.end());
  const std::string service = host.empty() ? "service_mgr" : host + ":service_mgr";
  try {
    return fb::ServerVersionOfService(service, std::string(user), std::string(password));
  } catch (const fb::Error&) {
    return std::nullopt;
  }
}

}  // namespace tramolin
