// The replication client: the timers and state of the client mode. The connection to the server,
// the synchronisation cycle and the address service join it here; the data engine reports the
// client's own progress and errors into slot -1 of the SlotBook it implements.
#pragma once

#include <QObject>
#include <QTimer>
#include <string>

#include "engine/host_services.h"
#include "engine/slot_book.h"

namespace tramolin {

class ReplicationClient : public QObject, public SlotBook {
  Q_OBJECT

 public:
  explicit ReplicationClient(HostServices& host, QObject* parent = nullptr);

  // SlotBook: only slot -1, the client's own, holds anything.
  void SetProgress(int slot, int percent) override;
  void SetErrorText(int slot, std::string_view text) override;
  std::string GetErrorText(int slot) const override;
  int GetSlotDBNR(int slot) const override;
  int GetSlotLastTransID(int slot) const override;

  // The start of work: the connection timer, or in on-demand mode the automatic start's clock.
  void Arm(bool on_demand);
  // The activity state changed: states that wait for the server arm the reply time-out, any
  // other state disarms it.
  void ApplyReplyTimeout(int state);
  // A synchronisation step as soon as the event loop is free.
  void SyncSoon();
  // The local database's structure is about to be upgraded: the connection to the server goes.
  void LetGoForDatabaseUpgrade();

  // Progress of the current export or import, 0-100 (the main gauge).
  int Progress() const { return progress_; }
  // The marker of the client's last exported batch, kept until the server confirms it.
  int ClientTransactionId = -1;

  QTimer tmrKReplikuj;       // start of a synchronisation step
  QTimer tmrKConnect;        // connection attempt
  QTimer tmrKTimeOut;        // reply time-out, armed by the activity state
  QTimer tmrKAutoNaZadanie;  // automatic start at a configured hour
  QTimer tmrSetDynDns;       // address publishing

 private:
  HostServices& host_;
  std::string local_error_text_;
  int progress_ = 0;
};

}  // namespace tramolin
