// Arbitrary bytes read as DuckDuckGo's answer (see AnswerFuzz.h).
#include "AnswerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzAnswerReader(tvx::TodayEngine::DuckDuckGo, data, size);
}
