#pragma once

// A job as capture knows it: one spool file seen in the spool folder, from its first change
// record until its report id came back, or a job of an earlier run shown from the job store.

#include "platform/date_time.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorva {

// A job's place in the job list. Jobs are never removed or reordered there, so the id stays the
// job's for the whole run; the views keep their own order.
using JobId = int;
inline constexpr JobId kNoJob = -1;

// Steady readings: a job is handed to extraction when its size is read unchanged at
// kReadyReadings, and is done, left alone by the poll, from kDoneReadings on.
inline constexpr int kReadyReadings = 5;
inline constexpr int kDoneReadings = 6;

struct Job {
    // The spool file as it was when last handed to extraction.
    struct SettledVersion {
        std::int64_t size = 0;
        DateTime lastWrite; // UTC
    };
    // The bytes last recorded for the job, to tell a writer that went on from a file written anew.
    struct RecordedBytes {
        std::size_t size = 0;
        std::size_t digest = 0;
    };

    std::string spoolName; // lower-cased file name (ANSI)
    DateTime changedAt;    // the last change record, to the millisecond, in local time (shown)
    DateTime changedAtUtc; // the same moment in UTC: what file times are compared with
    std::int64_t size = 0; // at the last poll; -1 when the file could not be found
    int steadyReadings = 0;
    bool hadContent = false; // read with more than one byte at least once
    std::wstring customer;
    std::wstring registration;
    std::wstring chassis;
    std::wstring document;
    std::string reportId;
    std::string stateText;      // where the job stands on its way to the server
    std::int64_t storeKey = 0;  // its record in the job store, 0 before it has one
    bool fromHistory = false;   // shown from the job store: never found by name again
    bool foundBySearch = false; // older than the list's days, listed only while a search finds it
    std::optional<SettledVersion> settled;
    std::optional<RecordedBytes> recorded;

    bool done() const { return steadyReadings >= kDoneReadings; }
};

} // namespace quorva
