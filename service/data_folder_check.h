#pragma once
// A filtered account's service must be able to write its own data: user.prefs
// in its installation folder and the log in its Logs folder. When it cannot,
// nothing would say so (the deny list would simply never apply), so each
// failure is logged at level 1 (and on standard error, for a log that cannot be
// written) and the person at the screen is told once.

#include <string>

class CPCAppApp;

// The start-up check of a filtered account's folders.
void ReportUnwritableData(CPCAppApp& app);

// A write of the account's data that failed while running: logged at level 1
// (and on standard error); the person at the screen is told once per process,
// from the user-interface thread, whichever thread failed.
void ReportDataWriteFailure(const std::string& place, const std::string& problem);
