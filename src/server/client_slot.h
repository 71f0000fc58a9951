// What the server shows of one client connection: the client's identity once it is verified, its
// status, traffic and timing. The session that serves the connection keeps it; the client grid
// and the reports read copies the server publishes.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/features.h"
#include "server/server_state.h"

namespace tramolin {

struct TKlientInfo {
  bool Autoryzowany = false;  // has reached the logged-in status at least once
  SlotStatus Status = SlotStatus::kConnected;
  bool Odbieranie = false;        // a frame is being reassembled (never: frames arrive whole)
  std::int32_t Serwisant = 0;     // 1 for a technician
  std::int32_t DBNR = -1;         // the client's copy number, once verified
  std::string Opis;               // the copy's description, or "Serwisant"
  std::int32_t LastTransID = 0;   // marker of the last batch exported to the client
  std::int64_t Wyslano = 0;       // bytes written
  std::int64_t Odebrano = 0;      // bytes received
  std::int32_t DoWyslZmian = 0;   // changes pending here for the client
  std::int32_t DoOdebrZmian = 0;  // changes pending at the client
  double CzasStart = 0;           // when the connection was accepted
  double OstAktyw = 0;            // when the last complete frame arrived
  std::int32_t Postep = 0;        // progress of the export prepared for the client
  std::string LastErrorMsg;
  bool Nasluch = false;           // forward the log to this technician
  bool SendNewDataFirst = false;  // the client sends its new changes first
  FeatureSet Features = 0;        // agreed with the client when it logged in
  double LastExchange = 0;        // the copy's last successful exchange; 0: none yet
};

}  // namespace tramolin
