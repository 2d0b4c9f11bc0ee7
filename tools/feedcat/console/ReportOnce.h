// The one JSON summary a run prints on standard output (--json), whichever way it ends: claimed
// by the run's end, or by a second signal that ends feedcat at once, which prints the summary
// prepared for it beforehand (a signal handler can only write what is ready).
#pragma once

#include <string>

namespace feedcat {

// The summaries for a run ended by a second SIGINT or SIGTERM. Main thread, before either can
// come.
void PrepareSignalReports(const std::string& onInterrupt, const std::string& onTerminate);

// Writes text and a newline on standard output, unless a summary was written already; false
// then. Any thread.
bool WriteReportOnce(const std::string& text);

// Writes the summary prepared for signal, unless one was written already. Async-signal-safe.
void WritePreparedReport(int signal);

}  // namespace feedcat
