#pragma once

// An event list that keeps its lines, the newest first.

#include "capture/change_processor.h"

#include <string>
#include <vector>

namespace quorva::testkit {

class RecordingLog final : public EventLog {
public:
    void insertTop(const std::string& line) override { lines.insert(lines.begin(), line); }
    void clear() override { lines.clear(); }
    std::vector<std::string> lines;
};

} // namespace quorva::testkit
