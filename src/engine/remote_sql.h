// A technician's SQL statement run on this database, answered in one line: "[RA=n]" for a
// statement, "[RC=n] \"first value\"" for a query, or the failure's text. A query's answer is
// bounded: "[RC>100000]" when it has more rows, " [TXT>65536]" after a first value cut to 64 KiB.
#pragma once

#include <string>
#include <string_view>

#include "engine/fb/statement.h"
#include "engine/host_services.h"
#include "engine/slot_book.h"

namespace tramolin {

class TDMDB;

// Lives as long as its statement may: destroy it before the TDMDB it was made for.
class TRemoteSql {
 public:
  TRemoteSql(TDMDB& db, HostServices& host, SlotBook& slot_book);
  ~TRemoteSql();
  TRemoteSql(const TRemoteSql&) = delete;
  TRemoteSql& operator=(const TRemoteSql&) = delete;

  // Never throws; the statement's effect is committed at once.
  void ExecuteSQL(std::string_view sql, std::string& answer);

 private:
  std::string RunStatement();  // "[RA=n]"; throws fb::Error
  std::string RunQuery();      // "[RC=n] \"value\""; throws fb::Error
  // Drops the statement and commits IBTSQL; a failing commit becomes the answer.
  void Finish(std::string& answer) noexcept;

  TDMDB& db_;
  HostServices& host_;
  SlotBook& slots_;
  fb::Statement IBQSQL;  // on IBTSQL, its text set per call
};

}  // namespace tramolin
