#include "core/it_alerts.h"

#include <windows.h>

namespace quorva {

namespace {

class SystemItEventLog final : public ItEventLog {
public:
    void report(ItEvent event, const std::string& text) override {
        HANDLE source = RegisterEventSourceA(nullptr, kEventSource);
        if (source == nullptr)
            return;
        const char* strings[] = {text.c_str()};
        ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, static_cast<DWORD>(event), nullptr, 1, 0,
                     strings, nullptr);
        DeregisterEventSource(source);
    }
};

} // namespace

ItEventLog& systemItEventLog() {
    static SystemItEventLog log;
    return log;
}

} // namespace quorva
