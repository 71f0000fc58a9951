#include "ui/wizard_connection.h"

#include "engine/host_services.h"
#include "engine/pass_dm.h"
#include "engine/replication_data.h"
#include "engine/slot_book.h"

namespace tramolin {
namespace {

// The test connection reports nothing on its way; only its error text is kept.
class QuietHost : public HostServices, public SlotBook {
 public:
  void Log(std::string_view, int, bool) override {}
  bool Closing() const override { return false; }
  bool ServerMode() const override { return true; }
  int LocalCopyNumber() const override { return 0; }
  bool EventsEnabled() const override { return false; }
  bool FullLog() const override { return false; }
  double Now() const override { return 0; }

  void SetProgress(int, int) override {}
  void SetErrorText(int, std::string_view text) override { error_ = text; }
  std::string GetErrorText(int) const override { return error_; }
  int GetSlotDBNR(int) const override { return -1; }
  int GetSlotLastTransID(int) const override { return -1; }

 private:
  std::string error_;
};

}  // namespace

std::optional<std::string> TestDatabaseConnection(TPassDM& pass_dm, DatabaseSettings settings) {
  QuietHost host;
  settings.application_name = "VELMO REP - TEST";
  ReplicationData data(host, host, pass_dm, std::move(settings));
  if (!data.ConnectDatabase()) return host.GetErrorText(-1);
  try {
    data.DisconnectDatabase(true);
  } catch (const std::exception&) {
    // the connection is dropped with the module
  }
  return std::nullopt;
}

}  // namespace tramolin
