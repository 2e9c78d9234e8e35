#include "capture/job_list.h"

namespace quorva {

JobId JobList::add(Job job) {
    jobs_.push_back(std::make_unique<Job>(std::move(job)));
    const JobId id = size() - 1;
    index(id);
    if (listener_ != nullptr)
        listener_->jobAdded(id);
    return id;
}

void JobList::update(JobId id, const std::function<void(Job&)>& change) {
    Job& job = *jobs_.at(static_cast<size_t>(id));
    change(job);
    index(id);
    if (listener_ != nullptr)
        listener_->jobChanged(id);
}

void JobList::clear() {
    jobs_.clear();
    byName_.clear();
    byStoreKey_.clear();
    if (listener_ != nullptr)
        listener_->jobsCleared();
}

void JobList::index(JobId id) {
    const Job& job = at(id);
    // The name and the key only ever grow on a job: set once, never renamed.
    if (!job.spoolName.empty() && !job.fromHistory) {
        const auto [it, inserted] = byName_.try_emplace(job.spoolName, id);
        if (!inserted && it->second < id)
            it->second = id;
    }
    if (job.storeKey != 0)
        byStoreKey_[job.storeKey] = id;
}

JobId JobList::findByName(const std::string& lowerName) const {
    const auto it = byName_.find(lowerName);
    return it == byName_.end() ? kNoJob : it->second;
}

JobId JobList::findByStoreKey(std::int64_t key) const {
    const auto it = byStoreKey_.find(key);
    return it == byStoreKey_.end() ? kNoJob : it->second;
}

} // namespace quorva
