#ifndef TAVORA_DATASETS_BATCH_H_
#define TAVORA_DATASETS_BATCH_H_

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "harness/session.h"

namespace tavora {

// The batch forms every builder uses. Database names go in bare, without
// brackets or quotes, exactly as the statements are fixed.

// Lines joined by CR LF, none after the last.
std::u16string JoinLines(std::initializer_list<std::u16string_view> lines);
std::u16string JoinLines(const std::vector<std::u16string>& lines);

// "USE db" CR LF "GO" CR LF statement.
std::u16string StandardBatch(std::u16string_view database, std::u16string_view statement);
// "USE db" CR LF statement.
std::u16string PlainBatch(std::u16string_view database, std::u16string_view statement);
// "USE master" CR LF statement.
std::u16string ServerBatch(std::u16string_view statement);

// Sends one text through Execute with option 0; the returned text is unused.
void Execute(harness::SqlSession& session, const std::u16string& text);

}  // namespace tavora

#endif  // TAVORA_DATASETS_BATCH_H_
