#pragma once
#include <time.h>
#include <cstdio>
#include <cstdint>
namespace vyxprof {
inline int64_t now() { timespec t; clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t); return t.tv_sec * 1000000000LL + t.tv_nsec; }
struct Acc { const char* name; int64_t ns = 0; int64_t n = 0; Acc* next; };
inline Acc*& head() { static Acc* h = nullptr; return h; }
struct Reg { Acc a; Reg(const char* n) { a.name = n; a.next = head(); head() = &a; } };
struct Scope { Acc& a; int64_t t0; Scope(Acc& x) : a(x), t0(now()) {} ~Scope() { a.ns += now() - t0; a.n++; } };
struct Dump { ~Dump() { for (Acc* a = head(); a; a = a->next) fprintf(stderr, "PROF %-14s %8.2f ms  n=%lld\n", a->name, (double)a->ns / 1e6, (long long)a->n); fprintf(stderr, "PROF total %8.2f ms\n", (double)now()/1e6);} };
inline Dump dumper;
}
#define PROF(name) static vyxprof::Reg prof_reg_##name(#name); vyxprof::Scope prof_scope_##name(prof_reg_##name.a)
