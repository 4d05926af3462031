#pragma once

#include "records/db_error.h"

namespace talvenor::records {

// Ctrl-C (SIGINT) and SIGTERM, heard by every command that can wait or work
// for long: once CatchStopSignals ran, the first such signal only asks the
// program to stop, and each piece of work looks at StopSignal where it can
// end cleanly (after a data line, between the steps of an undo, while waiting
// for a lock). The handler is reset by its first signal, so that a second
// Ctrl-C ends the program at once.
void CatchStopSignals();

// The signal that asked the program to stop, 0 while none has.
int StopSignal();
inline bool StopRequested() { return StopSignal() != 0; }

// "Operation canceled by user.": the work stopped because a stop was asked
// for; everything it had begun is rolled back. Fault::kStopped.
inline constexpr int kOperationCanceled = 3059;
DbError StoppedError();
// True for an error that a stop asked for caused.
inline bool IsStop(const DbError& error) { return error.fault == Fault::kStopped; }

}  // namespace talvenor::records
