#pragma once

namespace vyx::crash {

// Installs handlers for SIGSEGV, SIGILL, SIGBUS and SIGFPE (on an alternate
// signal stack) that print the signal and a stack trace on standard error,
// then end the process with the signal's default action. Does nothing in
// sanitizer builds, whose own handlers report more.
void installHandlers();

}  // namespace vyx::crash
