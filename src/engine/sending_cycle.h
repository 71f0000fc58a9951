// The sender's side of one destination's synchronisation cycle. The pending entries are counted
// once, by the cycle's first export, and kept current by what each confirmation deleted. While
// the destination imports a batch cut at the payload limit, the next one is prepared ahead: it
// passes over the entries of the batch in flight, as if their confirmation had deleted them, and
// leaves as soon as that confirmation arrives (or, when it was not ready by then, once the
// confirmation has been carried out). A prepared batch that never leaves (another packet came,
// the connection went) is dropped: its marks are overwritten by the next export of those
// entries, which picks every entry not confirmed, so what was not confirmed is sent again.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/change_batch.h"

namespace tramolin {

class SendingCycle {
 public:
  // Identifies one preparation ahead; a result for an older one is dropped.
  using Ticket = std::uint64_t;

  // Starts a new cycle: nothing counted, nothing in flight, nothing prepared ahead.
  void Restart();

  // The cycle's count, when the sender takes it before its first export.
  void Counted(std::int32_t pending) { pending_ = pending; }
  // The batch prepared ahead, or being prepared, will not leave.
  void DropAhead();

  // The entries still pending as the cycle's count and its confirmations say, if counted.
  std::optional<std::int32_t> Pending() const { return pending_; }

  // What the cycle's next export is told, the first one of a cycle included.
  ExportCycle NextExport() const;
  // The batch has left.
  void Sent(const PreparedChanges& batch);
  // The destination's confirmation of the batch in flight deleted `removed` entries.
  void Confirmed(std::int32_t removed);

  // True when the batch just sent was cut by the limit, so that more is pending.
  bool WorthPreparingAhead(const PreparedChanges& sent) const;
  // What the export ahead of the confirmation is told, and its ticket.
  ExportCycle BeginAhead();
  Ticket AheadTicket() const { return ticket_; }
  // The export ahead ended (nullopt: it failed; the batch is then prepared again as usual).
  // True when the confirmation of the batch before it has already been taken
  // (ConfirmedBeforeDeletion), so that it may leave now.
  bool AheadPrepared(Ticket ticket, std::optional<PreparedChanges> batch);
  // The batch prepared ahead, once the batch before it is confirmed; nullopt when there is none.
  std::optional<PreparedChanges> TakeAhead();
  // True from BeginAhead until the result of that export ahead arrives or is dropped.
  bool AheadBeingPrepared() const { return preparing_ahead_; }
  // The confirmation of the batch in flight arrived while the batch ahead is ready or being
  // prepared: the batch in flight counts as confirmed with the entries it marked before that
  // confirmation is carried out, and the batch ahead may be taken once it is ready. False, and
  // nothing changed, without a batch ahead.
  bool ConfirmedBeforeDeletion();

 private:
  std::optional<std::int32_t> pending_;
  std::int32_t in_flight_ = kNoBatchInFlight;
  std::int32_t in_flight_marked_ = 0;
  std::optional<PreparedChanges> ahead_;
  bool preparing_ahead_ = false;
  Ticket ticket_ = 0;
};

}  // namespace tramolin
