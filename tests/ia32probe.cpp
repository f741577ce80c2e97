// Tells whether this kernel runs 32-bit x86 code (which Wine needs for 32-bit Windows programs):
// the 32-bit system-call gate answers getpid there; a kernel without IA32 emulation faults it.
// Exit 0 and "ia32: yes" when it runs, 1 and "ia32: no" when it does not.
#include <signal.h>
#include <unistd.h>

#include <cstdio>

namespace {

void noGate(int)
{
    static const char kNo[] = "ia32: no\n";
    ssize_t ignored = write(STDOUT_FILENO, kNo, sizeof kNo - 1);
    (void)ignored;
    _exit(1);
}

}  // namespace

int main()
{
#if defined(__x86_64__)
    signal(SIGSEGV, noGate);
    signal(SIGBUS, noGate);
    long result = 20;  // getpid in the 32-bit call table
    asm volatile("int $0x80" : "+a"(result) : : "memory", "r8", "r9", "r10", "r11");
    bool runs = result == static_cast<long>(getpid());
#else
    bool runs = false;
#endif
    std::puts(runs ? "ia32: yes" : "ia32: no");
    return runs ? 0 : 1;
}
