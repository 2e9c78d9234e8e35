// Extraction of a 10 MB spool file against a plain read of the same file: once with the invoice
// at its start, once with no invoice layout anywhere (the whole text is searched).

#include "platform/clock.h"
#include "platform/files.h"
#include "upload/invoice_extraction.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace {

using namespace quorva;

constexpr std::size_t kFileSize = 10 * 1024 * 1024;

// Parts lines of a long print job, of varied lengths; none begins with 30 spaces.
std::string filler(std::size_t size) {
    const std::string labels[] = {"HUILE MOTEUR 5W30 (L)",
                                  "FILTRE A HUILE",
                                  "JOINT DE VIDANGE",
                                  "PLAQUETTES AV",
                                  "DISQUE DE FREIN AV",
                                  "BALAI ESSUIE-GLACE",
                                  "AMPOULE H7",
                                  "LIQUIDE DE REFROIDISSEMENT (L)"};
    std::string text;
    text.reserve(size + 200);
    std::uint32_t random = 12345;
    while (text.size() < size) {
        random = random * 1103515245 + 12345;
        const std::uint32_t r = random >> 16;
        if (r % 9 == 0) {
            text += std::string(20, ' ') +
                    "Sous-total famille ENTRETIEN :" + std::string(r % 12, ' ') +
                    std::to_string(r % 997) + "\r\n";
        } else if (r % 9 == 1) {
            text += std::string(80, '-') + "\r\n\r\n";
        } else {
            std::string line = std::to_string(7711000000u + r) + "  " + labels[r % 8];
            line.resize(53 + r % 5, ' ');
            text += line + std::to_string(r % 9) + ",50" + std::string(4 + r % 4, ' ') +
                    std::to_string(r % 90) + ",90" + std::string(8, ' ') + std::to_string(r % 900) +
                    ",05\r\n";
        }
    }
    text.resize(size);
    return text;
}

std::string invoiceHead() {
    std::string record = "CLIO V 1.0 TCE 90  VF15RBF0A12345678";
    record.resize(65, ' ');
    record += "AB-123-CD      45210";
    return "ZENTOR AUTOMOBILES SAS\r\n\r\n" + std::string(30, ' ') + "MR DUPONT JEAN\r\n" +
           std::string(30, ' ') + "14 RUE DES LILAS\r\nFACTURE N\xF8 123456 DU 12/10/26\r\n\r\n" +
           "Conseiller : M. PETIT\r\n" + std::string(80, '-') + "\r\nVehicule\r\n" + record +
           "\r\n";
}

struct SpoolFolder {
    SpoolFolder() {
        std::filesystem::create_directories(path);
        const std::string head = invoiceHead();
        std::ofstream(path / "invoice.spl", std::ios::binary)
            << head + filler(kFileSize - head.size());
        std::ofstream(path / "other.spl", std::ios::binary) << filler(kFileSize);
    }
    ~SpoolFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path path = std::filesystem::temp_directory_path() / "quorva-extraction-bench";
};

SpoolFolder& folder() {
    static SpoolFolder f;
    return f;
}

const char* fileName(benchmark::State& state) {
    return state.range(0) == 0 ? "invoice.spl" : "other.spl";
}

void BM_PlainRead(benchmark::State& state) {
    const std::string path = (folder().path / fileName(state)).string();
    SystemFiles files;
    for (auto _ : state)
        benchmark::DoNotOptimize(files.readShared(path));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// Read, extraction and the job's fields, as the capture core runs it.
void BM_ExtractIntoJob(benchmark::State& state) {
    FixedLocale locale;
    SystemFiles files;
    const std::string path = (folder().path / fileName(state)).string();
    Job job;
    int invoices = 0;
    for (auto _ : state)
        invoices += extractIntoJob(job, files.readShared(path), locale) ? 1 : 0;
    if ((invoices > 0) != (state.range(0) == 0))
        state.SkipWithError("the invoice was not told apart from the other job");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// The search alone, on text already in memory.
void BM_ExtractInMemory(benchmark::State& state) {
    FixedLocale locale;
    const std::string text = SystemFiles().readShared((folder().path / fileName(state)).string());
    for (auto _ : state)
        benchmark::DoNotOptimize(extractInvoice(text, locale));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// Argument 0: the invoice at the start; 1: no invoice layout.
BENCHMARK(BM_PlainRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractIntoJob)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractInMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
