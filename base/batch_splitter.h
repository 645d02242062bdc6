#ifndef TAVORA_BASE_BATCH_SPLITTER_H_
#define TAVORA_BASE_BATCH_SPLITTER_H_

#include <string>
#include <string_view>
#include <vector>

namespace base {

// Splits a T-SQL text into the batches a session sends one by one. A line that
// holds only GO (any case, blanks and tabs around it allowed) ends a batch;
// lines end in CR LF or LF. Each batch keeps its own lines and line breaks as
// they were, without the GO line and without the break that leads into it.
// Batches holding nothing but white space are skipped. The same rules serve
// UTF-8 text (the server's) and UTF-16 text (the harness's).
std::vector<std::string> SplitBatches(std::string_view text);
std::vector<std::u16string> SplitBatches(std::u16string_view text);
// The same batches as views of `text`, which must outlive them.
std::vector<std::string_view> SplitBatchViews(std::string_view text);
std::vector<std::u16string_view> SplitBatchViews(std::u16string_view text);

}  // namespace base

#endif  // TAVORA_BASE_BATCH_SPLITTER_H_
