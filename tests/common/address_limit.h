// Caps the address space of the calling process a little above its current size, so that the
// next large allocation fails: for testing out-of-memory paths in a forked child (run_forked).
#pragma once

#include <cstddef>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace test_util {

// Address and thread sanitizers reserve huge mappings and die when memory runs out instead of
// letting malloc fail, so there the limit is not applied and such tests are skipped.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool address_limit_supported = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool address_limit_supported = false;
#else
constexpr bool address_limit_supported = true;
#endif
#else
constexpr bool address_limit_supported = true;
#endif

// Sets RLIMIT_AS to the current virtual size plus `headroom` bytes. True when applied. Never call
// it in the test program itself: only in a child that ends afterwards.
inline bool limit_address_space(size_t headroom)
{
    if (!address_limit_supported)
        return false;
    FILE *statm = fopen("/proc/self/statm", "r");
    if (!statm)
        return false;
    unsigned long pages = 0;
    int got = fscanf(statm, "%lu", &pages);
    fclose(statm);
    if (got != 1)
        return false;
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + headroom;
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

} // namespace test_util
