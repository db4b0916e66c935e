// Whether this test binary runs under a sanitizer: those reserve far more
// address space than the memory limits some tests set on a child.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FERNWEAVE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FERNWEAVE_SANITIZED 1
#endif
#endif
