// SPDX-License-Identifier: BSD-2-Clause-Patent
// Whether this build runs under AddressSanitizer (the asan preset). There every
// memory access is checked and freed memory and stack frames are held back to
// catch reuse, so one run of the simulated platform costs tens of times what
// it costs in the plain build. Sweeps over a whole range run whole in the plain
// build and a sample under the sanitizers, chosen to reach every branch the
// whole range reaches.
#pragma once

namespace test_sample {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

} // namespace test_sample
