#include "records/stop_request.h"

#include <signal.h>

#include <csignal>

namespace talvenor::records {
namespace {

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void AskToStop(int signal_number) { stop_signal = signal_number; }

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = AskToStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() { return stop_signal; }

DbError StoppedError() {
  DbError e;
  e.number = kOperationCanceled;
  e.description = "Operation canceled by user.";
  e.fault = Fault::kStopped;
  return e;
}

}  // namespace talvenor::records
