#pragma once

// The jobs of this run, in the order they were first seen, owned by the capture core on its
// thread; the desk keeps a copy of the service's, received over the pipe. Views are told of each
// job added or changed and keep their own order.

#include "capture/job.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorva {

class JobListListener {
public:
    virtual ~JobListListener() = default;
    virtual void jobAdded(JobId id) = 0;
    virtual void jobChanged(JobId id) = 0;
    // Every job is gone (the desk's copy, when it connects to the service anew).
    virtual void jobsCleared() {}
};

class JobList {
public:
    int size() const { return static_cast<int>(jobs_.size()); }
    bool contains(JobId id) const { return id >= 0 && id < size(); }
    // The job; std::out_of_range for an id that is not one.
    const Job& at(JobId id) const { return *jobs_.at(static_cast<size_t>(id)); }

    JobId add(Job job);
    // Changes the job and tells the listener.
    void update(JobId id, const std::function<void(Job&)>& change);
    // Forgets every job: the ids start again from 0.
    void clear();

    // The last job of this run named `lowerName` (jobs from the history are never found), or
    // kNoJob.
    JobId findByName(const std::string& lowerName) const;
    // The last job recorded under the store key, or kNoJob.
    JobId findByStoreKey(std::int64_t key) const;

    void setListener(JobListListener* listener) { listener_ = listener; }

private:
    void index(JobId id);

    // Jobs by pointer: growing a large list moves pointers, not jobs.
    std::vector<std::unique_ptr<Job>> jobs_;
    std::unordered_map<std::string, JobId> byName_;
    std::unordered_map<std::int64_t, JobId> byStoreKey_;
    JobListListener* listener_ = nullptr;
};

} // namespace quorva
