// The watcher against the real directory-change API (run under Wine): what each hand-over carries,
// that the buffer holds still while the main thread reads it, that a burst far larger than the
// buffer still gives every file a job, and that stop() returns in every state.

#include "capture/change_processor.h"
#include "capture/job_list.h"
#include "capture/spool_watcher.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/system_error.h"
#include "support/recording_log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace quorva {
namespace {

constexpr UINT kHandOverMessage = WM_APP + 7;
constexpr DWORD kBoundMs = 15000;       // for something that must come
constexpr DWORD kQuietMs = 500;         // for something that must not come
constexpr std::size_t kHeaderSize = 12; // NextEntryOffset, Action, FileNameLength

struct Record {
    DWORD action;
    std::wstring name;
    bool operator==(const Record&) const = default;
};

void PrintTo(const Record& record, std::ostream* os) {
    *os << '{' << record.action << ", ";
    for (wchar_t c : record.name)
        *os << (c < 128 ? static_cast<char>(c) : '?');
    *os << '}';
}

struct HandOver {
    unsigned long transferred = 0;
    std::vector<Record> records;
    bool wellFormed = true; // the records lie within the transferred bytes
    bool zeroTail = true;   // every byte after them is zero
};

// Decodes one hand-over by hand. Wine packs the records without alignment, so every field is
// copied out rather than read through a structure.
HandOver decode(const unsigned char* buffer, unsigned long transferred) {
    HandOver h;
    h.transferred = transferred;
    h.zeroTail = std::all_of(buffer + std::min<std::size_t>(transferred, kChangeBufferSize),
                             buffer + kChangeBufferSize, [](unsigned char b) { return b == 0; });
    std::size_t pos = 0;
    while (transferred > 0) {
        if (transferred - pos < kHeaderSize) {
            h.wellFormed = false;
            break;
        }
        DWORD next = 0, action = 0, nameBytes = 0;
        std::memcpy(&next, buffer + pos, 4);
        std::memcpy(&action, buffer + pos + 4, 4);
        std::memcpy(&nameBytes, buffer + pos + 8, 4);
        if (nameBytes % 2 != 0 || nameBytes > transferred - pos - kHeaderSize) {
            h.wellFormed = false;
            break;
        }
        std::wstring name(nameBytes / 2, L'\0');
        std::memcpy(name.data(), buffer + pos + kHeaderSize, nameBytes);
        h.records.push_back({action, name});
        if (next == 0)
            break;
        pos += next;
    }
    return h;
}

// A message-only window standing in for the main window: it decodes and keeps every hand-over,
// then runs the test's own work on it.
class HandOverWindow {
public:
    explicit HandOverWindow(const SpoolWatcher& watcher) : buffer_(watcher.buffer()) {
        static const bool registered = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &HandOverWindow::proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = kClassName;
            return RegisterClassW(&wc) != 0;
        }();
        EXPECT_TRUE(registered);
        hwnd_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), this);
        EXPECT_NE(hwnd_, nullptr);
    }
    ~HandOverWindow() { DestroyWindow(hwnd_); }
    HandOverWindow(const HandOverWindow&) = delete;
    HandOverWindow& operator=(const HandOverWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    const std::vector<HandOver>& handOvers() const { return handOvers_; }
    std::vector<Record> records() const {
        std::vector<Record> all;
        for (const HandOver& h : handOvers_)
            all.insert(all.end(), h.records.begin(), h.records.end());
        return all;
    }
    int overflows() const {
        return static_cast<int>(
            std::count_if(handOvers_.begin(), handOvers_.end(),
                          [](const HandOver& h) { return h.transferred == 0; }));
    }
    bool contains(const Record& wanted) const {
        const std::vector<Record> all = records();
        return std::find(all.begin(), all.end(), wanted) != all.end();
    }

    // Runs on the main thread, inside the hand-over, after the buffer has been decoded.
    std::function<void(unsigned long transferred)> onHandOver;

private:
    static constexpr const wchar_t* kClassName = L"QuorvaWatcherTestWindow";

    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<HandOverWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message != kHandOverMessage || self == nullptr)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        const auto transferred = static_cast<unsigned long>(wParam);
        self->handOvers_.push_back(decode(self->buffer_, transferred));
        try {
            if (self->onHandOver)
                self->onHandOver(transferred);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "hand-over handler threw: " << e.what();
        }
        return 0;
    }

    const unsigned char* buffer_;
    HWND hwnd_ = nullptr;
    std::vector<HandOver> handOvers_;
};

// Runs this thread's messages until `done` holds; false when the bound passed first.
bool pumpUntil(const std::function<bool()>& done, DWORD boundMs = kBoundMs) {
    const ULONGLONG end = GetTickCount64() + boundMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        MsgWaitForMultipleObjectsEx(0, nullptr,
                                    static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

void pumpQuietly() {
    pumpUntil([] { return false; }, kQuietMs);
}

// Ends the program when a call that must return does not, so that the run fails at once rather
// than at ctest's time-out.
class Watchdog {
public:
    explicit Watchdog(const char* what)
        : thread_([this, what] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!ended_.wait_for(lock, std::chrono::seconds(60), [this] { return done_; })) {
                  std::fprintf(stderr, "hung: %s\n", what);
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        ended_.notify_one();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "quorva-watcher-" + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(++counter);
        EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
    }
    ~TempFolder() {
        WIN32_FIND_DATAA data{};
        HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA(file(data.cFileName).c_str());
            } while (FindNextFileA(search, &data));
            FindClose(search);
        }
        RemoveDirectoryA(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

    void write(const std::string& name, const std::string& bytes) const {
        put(name, CREATE_ALWAYS, GENERIC_WRITE, bytes);
    }
    void append(const std::string& name, const std::string& bytes) const {
        put(name, OPEN_EXISTING, FILE_APPEND_DATA, bytes);
    }
    void rename(const std::string& from, const std::string& to) const {
        ASSERT_TRUE(MoveFileA(file(from).c_str(), file(to).c_str()));
    }
    void remove(const std::string& name) const { ASSERT_TRUE(DeleteFileA(file(name).c_str())); }

private:
    void put(const std::string& name, DWORD disposition, DWORD access,
             const std::string& bytes) const {
        HANDLE h = CreateFileA(file(name).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        EXPECT_TRUE(
            WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(h);
    }

    std::string path_;
};

// Every hand-over that carries records holds them within the transferred bytes, with nothing
// after them: the buffer was cleared before the read that filled it.
void expectSoundHandOvers(const HandOverWindow& window) {
    for (const HandOver& h : window.handOvers()) {
        EXPECT_TRUE(h.wellFormed) << "transferred " << h.transferred;
        EXPECT_TRUE(h.zeroTail) << "transferred " << h.transferred;
        EXPECT_LE(h.transferred, kChangeBufferSize);
    }
}

class SpoolWatcherTest : public ::testing::Test {
protected:
    void TearDown() override {
        Watchdog dog("stop() at the end of a test");
        watcher.stop();
    }

    WatchStartResult start() {
        return watcher.start(folder.path(), window.hwnd(), kHandOverMessage);
    }

    TempFolder folder;
    SpoolWatcher watcher;
    HandOverWindow window{watcher};
};

TEST(SpoolWatcherChanges, EachKindOfChangeArrivesAsItsRecords) {
    struct Case {
        const char* label;
        std::function<void(const TempFolder&)> before; // done before watching starts
        std::function<void(const TempFolder&)> change;
        std::vector<Record> expected; // must arrive in this order, one after the other
        std::vector<DWORD> allowedActions;
    };
    const std::vector<Case> cases = {
        {"create",
         [](const TempFolder&) {},
         [](const TempFolder& f) { f.write("Job00012.SPL", "invoice"); },
         {{FILE_ACTION_ADDED, L"Job00012.SPL"}},
         {FILE_ACTION_ADDED, FILE_ACTION_MODIFIED}},
        {"append",
         [](const TempFolder& f) { f.write("append.spl", "first"); },
         [](const TempFolder& f) { f.append("append.spl", " second"); },
         {{FILE_ACTION_MODIFIED, L"append.spl"}},
         {FILE_ACTION_MODIFIED}},
        {"rename",
         [](const TempFolder& f) { f.write("old.spl", "x"); },
         [](const TempFolder& f) { f.rename("old.spl", "new.spl"); },
         {{FILE_ACTION_RENAMED_OLD_NAME, L"old.spl"}, {FILE_ACTION_RENAMED_NEW_NAME, L"new.spl"}},
         {FILE_ACTION_RENAMED_OLD_NAME, FILE_ACTION_RENAMED_NEW_NAME}},
        {"delete",
         [](const TempFolder& f) { f.write("gone.spl", "x"); },
         [](const TempFolder& f) { f.remove("gone.spl"); },
         {{FILE_ACTION_REMOVED, L"gone.spl"}},
         {FILE_ACTION_REMOVED}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        SpoolWatcher watcher;
        HandOverWindow window(watcher);
        c.before(folder);
        const WatchStartResult result =
            watcher.start(folder.path(), window.hwnd(), kHandOverMessage);
        ASSERT_TRUE(result.started) << result.errorText;
        EXPECT_FALSE(result.beep);
        EXPECT_EQ(result.errorText, "");

        c.change(folder);
        const auto arrived = [&] {
            const std::vector<Record> all = window.records();
            return std::search(all.begin(), all.end(), c.expected.begin(), c.expected.end()) !=
                   all.end();
        };
        EXPECT_TRUE(pumpUntil(arrived)) << ::testing::PrintToString(window.records());
        pumpQuietly(); // whatever else the change brings
        for (const Record& r : window.records())
            EXPECT_NE(std::find(c.allowedActions.begin(), c.allowedActions.end(), r.action),
                      c.allowedActions.end())
                << ::testing::PrintToString(r);
        expectSoundHandOvers(window);
        std::printf("[ figures  ] %s: %zu records in %zu hand-overs %s\n", c.label,
                    window.records().size(), window.handOvers().size(),
                    ::testing::PrintToString(window.records()).c_str());
        Watchdog dog("stop()");
        watcher.stop();
    }
}

TEST_F(SpoolWatcherTest, BufferHoldsStillWhileTheMainThreadReadsIt) {
    bool changedUnderReader = false;
    window.onHandOver = [&](unsigned long) {
        if (window.handOvers().size() != 1)
            return;
        const std::vector<unsigned char> seen(watcher.buffer(),
                                              watcher.buffer() + kChangeBufferSize);
        // A change while the main thread reads must wait for the next read, not land here.
        folder.write("second.spl", "y");
        Sleep(300);
        changedUnderReader = !std::equal(seen.begin(), seen.end(), watcher.buffer(),
                                         watcher.buffer() + kChangeBufferSize);
    };
    ASSERT_TRUE(start().started);
    folder.write("first.spl", "x");

    EXPECT_TRUE(pumpUntil([&] { return window.contains({FILE_ACTION_ADDED, L"second.spl"}); }));
    EXPECT_FALSE(changedUnderReader);
    ASSERT_FALSE(window.handOvers().empty());
    EXPECT_EQ(window.handOvers().front().records.front(),
              (Record{FILE_ACTION_ADDED, L"first.spl"}));
    expectSoundHandOvers(window);
}

TEST_F(SpoolWatcherTest, BurstFarLargerThanTheBufferStillGivesEveryFileOneJob) {
    SystemLocale locale;
    SystemClock clock;
    SystemFiles files;
    JobList jobs;
    testkit::RecordingLog log;
    ChangeProcessor processor(jobs, log, clock, locale, files);
    window.onHandOver = [&](unsigned long transferred) {
        processor.process(watcher.buffer(), kChangeBufferSize, transferred, watcher.folder());
    };
    ASSERT_TRUE(start().started);

    // Written as fast as possible, while this thread runs no messages: the worker stays blocked
    // in its first hand-over and the system has to hold everything else.
    constexpr int kFiles = 500;
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "burst-%03d.spl", i);
        folder.write(name, "print job " + std::to_string(i));
        names.push_back(name);
    }
    const auto missing = [&] {
        return std::count_if(names.begin(), names.end(),
                             [&](const std::string& n) { return jobs.findByName(n) == kNoJob; });
    };
    EXPECT_TRUE(pumpUntil([&] { return missing() == 0; }, 60000));
    pumpQuietly();

    EXPECT_EQ(missing(), 0);
    EXPECT_EQ(jobs.size(), kFiles); // one job per file, none twice
    // The records of 500 files cannot fit in one buffer: the jobs above came through a rescan.
    EXPECT_GE(window.overflows(), 1);
    expectSoundHandOvers(window);
    std::printf("[ figures  ] burst of %d files: %zu hand-overs, %zu records, %d zero-byte "
                "(overflow), %zu event lines\n",
                kFiles, window.handOvers().size(), window.records().size(), window.overflows(),
                log.lines.size());
}

// True once the worker waits in SendMessage for this thread, which runs no message meanwhile.
bool handOverPending() {
    const ULONGLONG end = GetTickCount64() + kBoundMs;
    while (GetTickCount64() < end) {
        if (LOWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)
            return true;
        Sleep(5);
    }
    return false;
}

TEST_F(SpoolWatcherTest, StopServesTheHandOverInFlightThenEnds) {
    ASSERT_TRUE(start().started);
    folder.write("inflight.spl", "x");
    ASSERT_TRUE(handOverPending());
    ASSERT_TRUE(window.handOvers().empty());

    {
        Watchdog dog("stop() with a hand-over in flight");
        watcher.stop();
    }
    EXPECT_FALSE(watcher.running());
    ASSERT_FALSE(window.handOvers().empty());
    EXPECT_EQ(window.handOvers().front().records.front(),
              (Record{FILE_ACTION_ADDED, L"inflight.spl"}));

    const std::size_t served = window.handOvers().size();
    folder.write("after-stop.spl", "x");
    pumpQuietly();
    EXPECT_EQ(window.handOvers().size(), served);
}

TEST_F(SpoolWatcherTest, FolderThatCannotBeWatchedDoesNotStart) {
    struct Case {
        const char* label;
        std::string path;
        bool beep;
        std::string errorText; // empty: any text
    };
    folder.write("not-a-folder.spl", "x");
    const std::vector<Case> cases = {
        {"missing folder", folder.file("absent"), true, systemErrorText(ERROR_FILE_NOT_FOUND)},
        // Opens (backup semantics open files too) but cannot be read for changes.
        {"a file", folder.file("not-a-folder.spl"), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const WatchStartResult result = watcher.start(c.path, window.hwnd(), kHandOverMessage);
        EXPECT_FALSE(result.started);
        EXPECT_EQ(result.beep, c.beep);
        EXPECT_NE(result.errorText, "");
        if (!c.errorText.empty()) {
            EXPECT_EQ(result.errorText, c.errorText);
        }
        EXPECT_FALSE(watcher.running());
        {
            Watchdog dog("stop() after a failed start");
            watcher.stop();
        }
        EXPECT_FALSE(watcher.running());
    }
    folder.write("unwatched.spl", "x");
    pumpQuietly();
    EXPECT_TRUE(window.handOvers().empty());

    // Nothing of the failed starts is left half open: the folder itself can be watched.
    ASSERT_TRUE(start().started);
    folder.write("watched.spl", "x");
    EXPECT_TRUE(pumpUntil([&] { return window.contains({FILE_ACTION_ADDED, L"watched.spl"}); }));
}

TEST_F(SpoolWatcherTest, StopAndDestroyInEveryState) {
    {
        Watchdog dog("a watcher never started");
        SpoolWatcher never;
        EXPECT_FALSE(never.running());
        never.stop();
        EXPECT_FALSE(never.running());
    }

    ASSERT_TRUE(start().started);
    EXPECT_TRUE(watcher.running());
    EXPECT_EQ(watcher.folder(), folder.path());
    {
        Watchdog dog("stop() twice");
        watcher.stop();
        watcher.stop();
    }
    EXPECT_FALSE(watcher.running());

    // Stopped, it starts again.
    ASSERT_TRUE(start().started);
    folder.write("again.spl", "x");
    EXPECT_TRUE(pumpUntil([&] { return window.contains({FILE_ACTION_ADDED, L"again.spl"}); }));

    // Started again while running, it leaves the first folder for the new one.
    TempFolder other;
    ASSERT_TRUE(watcher.start(other.path(), window.hwnd(), kHandOverMessage).started);
    folder.write("left.spl", "x");
    other.write("moved.spl", "x");
    EXPECT_TRUE(pumpUntil([&] { return window.contains({FILE_ACTION_ADDED, L"moved.spl"}); }));
    EXPECT_FALSE(window.contains({FILE_ACTION_ADDED, L"left.spl"}));

    // Destroyed while running, it stops: nothing arrives any more.
    auto running = std::make_unique<SpoolWatcher>();
    HandOverWindow otherWindow(*running);
    ASSERT_TRUE(running->start(other.path(), otherWindow.hwnd(), kHandOverMessage).started);
    {
        Watchdog dog("destroying a running watcher");
        running.reset();
    }
    other.write("unwatched.spl", "x");
    pumpQuietly();
    EXPECT_TRUE(otherWindow.handOvers().empty());
}

// The worker's reading of each completion it dequeues, including those that only the end of
// the directory handle produces and that must never pass for an overflow.
TEST(SpoolWatcherWorker, DecidesWhatEachCompletionMeans) {
    constexpr std::uintptr_t kWindowKey = 0x10024;
    constexpr unsigned long kStatusNotifyEnumDir = 0x0000010C;
    constexpr unsigned long kStatusNotifyCleanup = 0x0000010B;
    constexpr unsigned long kStatusCancelled = 0xC0000120;
    constexpr unsigned long kStatusHandlesClosed = 0x8000000A;
    constexpr unsigned long kErrorHandlesClosed = 676;
    struct Case {
        const char* label;
        DequeuedCompletion completion;
        WorkerStep step;
        unsigned long handOverBytes;
    };
    const Case cases[] = {
        {"stop packet", {true, false, 0, 0, 0, 0}, WorkerStep::End, 0},
        {"port gone", {false, false, ERROR_ABANDONED_WAIT_0, kWindowKey, 0, 0}, WorkerStep::End, 0},
        {"time-out", {false, false, WAIT_TIMEOUT, 0, 0, 0}, WorkerStep::Check, 0},
        {"records", {true, true, 0, kWindowKey, 120, 0}, WorkerStep::HandOver, 120},
        {"overflow", {true, true, 0, kWindowKey, 0, kStatusNotifyEnumDir}, WorkerStep::HandOver, 0},
        {"overflow, no status", {true, true, 0, kWindowKey, 0, 0}, WorkerStep::HandOver, 0},
        {"overflow reported as failure",
         {false, true, ERROR_NOTIFY_ENUM_DIR, kWindowKey, 0, 0},
         WorkerStep::HandOver,
         0},
        {"handle closed",
         {true, true, 0, kWindowKey, 0, kStatusNotifyCleanup},
         WorkerStep::Wait,
         0},
        {"handle closed, Wine",
         {false, true, kErrorHandlesClosed, kWindowKey, 0, kStatusHandlesClosed},
         WorkerStep::Wait,
         0},
        {"read cancelled",
         {false, true, ERROR_OPERATION_ABORTED, kWindowKey, 0, kStatusCancelled},
         WorkerStep::Wait,
         0},
        {"read failed",
         {false, true, ERROR_ACCESS_DENIED, kWindowKey, 0, 0xC0000022},
         WorkerStep::Rearm,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const WorkerDecision decision = decideWorkerStep(c.completion);
        EXPECT_EQ(decision.step, c.step);
        EXPECT_EQ(decision.handOverBytes, c.handOverBytes);
    }
}

} // namespace
} // namespace quorva
