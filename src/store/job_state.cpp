#include "store/job_state.h"

namespace quorva {

std::string sqlState(JobState state) {
    return std::to_string(static_cast<int>(state));
}

std::string sqlStates(bool (*holds)(JobState)) {
    std::string list;
    for (int number = 0; number <= static_cast<int>(kLastJobState); ++number) {
        const auto state = static_cast<JobState>(number);
        if (holds(state))
            list += (list.empty() ? "(" : ", ") + sqlState(state);
    }
    return list + ")";
}

} // namespace quorva
