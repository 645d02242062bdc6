#ifndef TAVORA_HOST_BATCH_SPLITTER_H_
#define TAVORA_HOST_BATCH_SPLITTER_H_

#include <string>
#include <string_view>
#include <vector>

namespace host {

// Splits a T-SQL text into the batches a session sends one by one. A line that
// holds only GO (any case, blanks and tabs around it allowed) ends a batch;
// lines end in CR LF or LF. Each batch keeps its own lines and line breaks as
// they were, without the GO line and without the break that leads into it.
// Batches holding nothing but white space are skipped. A text holding a NUL
// character is error 5 naming the line, since a driver would cut the
// statement there without a word.
std::vector<std::u16string> SplitBatches(std::u16string_view text);

}  // namespace host

#endif  // TAVORA_HOST_BATCH_SPLITTER_H_
