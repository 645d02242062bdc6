#ifndef TAVORA_HARNESS_EXPORT_H_
#define TAVORA_HARNESS_EXPORT_H_

// Everything else builds with hidden visibility; types that cross the module
// boundary (the contract) must be visible so that exception and type matching
// works between the host and a component loaded with dlopen.
#define HARNESS_API __attribute__((visibility("default")))

#endif  // TAVORA_HARNESS_EXPORT_H_
