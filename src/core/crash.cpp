#include "core/crash.hpp"

#include <execinfo.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VYX_SANITIZED 1
#endif

namespace vyx::crash {

#ifndef VYX_SANITIZED
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGILL, SIGBUS, SIGFPE};

void writeRaw(const char* text) {
  size_t len = strlen(text);
  while (len > 0) {
    ssize_t n = ::write(2, text, len);
    if (n <= 0) return;
    text += n;
    len -= static_cast<size_t>(n);
  }
}

void onCrash(int sig) {
  writeRaw("vyx: fatal signal ");
  char digits[4] = {0, 0, 0, 0};
  int i = 0;
  if (sig >= 100) digits[i++] = static_cast<char>('0' + sig / 100);
  if (sig >= 10) digits[i++] = static_cast<char>('0' + (sig / 10) % 10);
  digits[i] = static_cast<char>('0' + sig % 10);
  writeRaw(digits);
  writeRaw(" (");
  writeRaw(sigdescr_np(sig) != nullptr ? sigdescr_np(sig) : "unknown");
  writeRaw("), stack trace:\n");
  void* frames[64];
  int count = backtrace(frames, 64);
  backtrace_symbols_fd(frames, count, 2);
  // Die by the same signal, with its default action.
  signal(sig, SIG_DFL);
  raise(sig);
  _exit(128 + sig);
}

}  // namespace

void installHandlers() {
  static char altStack[64 * 1024];
  stack_t ss{};
  ss.ss_sp = altStack;
  ss.ss_size = sizeof(altStack);
  bool haveAltStack = sigaltstack(&ss, nullptr) == 0;
  // Load the unwinder now, not inside the handler.
  void* warm[1];
  (void)backtrace(warm, 1);
  for (int sig : kSignals) {
    struct sigaction action {};
    action.sa_handler = onCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = haveAltStack ? SA_ONSTACK : 0;
    sigaction(sig, &action, nullptr);
  }
}
#else
void installHandlers() {}
#endif

}  // namespace vyx::crash
