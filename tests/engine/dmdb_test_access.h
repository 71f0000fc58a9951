// The database module's transactions and connection, which only the engine's parts reach, opened
// to the tests that check them.
#pragma once

#include "engine/dmdb.h"

namespace tramolin {

class TDMDBTestAccess {
 public:
  explicit TDMDBTestAccess(TDMDB& db) : db_(db) {}

  fb::Attachment& DB() { return db_.DB(); }
  fb::Transaction& IBTTool() { return db_.IBTTool(); }
  fb::Transaction& IBTGetData() { return db_.IBTGetData(); }
  fb::Transaction& IBTSetData() { return db_.IBTSetData(); }
  fb::Transaction& IBT_REPZMIANY_Delete2() { return db_.IBT_REPZMIANY_Delete2(); }
  fb::Transaction& IBTSQL() { return db_.IBTSQL(); }
  fb::Transaction& IBTEvent() { return db_.IBTEvent(); }
  fb::Transaction& IBT_REPKONFL() { return db_.IBT_REPKONFL(); }
  fb::Transaction& IBTResetDBVer() { return db_.IBTResetDBVer(); }
  fb::Statement& IBQTool() { return db_.IBQTool(); }

 private:
  TDMDB& db_;
};

inline TDMDBTestAccess Internals(TDMDB& db) { return TDMDBTestAccess(db); }

}  // namespace tramolin
