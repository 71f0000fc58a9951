// The consistency check of one table: TOWARY (texts, CHAR, DOUBLE PRECISION, NUMERIC of several
// scales, SMALLINT, INTEGER, TIMESTAMP, a text BLOB in every tenth record) filled with N records,
// 1,000,000 unless --records says otherwise. Timed: the one pass that digests the table, and the
// check between its digests and a copy's, once equal and once with 10 scattered differences
// (8 changed records, one missing on each side), every step carried as a payload and its frame.
// Printed for each: steps, packets, frame bytes, time, and the bytes against the table's export
// size (the sum of its record texts).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "engine/decimal_manager.h"
#include "engine/digest_narrowing.h"
#include "engine/fb/statement.h"
#include "engine/record_reader.h"
#include "engine/record_text.h"
#include "engine/table_digest.h"
#include "protocol/consistency_payloads.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"

namespace tramolin {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kTowary = 29;
constexpr int kDefaultRecords = 1000000;
constexpr std::string_view kParams =
    "user_name=SYSDBA\r\npassword=sandorift\r\nlc_ctype=WIN1250\r\n";
// The check's packets have no numbers yet; the type is one byte of the frame whichever it is.
constexpr std::uint8_t kCheckPacket = kLastPacketType + 1;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Run(const std::string& command, std::string_view what) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error(std::string(what) + " failed");
}

// A main database made from schema/ in a folder of its own, removed at the end, with TOWARY
// filled without journalling: ids 1, 4, 7 ... so that they do not fill their span.
class FilledDatabase {
 public:
  explicit FilledDatabase(int records) {
    std::string pattern = (fs::temp_directory_path() / "tramolin-consistency-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    Run("'" TRAMOLIN_SOURCE_DIR "/scripts/make-databases.sh' '" + dir_.string() + "' 1 >/dev/null",
        "make-databases.sh");
    Fill(records);
  }
  ~FilledDatabase() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  FilledDatabase(const FilledDatabase&) = delete;
  FilledDatabase& operator=(const FilledDatabase&) = delete;

  std::string Path() const { return (dir_ / "main.fdb").string(); }

 private:
  void Fill(int records) {
    const fs::path script = dir_ / "fill.sql";
    std::ofstream(script)
        << "SET TERM ^ ;\nALTER TRIGGER TOWARY_REP INACTIVE^\nCOMMIT^\n"
           "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < "
        << records
        << ") DO BEGIN INSERT INTO TOWARY (ID, NAZWA, CENA, CENAZAKUPU, KOD, JM, STAWKAVAT, "
           "IDGRUPY, DATAUTW, OPIS, RABAT, CENANETTO, ILOSCMIN) VALUES (:I * 3 + 1, 'Towar nr ' "
           "|| :I, 10 + :I / 7.0, 8 + :I / 9.0, 'K' || :I, 'szt', 23, MOD(:I, 40), "
           "CAST('2023-07-16 12:00' AS TIMESTAMP) + :I / 1000.0, CASE WHEN MOD(:I, 10) = 0 THEN "
           "RPAD('Opis towaru', 120, ' x') END, MOD(:I, 50) / 10.0, MOD(:I, 100000) * 0.01, "
           "MOD(:I, 1000)); I = I + 1; END END^\nCOMMIT^\n";
    Run("isql-fb -q -b -user SYSDBA -password sandorift '" + Path() + "' -i '" + script.string() +
            "' >'" + (dir_ / "fill.log").string() + "' 2>&1",
        "filling TOWARY");
  }

  fs::path dir_;
};

struct Connection {
  explicit Connection(const std::string& path) {
    attachment.Open(path, kParams);
    fb::Transaction tool_transaction(attachment, {fb::TransactionItem::kConcurrency});
    fb::Statement tool(tool_transaction);
    tool_transaction.Start();
    LoadDecimalFields(tool, decimals);
    tool_transaction.Commit();
  }
  fb::Attachment attachment;
  TDecimalManager decimals;
};

// The export size of the table: its record texts as the export writes them, added up.
std::size_t ExportSize(Connection& db) {
  fb::Transaction transaction(db.attachment, {fb::TransactionItem::kConcurrency});
  transaction.Start();
  fb::Statement select(transaction, TableSelectText(db.decimals, "TOWARY", "ID"));
  fb::ResultSet rows = select.Open();
  const TDecimalInfo* decimals = db.decimals.Find("TOWARY");
  std::size_t size = 0;
  std::string trace;
  while (rows.Next()) {
    TRekord record{static_cast<std::int32_t>(rows.GetInt("ID")), kTowary, kChangeInsert, {}};
    ReadExportColumns(record, rows, decimals, trace);
    size += RecordText(record).size();
    trace.clear();
  }
  rows.Close();
  transaction.Commit();
  return size;
}

struct Wire {
  void Carry(std::string_view payload) {
    ++packets;
    bytes += BuildPacket(kCheckPacket, payload, false).size();
  }
  std::size_t packets = 0;
  std::size_t bytes = 0;
};

// One step as the two sides would take it: the request built and read by the copy, its answer
// built by the copy and read by the main side.
void Step(TDigestNarrowing& check, const TDigestSet& copy, Wire& wire) {
  const DigestRequest& request = check.Request();
  const DigestRangesRequest sent{kTowary, request.ranges};
  if (request.kind == DigestRequest::Kind::kRangeDigests) {
    const std::string ask = BuildRangeDigestRequest(sent);
    const std::string answer =
        BuildRangeDigestAnswer(AnswerRangeDigests(copy, ParseRangeDigestRequest(ask)->ranges));
    wire.Carry(ask);
    wire.Carry(answer);
    check.TakeRangeDigests(ParseRangeDigestAnswer(answer).value());
  } else {
    const std::string ask = BuildRecordDigestRequest(sent);
    const std::string answer = BuildRecordDigestAnswer(
        AnswerRecordDigests(copy, ParseRecordDigestRequest(ask)->ranges).value());
    wire.Carry(ask);
    wire.Carry(answer);
    check.TakeRecordDigests(ParseRecordDigestAnswer(answer).value());
  }
}

const char* OutcomeName(NarrowingOutcome outcome) {
  return outcome == NarrowingOutcome::kDone ? "done" : "FAILED";
}

void Compare(const char* name, const std::vector<RecordDigest>& main,
             const std::vector<RecordDigest>& copy, std::size_t export_size) {
  const Clock::time_point start = Clock::now();
  TDigestNarrowing check{TDigestSet(main)};
  const TDigestSet copy_set(copy);
  Wire wire;
  while (check.Outcome() == NarrowingOutcome::kInProgress) Step(check, copy_set, wire);
  const double seconds = SecondsSince(start);
  const TableDifferences& found = check.Differences();
  std::printf(
      "%-16s %s, steps %zu, packets %zu, frame bytes %zu (%.4f%% of the export), "
      "%.3f s; only main %zu, only copy %zu, different %zu\n",
      name, OutcomeName(check.Outcome()), check.Steps(), wire.packets, wire.bytes,
      100.0 * static_cast<double>(wire.bytes) / static_cast<double>(export_size), seconds,
      found.only_main.size(), found.only_copy.size(), found.different.size());
}

// Ten differences spread over the table: eight changed records, one missing on each side.
std::pair<std::vector<RecordDigest>, std::vector<RecordDigest>> TenDifferences(
    std::vector<RecordDigest> main) {
  std::vector<RecordDigest> copy = main;
  const std::size_t step = main.size() / 11;
  for (std::size_t k = 1; k <= 8; ++k) copy[k * step].digest ^= 0x5555;
  copy.erase(copy.begin() + static_cast<std::ptrdiff_t>(9 * step));
  main.erase(main.begin() + static_cast<std::ptrdiff_t>(10 * step));
  return {std::move(main), std::move(copy)};
}

int Records(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string_view(argv[i]) == "--records") return std::atoi(argv[i + 1]);
  }
  return kDefaultRecords;
}

int RunBenchmark(int records) {
  Clock::time_point start = Clock::now();
  const FilledDatabase database(records);
  std::printf("TOWARY filled with %d records in %.1f s\n", records, SecondsSince(start));
  Connection db(database.Path());

  start = Clock::now();
  const TableDigests digests = ReadTableDigests(db.attachment, db.decimals, kTowary, 1);
  const double pass = SecondsSince(start);
  std::printf("one-pass digest: %zu records in %.2f s (%.0f records/s)\n", digests.records.size(),
              pass, static_cast<double>(digests.records.size()) / pass);
  const std::size_t export_size = ExportSize(db);
  std::printf("export size (record texts): %zu bytes\n", export_size);

  const std::vector<RecordDigest> main = WithInFlight(digests.records, digests.in_flight);
  Compare("equal", main, main, export_size);
  const auto [changed_main, changed_copy] = TenDifferences(main);
  Compare("10 differences", changed_main, changed_copy, export_size);
  std::printf(
      "a check of the equal table takes about %.1f s: two passes side by side, then the "
      "steps\n",
      pass);
  return 0;
}

}  // namespace
}  // namespace tramolin

int main(int argc, char** argv) {
  try {
    return tramolin::RunBenchmark(tramolin::Records(argc, argv));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "consistency bench: %s\n", e.what());
    return 1;
  }
}
