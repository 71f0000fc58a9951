// Levels of the program's one reporting path (Log). The numbers are part of every call and of
// the technicians' log stream, so they never change.
#pragma once

namespace tramolin {

enum LogLevel : int {
  kLogError = 1,       // error file and log window
  kLogDiagnostic = 2,  // only in debug mode
  kLogInfo = 3,        // message box when interactive
  kLogProgress = 4,    // ordinary line in the log window
  kLogStatus = 5,      // status bar text
  kLogSerious = 6,     // like 1
  kLogRecord = 7,      // full per-record log
  kLogErrorBox = 8,    // error message box when interactive
};

}  // namespace tramolin
