#ifndef TAVORA_HOST_BATCH_SPLITTER_H_
#define TAVORA_HOST_BATCH_SPLITTER_H_

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The batches of a session text, split as base::SplitBatches does. A text
// holding a NUL character is error 5 naming the line, since a driver would
// cut the statement there without a word.
std::vector<std::u16string> SplitBatches(std::u16string_view text);
// The same batches as views of `text`, which must outlive them.
std::vector<std::u16string_view> SplitBatchViews(std::u16string_view text);

}  // namespace host

#endif  // TAVORA_HOST_BATCH_SPLITTER_H_
