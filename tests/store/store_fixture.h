#pragma once

// A job store in a folder of its own, with its outbox, and jobs to put in it.

#include "platform/files.h"
#include "store/job_store.h"
#include "store/outbox.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorva {

class StoreFixture : public ::testing::Test {
protected:
    StoreFixture() { files.createFolders(outbox.folder()); }

    // What the window records for a settled invoice: its copy first, then the job.
    std::int64_t record(const std::string& spoolName = "00031.spl") {
        StoredJob job;
        job.spoolName = spoolName;
        job.spoolPath = "C:\\spool\\" + spoolName;
        job.capturedAt = clock.now();
        job.printDate = "07/12/2026";
        job.site = "VERNO";
        job.jobNumber = ++jobs;
        job.customer = L"M DUPONT JEAN-FRAN\u00c7OIS";
        job.copyPath = outbox.keep(invoice, spoolName, job.printDate, clock.now(), *store).path;
        return store->add(job);
    }
    void reopen() {
        store.reset();
        store = std::make_unique<JobStore>(temp.file("quorva.db"));
    }

    testkit::TempDir temp;
    // The printed invoice's bytes.
    const std::string invoice = "FACTURE N\xF8 1\r\n";
    testkit::ManualClock clock;
    SystemFiles files;
    Outbox outbox{files, temp.file("outbox")};
    std::unique_ptr<JobStore> store = std::make_unique<JobStore>(temp.file("quorva.db"));
    int jobs = 0;
};

} // namespace quorva
