#include "verify/decode_check.h"

namespace trimora::verify {

std::vector<int64_t> JoinsOf(const WrittenPlan& plan) {
  std::vector<int64_t> joins;
  int64_t written = 0;
  int32_t join = -1;
  for (const WrittenRun& run : plan.runs) {
    if (run.join != join && run.join >= 0) joins.push_back(written);
    join = run.join;
    written += run.length;
  }
  return joins;
}

bool SavedCheck::Passed() const {
  return written.outcome == WrittenCheck::kMatches && (!decoded || decoded->outcome == DecodeCheck::kDecodes);
}

SavedCheck CheckSaved(const std::string& source, const std::string& target, const WrittenPlan& plan, int32_t markers,
                      const DecodeChecker& decode, const StopFlag& stop) {
  SavedCheck checked{CheckWritten(source, target, plan, markers, stop), std::nullopt};
  if (checked.written.outcome == WrittenCheck::kMatches && plan.clean && decode)
    checked.decoded = decode(target, JoinsOf(plan), stop);
  return checked;
}

}  // namespace trimora::verify
