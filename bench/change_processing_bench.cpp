// Change processing against job tables of growing size: the cost of one change record must not
// grow with the table (the name lookup goes through the table's index).

#include "capture/change_processor.h"
#include "platform/clock.h"
#include "platform/date_format.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

using namespace quorva;

class CountingLog final : public EventLog {
public:
    void insertTop(const std::string&) override { ++lines; }
    void clear() override { lines = 0; }
    long long lines = 0;
};

std::string jobName(long long n) {
    char name[32];
    std::snprintf(name, sizeof name, "%08lld.spl", n);
    return name;
}

// A change buffer filled with packed records for the names first, first + step, ... (modulo
// `names`), all with one action code.
struct Buffer {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(kChangeBufferSize, 0);
    unsigned long transferred = 0;
    int records = 0;
};

Buffer fillBuffer(std::uint32_t action, long long first, long long step, long long names) {
    Buffer buffer;
    std::size_t pos = 0;
    std::size_t previous = 0;
    for (long long n = first;; n += step) {
        const std::string name = jobName(n % names);
        const std::size_t length = 12 + 2 * name.size();
        if (pos + length > kChangeBufferSize)
            break;
        if (buffer.records > 0) {
            const auto next = static_cast<std::uint32_t>(pos - previous);
            std::memcpy(buffer.bytes.data() + previous, &next, 4);
        }
        const auto nameBytes = static_cast<std::uint32_t>(2 * name.size());
        std::memcpy(buffer.bytes.data() + pos + 4, &action, 4);
        std::memcpy(buffer.bytes.data() + pos + 8, &nameBytes, 4);
        for (std::size_t i = 0; i < name.size(); ++i)
            buffer.bytes[pos + 12 + 2 * i] = static_cast<unsigned char>(name[i]);
        previous = pos;
        pos += length;
        ++buffer.records;
    }
    buffer.transferred = static_cast<unsigned long>(pos);
    return buffer;
}

// One table per size, built once and shared by the benchmarks.
struct Desk {
    explicit Desk(long long rows) {
        for (long long n = 0; n < rows; ++n) {
            Job job;
            job.spoolName = jobName(n);
            job.changedAt = clock.now();
            jobs.add(std::move(job));
        }
    }
    FixedLocale locale;
    SystemClock clock;
    SystemFiles files;
    JobList jobs;
    CountingLog log;
    ChangeProcessor processor{jobs, log, clock, locale, files};
};

Desk& desk(long long rows) {
    static std::map<long long, std::unique_ptr<Desk>> desks;
    auto& slot = desks[rows];
    if (!slot)
        slot = std::make_unique<Desk>(rows);
    return *slot;
}

void perRecord(benchmark::State& state, int records) {
    state.counters["per_record"] = benchmark::Counter(
        records, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Modifications of files that have rows, spread over the whole table.
void BM_RefreshRows(benchmark::State& state) {
    const long long rows = state.range(0);
    Desk& d = desk(rows);
    const Buffer buffer = fillBuffer(3, 0, rows / 97 + 1, rows);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            d.processor.process(buffer.bytes.data(), buffer.bytes.size(), buffer.transferred, ""));
    }
    perRecord(state, buffer.records);
    state.counters["rows"] = static_cast<double>(d.jobs.size());
}

// New files: each record appends a row.
void BM_AppendRows(benchmark::State& state) {
    Desk d(state.range(0));
    long long next = state.range(0);
    int records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Buffer buffer = fillBuffer(1, next, 1, next + kChangeBufferSize);
        next += buffer.records;
        records = buffer.records;
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            d.processor.process(buffer.bytes.data(), buffer.bytes.size(), buffer.transferred, ""));
    }
    perRecord(state, records);
}

BENCHMARK(BM_RefreshRows)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppendRows)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
