#ifndef TAVORA_LIBRARY_READ_WRITE_SUITE_H_
#define TAVORA_LIBRARY_READ_WRITE_SUITE_H_

#include "harness/test_library.h"

namespace tavora {

// A new ReadWriteSuite: Name "ReadWrite", Description "Read/Write Test Suite"
// and four tests, "Standard", "Replication.Snapshot",
// "Replication.Transactional" and "Replication.Merge", each a harness
// TestCase bound to a new dataset object. The test list is built on first use
// (which needs the harness's TestCase class) and kept, so every GetTest of
// one position returns the same test case. A build that fails leaves no list
// behind and the next call tries again. Every member reports failures through
// HandleError under module "ReadWriteSuite".
harness::ComPtr<harness::ITestSuite> MakeReadWriteSuite();

}  // namespace tavora

#endif  // TAVORA_LIBRARY_READ_WRITE_SUITE_H_
