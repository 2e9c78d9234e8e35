#pragma once

// The system's name lookup takes neither a time limit nor a cancel: it runs here on a thread of
// its own, so that its caller keeps its deadline and a sender that is asked to end can end.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quorva {

enum class LookupEnd { Found, TimedOut, Cancelled };

// Runs `lookup` until it returns, `deadline` passes or `cancelled` is set, whichever comes first.
// The result is there only when found; a lookup given up on ends on its thread, which then hands
// what it found to `release`.
template <class Result>
LookupEnd lookUpWithin(std::function<Result()> lookup, std::function<void(Result&)> release,
                       std::chrono::steady_clock::time_point deadline,
                       const std::atomic<bool>* cancelled, Result& result) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool givenUp = false;
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, lookup = std::move(lookup), release = std::move(release)] {
        Result found = lookup();
        const std::lock_guard lock(shared->mutex);
        if (shared->givenUp) {
            release(found);
            return;
        }
        shared->result = std::move(found);
        shared->done.notify_all();
    }).detach();

    // A cancel is a flag, not a notification: it is looked at in short slices.
    constexpr std::chrono::milliseconds kSlice{100};
    std::unique_lock lock(shared->mutex);
    for (;;) {
        if (shared->result) {
            result = std::move(*shared->result);
            return LookupEnd::Found;
        }
        const auto now = std::chrono::steady_clock::now();
        const bool isCancelled = cancelled != nullptr && *cancelled;
        if (isCancelled || now >= deadline) {
            shared->givenUp = true;
            return isCancelled ? LookupEnd::Cancelled : LookupEnd::TimedOut;
        }
        shared->done.wait_until(lock, std::min(deadline, now + kSlice));
    }
}

// The system's address lookup (`getAddresses` and `freeAddresses`: getaddrinfo and freeaddrinfo,
// with `Info` their addrinfo) of `host` and `service` within `deadline`. `found` is nothing unless
// `end` is Found and `resolved` is 0; `error` is errno as the lookup left it. An address written
// in figures asks no name server and cannot hang: it is read at once (`numericOnly`:
// AI_NUMERICHOST).
template <class Info> struct AddressLookup {
    LookupEnd end = LookupEnd::TimedOut;
    int resolved = 0;
    int error = 0;
    Info* found = nullptr;
};
template <class Info, class Get, class Free>
AddressLookup<Info> lookUpAddresses(Get getAddresses, Free freeAddresses, const std::string& host,
                                    const std::string& service, const Info& hints,
                                    std::chrono::steady_clock::time_point deadline,
                                    const std::atomic<bool>* cancelled, int numericOnly) {
    AddressLookup<Info> lookup;
    Info numeric = hints;
    numeric.ai_flags |= numericOnly;
    if (getAddresses(host.c_str(), service.c_str(), &numeric, &lookup.found) == 0) {
        lookup.end = LookupEnd::Found;
        return lookup;
    }
    lookup.found = nullptr;
    lookup.end = lookUpWithin<AddressLookup<Info>>(
        [=] {
            AddressLookup<Info> done;
            done.resolved = getAddresses(host.c_str(), service.c_str(), &hints, &done.found);
            done.error = errno;
            return done;
        },
        [=](AddressLookup<Info>& late) {
            if (late.found != nullptr)
                freeAddresses(late.found);
        },
        deadline, cancelled, lookup);
    if (lookup.end != LookupEnd::Found)
        lookup.found = nullptr;
    return lookup;
}

} // namespace quorva
