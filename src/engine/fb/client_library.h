// The Firebird client library as a whole.
#pragma once

namespace tramolin::fb {

// Stops the client library and, with it, the embedded engine's own threads; every attachment
// still open is closed. For the very end of a process; waits at most timeout_ms. Never throws.
void ShutdownClientLibrary(unsigned timeout_ms);

}  // namespace tramolin::fb
