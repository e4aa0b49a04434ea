// What the web tests' build of the request routines counts
// (SONGLINK_TEST_PROBES): the asynchronous states alive, which returns to
// zero only once every handle's closing notice has come, and the body bytes
// read from the platform. The program's build counts nothing: the probes are
// empty there.
#pragma once

#include <cstdint>

#ifdef SONGLINK_TEST_PROBES
#include <atomic>

namespace web {
inline std::atomic<int32_t> probeLiveAsyncStates{0};
inline std::atomic<uint64_t> probeBodyBytesRead{0};
}  // namespace web

inline void ProbeAsyncStateMade() { ++web::probeLiveAsyncStates; }
inline void ProbeAsyncStateFreed() { --web::probeLiveAsyncStates; }
inline void ProbeBodyBytesRead(uint32_t count) { web::probeBodyBytesRead += count; }
#else
inline void ProbeAsyncStateMade() {}
inline void ProbeAsyncStateFreed() {}
inline void ProbeBodyBytesRead(uint32_t) {}
#endif
