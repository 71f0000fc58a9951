// The replication server: the client slots and the timers of the server mode. The listening
// socket, the exchange and the technician's commands join it here; the data engine reports into
// the slots through the SlotBook it implements.
#pragma once

#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

#include "engine/host_services.h"
#include "engine/slot_book.h"
#include "server/client_slot.h"

namespace tramolin {

class ReplicationServer : public QObject, public SlotBook {
  Q_OBJECT

 public:
  explicit ReplicationServer(HostServices& host, QObject* parent = nullptr);

  // SlotBook. A negative index stands for the program-wide error text; an index beyond the last
  // slot reads as empty or -1 and is not written.
  void SetProgress(int slot, int percent) override;
  void SetErrorText(int slot, std::string_view text) override;
  std::string GetErrorText(int slot) const override;
  int GetSlotDBNR(int slot) const override;
  int GetSlotLastTransID(int slot) const override;

  bool HasClients() const { return !Clients.empty(); }

  // The main database's structure is about to be upgraded: every connected client is told to
  // let go (an empty pkAktualizacja, in slot order).
  void AnnounceDatabaseUpgrade();

  // The inactivity sweep of the slots (every 15 minutes).
  QTimer tmrZombie;
  void tmrZombieTimer();

  std::vector<TKlientInfo> Clients;

 private:
  TKlientInfo* Slot(int index);
  const TKlientInfo* Slot(int index) const;

  HostServices& host_;
  std::string local_error_text_;
};

}  // namespace tramolin
