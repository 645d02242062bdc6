#ifndef TAVORA_HOST_READWRITE_REPORT_H_
#define TAVORA_HOST_READWRITE_REPORT_H_

#include <string>
#include <vector>

#include "host/readwrite.h"

namespace host {

// One test's read/write result and how long the whole test took.
struct ReadWriteReport {
  std::u16string test;
  ReadWriteResult result;
  double seconds = 0;
};

// One self-contained HTML page (no scripts, styles inline, nothing fetched):
// a summary of every test at the top, then per test and object its
// properties as a table, with each read that differs from the original and
// each unexpected write marked in words as well as in colour. Narrow
// screens get the same page, its tables scrolling sideways.
std::string ReadWriteReportHtml(const std::vector<ReadWriteReport>& reports);

}  // namespace host

#endif  // TAVORA_HOST_READWRITE_REPORT_H_
