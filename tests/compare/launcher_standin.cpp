// An emulated launcher as bench_compare sees it: a program that names the
// program it runs in a .bench_target section, as cmake/run-emulated.c does.
// The tests only read it; run, it says whether its target is named.
#include <cstdio>

__attribute__((section(".bench_target"), used)) static const char kTarget[] = BENCH_TARGET;

int main() { return std::puts(kTarget) >= 0 ? 0 : 1; }
