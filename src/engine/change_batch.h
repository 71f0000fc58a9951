// What an export counts and produces for one destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tramolin {

// Whether a record's NULL columns are written (as explicit NULLs, to a peer that agreed on them)
// or left out, as every peer understands.
enum class NullColumns { kLeftOut, kWritten };

struct ChangeCounts {
  std::int32_t all = 0;        // journal entries for the destination
  std::int32_t new_count = 0;  // those of them that are inserts
};

// One copy of the main database and the journal entries waiting for it.
struct CopyBacklog {
  std::int32_t copy = 0;
  std::string description;  // REPKOPIE.OPIS
  std::int64_t entries = 0;
};

// The marker of no batch: every export marks with a transaction number, which is positive.
inline constexpr std::int32_t kNoBatchInFlight = -1;

// Where an export stands in its destination's cycle.
struct ExportCycle {
  // The entries pending for the destination as the cycle counted them and its confirmations
  // left them; the export counts them itself when not given (the cycle's first batch).
  std::optional<std::int32_t> pending;
  // The marker of the batch sent and not yet confirmed: its entries are neither picked nor
  // marked again, as if the confirmation had deleted them already.
  std::int32_t in_flight = kNoBatchInFlight;
};

// What one export produced. `transaction_number` is what the exported entries now carry; the
// caller keeps it until the destination confirms the import.
struct PreparedChanges {
  std::string payload;     // "count;total;" and the record texts
  std::int32_t total = 0;  // entries pending when the export counted them
  std::int32_t count = 0;  // journal rows (records, not entries) processed
  std::int32_t transaction_number = 0;
  std::int32_t marked = 0;  // journal entries that now carry the transaction number
  bool cut = false;         // ended at the payload limit: more may be pending
  // The packet that carries the payload, when the sender built it beside the export (the payload
  // is then let go).
  std::string frame;
};

// How an import of a batch ended.
enum class ImportOutcome {
  kFailed,  // nothing since the last commit applied; the error text tells why
  kDone,    // every record applied or skipped
  kLocked,  // stopped at a record a local user is editing; nothing since the last commit applied
};

struct ImportResult {
  ImportOutcome outcome = ImportOutcome::kFailed;
  std::int32_t count = 0;      // records applied
  std::int32_t conflicts = 0;  // conflicts written to the conflict journal
};

// The payload stops after the record that takes it beyond this many characters.
inline constexpr std::size_t kPayloadLimit = 1000000;

// One record of a batch's records as it travels: which record of which table, and its text.
struct RecordSpan {
  std::int32_t table_number = 0;
  std::int32_t record_id = 0;
  std::string_view text;
};

// Cuts the next record off `records`; false (and `records` unchanged) when what is left does
// not read as a record.
bool NextRecordSpan(std::string_view& records, RecordSpan& span);

}  // namespace tramolin
