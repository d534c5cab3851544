// SIGINT, SIGTERM and SIGHUP (Ctrl-C, a service stop, a closed terminal or a
// logout) request a cancel instead of ending the process on the spot: the
// run then rolls back (or, after its commit, finishes the registration).
#pragma once

#include <atomic>

namespace ordx {

// Installs the handlers; each signal only records the request, so a second
// one during a rollback changes nothing.
void InstallCancelSignals();
// True once one of the signals has arrived.
bool CancelRequested();
// The same as a flag that long work (unpacking the kit) can poll.
const std::atomic<bool>* CancelRequestFlag();

}  // namespace ordx
