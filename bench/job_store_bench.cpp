// The job store against growing numbers of stored jobs: recording and sending one job must cost
// the same at 1,000 and at 1,000,000, and opening the store with the week's history must stay
// quick with 100,000 jobs stored.

#include "platform/date_time.h"
#include "store/job_store.h"
#include "store/sqlite.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace {

using namespace quorva;

const DateTime kToday{2026, 12, 8, 9, 0, 0, 0};

// A store file holding `count` sent jobs spread over the last 90 days, made once per size.
std::string storeWith(long long count) {
    static std::map<long long, std::string> made;
    if (const auto it = made.find(count); it != made.end())
        return it->second;
    const auto path =
        std::filesystem::temp_directory_path() / ("quorva-bench-" + std::to_string(count) + ".db");
    std::filesystem::remove(path);
    { JobStore schema(path.string()); }
    sqlite::Database db(path.string(), SQLITE_OPEN_READWRITE, "");
    sqlite::Transaction transaction(db);
    sqlite::Statement insert(
        db, "INSERT INTO jobs (spool_name, spool_path, captured_at, print_date, site, "
            "job_number, customer, registration, chassis, document, state, report_id) "
            "VALUES (?1, 'C:\\spool\\' || ?1, ?2, '08/12/2026', 'VERNO', ?3, "
            "'M DUPONT JEAN', 'AB-123-CD', 'VF15RBF0A12345678', 'FA123456 du 12/10/26', "
            "1, ?3)");
    for (long long n = 0; n < count; ++n) {
        char name[32];
        char captured[32];
        const DateTime day = addDays(kToday, -(n * 90 / count));
        std::snprintf(name, sizeof name, "%08lld.spl", n);
        std::snprintf(captured, sizeof captured, "%04d-%02d-%02d 08:00:00.000", day.year, day.month,
                      day.day);
        insert.bind(1, name).bind(2, captured).bind(3, std::int64_t{n}).step();
        insert.reset();
    }
    transaction.commit();
    return made[count] = path.string();
}

// One job's whole life in the store: recorded, found due, on the wire, sent.
void BM_RecordAndSendOneJob(benchmark::State& state) {
    JobStore store(storeWith(state.range(0)));
    StoredJob job;
    job.spoolName = "99999999.spl";
    job.spoolPath = "C:\\spool\\99999999.spl";
    job.capturedAt = kToday;
    job.customer = L"M DUPONT JEAN";
    for (auto _ : state) {
        const std::int64_t key = store.add(job);
        benchmark::DoNotOptimize(store.nextWaiting());
        store.claim(key);
        store.markSent(key, "1");
    }
}

// Start-up: the store opened and the last 7 days (and every job still unsettled) read for the
// job list.
void BM_OpenWithTheWeeksHistory(benchmark::State& state) {
    const std::string path = storeWith(state.range(0));
    std::size_t rows = 0;
    for (auto _ : state) {
        JobStore store(path);
        rows = store.listed(addDays(kToday, -7)).size();
    }
    state.counters["history_rows"] = static_cast<double>(rows);
}

BENCHMARK(BM_RecordAndSendOneJob)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWithTheWeeksHistory)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
