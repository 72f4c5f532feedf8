// sanitizer.h - whether this build runs under AddressSanitizer, for gcc and clang alike: gcc says
// so with __SANITIZE_ADDRESS__, clang 14 only through __has_feature.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define TIR_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TIR_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef TIR_ADDRESS_SANITIZER
#define TIR_ADDRESS_SANITIZER 0
#endif
