// One database connection (IAttachment) in SQL dialect 1. A long-lived object: it is opened,
// closed and opened again; the transactions, statements and event subscriptions made on it are
// told when it closes, so they drop their handles instead of using dead ones.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/fb/owned.h"

namespace Firebird {
class IAttachment;
}

namespace tramolin::fb {

// Something whose Firebird handle belongs to an attachment (transaction, statement, events).
class Dependent {
 public:
  virtual ~Dependent() = default;
  // force: the connection is dropped without a word to the server; only release handles.
  virtual void OnAttachmentClosing(bool force) noexcept = 0;
};

class Attachment {
 public:
  Attachment();
  ~Attachment();
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;

  // Opens the database (a file path for the embedded engine, "host[/port]:path" through a
  // server). params holds "name=value" lines: user_name, password, lc_ctype, sql_role_name.
  // engine_config holds firebird.conf lines for the engine that opens the file; an engine that
  // already has the database open keeps its own settings.
  void Open(const std::string& database, std::string_view params,
            std::string_view engine_config = {});
  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Database() const { return database_; }

  // Asks the server for database information: false when closed or when the request fails.
  bool IsAlive();
  // Rolls back what is still active, then detaches. On failure the connection is still held.
  void Detach();
  // Drops the connection without asking the server (dead connection, failed detach).
  void ForceClose() noexcept;

  // The server's version text of this connection (e.g. "LI-V3.0.11.33703 Firebird 3.0").
  std::string ServerVersion();

  Firebird::IAttachment* handle() const { return handle_.get(); }
  void AddDependent(Dependent* dependent);
  void RemoveDependent(Dependent* dependent);

 private:
  void NotifyClosing(bool force) noexcept;

  Owned<Firebird::IAttachment> handle_;
  std::string database_;
  std::vector<Dependent*> dependents_;
};

}  // namespace tramolin::fb
