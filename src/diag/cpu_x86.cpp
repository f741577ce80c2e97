// The processor's own instructions for the machine description: CPUID and the time-stamp counter.
#include "diag/diagos.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>
#include <x86intrin.h>

bool mdOsCpuid(uint32_t leaf, mdCpuidRegs* regs)
{
    *regs = mdCpuidRegs{};
    // On 32-bit x86 this tests the EFLAGS ID bit, so a processor without CPUID is never asked.
    if (__get_cpuid_max(0, nullptr) == 0) {
        return false;
    }
    // Executed unchecked: the caller compares the answer of leaf 0x80000000 itself.
    __cpuid(leaf, regs->eax, regs->ebx, regs->ecx, regs->edx);
    return true;
}

uint64_t mdOsTimeStamp()
{
    return __rdtsc();
}

#else

// Other processors: no CPUID, no time-stamp counter; the description falls back to "???" and 0.
bool mdOsCpuid(uint32_t /*leaf*/, mdCpuidRegs* regs)
{
    *regs = mdCpuidRegs{};
    return false;
}

uint64_t mdOsTimeStamp()
{
    return 0;
}

#endif
