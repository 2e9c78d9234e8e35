// The spool folder watcher and its worker thread.
//
// This code is tricky, so here is a high-level overview. One ReadDirectoryChangesW is pending on
// the folder at a time; the system fills the change buffer and queues the read's completion to
// the port. The worker dequeues it, hands the buffer to the window with SendMessage and stays
// blocked until the main thread has processed it; only then does it zero the buffer and re-arm
// the read. So the buffer, the overlapped record and the handles need no lock: at any moment only
// one party (system, main thread or worker) may touch them.
//
// stop() posts a key-0 packet and waits for the worker while serving sent messages, so that a
// worker blocked in a hand-over can finish it and then dequeue the stop packet. The handles are
// closed only after the worker has ended: closing the directory ends the pending read, whose
// completion stop() takes off the port itself before it closes the port.
//
// The folder can go away under the watcher: a read that cannot be re-armed, or a folder that no
// longer opens as the one held (the worker looks every few seconds, since a deleted folder may
// just leave its read pending), is lost. The worker closes its handle, tells the window, and tries
// to open the folder again at each time-out of its wait; the new handle joins the same port.

#include "capture/spool_watcher.h"

#include "platform/system_error.h"
#include "platform/unique_handle_win.h"

#include <windows.h>

namespace quorva {

namespace {

constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;
// The status Windows gives a pending directory read when its handle is closed (a success code,
// so the dequeue reports TRUE and zero bytes, like an overflow).
constexpr unsigned long kStatusNotifyCleanup = 0x0000010B;
// ERROR_HANDLES_CLOSED, which MinGW's headers lack: Wine's result for that same read.
constexpr unsigned long kErrorHandlesClosed = 676;

// The folder opened for listing, sharing everything, so that the spooler and the user may still
// write, rename and delete in it.
HANDLE openDirectory(const std::string& folder, DWORD flags) {
    return CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// Waits until `thread` has ended, running the messages other threads send to this one meanwhile
// (posted messages stay queued for the message loop).
void waitServingSentMessages(HANDLE thread) {
    for (;;) {
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woken != WAIT_OBJECT_0 + 1)
            return;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

struct SpoolWatcher::State {
    UniqueHandle directory;
    UniqueHandle port;
    unsigned char buffer[kChangeBufferSize] = {};
    DWORD bytesReturned = 0;
    OVERLAPPED overlapped{};
    OVERLAPPED* completedOverlapped = &overlapped;
    DWORD notifyFilter = 0;
    bool readPending = false; // written by the worker only while the main thread waits for it
    std::string folder;
    HWND window = nullptr;
    UINT message = 0;
    std::unique_ptr<WatchThread> worker; // last: ends before the handles close

    // Clears the buffer and starts the next overlapped read into it.
    bool armRead() {
        bytesReturned = 0;
        ZeroMemory(buffer, sizeof buffer);
        readPending =
            ReadDirectoryChangesW(directory.get(), buffer, sizeof buffer, FALSE, notifyFilter,
                                  &bytesReturned, &overlapped, nullptr) != FALSE;
        return readPending;
    }

    // Opens the folder and binds it to the port (made here the first time), with the window as
    // completion key. False with the system's error as the last error.
    bool openFolder() {
        directory.reset(openDirectory(folder, FILE_FLAG_OVERLAPPED));
        return static_cast<bool>(directory);
    }
    bool bindPort() {
        HANDLE bound = CreateIoCompletionPort(directory.get(), port.get(),
                                              reinterpret_cast<ULONG_PTR>(window), 0);
        if (bound != nullptr && !port)
            port.reset(bound);
        return bound != nullptr;
    }

    // 0 while the folder's path still opens as the folder held, otherwise the error that says
    // why not (a folder deleted and made again is another folder).
    DWORD folderGone() const {
        UniqueHandle now;
        now.reset(openDirectory(folder, 0));
        if (!now)
            return GetLastError();
        BY_HANDLE_FILE_INFORMATION held{};
        BY_HANDLE_FILE_INFORMATION named{};
        if (!GetFileInformationByHandle(directory.get(), &held) ||
            !GetFileInformationByHandle(now.get(), &named))
            return GetLastError();
        // Some shares give no file index (zero): there, only a path that no longer opens counts.
        const bool indexed = (named.nFileIndexHigh | named.nFileIndexLow) != 0;
        const bool same = !indexed || (held.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
                                       held.nFileIndexHigh == named.nFileIndexHigh &&
                                       held.nFileIndexLow == named.nFileIndexLow);
        return same ? 0 : ERROR_FILE_NOT_FOUND;
    }

    // Closes the directory. Closing it ends the pending read (every file system ends its change
    // reads when their handle closes), but until that completion has reached the port the system
    // may still write into the overlapped record: take it off first. Returns false when the stop
    // packet came meanwhile.
    bool closeDirectory() {
        directory.reset();
        bool stopOrdered = false;
        while (readPending) {
            DWORD transferred = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* done = nullptr;
            const BOOL ok =
                GetQueuedCompletionStatus(port.get(), &transferred, &key, &done, INFINITE);
            if (done == &overlapped || (!ok && done == nullptr)) // a failed wait: nothing will come
                readPending = false;
            else if (ok && done == nullptr && key == 0)
                stopOrdered = true;
        }
        return !stopOrdered;
    }

    // Closes the directory, then the port.
    void closeHandles() {
        closeDirectory();
        port.reset();
    }

    // A start that failed after the open: both handles go, and the failure's text is given.
    WatchStartResult abandon(DWORD error) {
        const WatchStartResult result{false, false, systemErrorText(error)};
        closeHandles();
        return result;
    }
};

// The worker: waits on the completion port and hands each completed read to the main thread.
// Created suspended, so that it runs only once start() is called; it is not freed when it ends:
// its owner waits for it, then destroys it.
class WatchThread {
public:
    static std::unique_ptr<WatchThread> create(SpoolWatcher::State& form) {
        std::unique_ptr<WatchThread> thread(new WatchThread(form));
        thread->thread_.reset(
            CreateThread(nullptr, 0, &WatchThread::entry, thread.get(), CREATE_SUSPENDED, nullptr));
        if (!thread->thread_)
            return nullptr;
        return thread;
    }
    WatchThread(const WatchThread&) = delete;
    WatchThread& operator=(const WatchThread&) = delete;

    void start() { ResumeThread(thread_.get()); }
    HANDLE handle() const { return thread_.get(); }

private:
    explicit WatchThread(SpoolWatcher::State& form) : form_(form) {}

    static DWORD WINAPI entry(LPVOID self) noexcept {
        static_cast<WatchThread*>(self)->execute();
        return 0;
    }

    // The run loop. Only system calls: nothing here throws.
    void execute() noexcept {
        for (;;) {
            DequeuedCompletion completion;
            DWORD transferred = 0;
            ULONG_PTR key = 0;
            completion.succeeded =
                GetQueuedCompletionStatus(form_.port.get(), &transferred, &key,
                                          &form_.completedOverlapped, kFolderCheckMs) != FALSE;
            completion.error = completion.succeeded ? ERROR_SUCCESS : GetLastError();
            completion.hasOverlapped = form_.completedOverlapped != nullptr;
            completion.key = key;
            completion.transferred = transferred;
            if (completion.hasOverlapped) {
                completion.status = static_cast<unsigned long>(form_.completedOverlapped->Internal);
                form_.readPending = false;
            }
            const WorkerDecision decision = decideWorkerStep(completion);
            switch (decision.step) {
            case WorkerStep::End:
                return;
            case WorkerStep::Wait:
                break;
            case WorkerStep::Check:
                if (!checkFolder())
                    return;
                break;
            case WorkerStep::HandOver:
                handOver(WatchEvent::Changes, decision.handOverBytes);
                if (!rearm())
                    return;
                break;
            case WorkerStep::Rearm:
                if (!rearm())
                    return;
                break;
            }
        }
    }

    void handOver(WatchEvent event, unsigned long value) {
        SendMessageW(form_.window, form_.message, value, static_cast<LPARAM>(event));
    }

    // The next read; a folder that no longer takes one is lost. False when the stop packet came.
    bool rearm() {
        if (form_.armRead())
            return true;
        return lose(GetLastError());
    }

    bool lose(DWORD error) {
        if (!form_.closeDirectory())
            return false;
        handOver(WatchEvent::FolderLost, error);
        return true;
    }

    // At each time-out: a lost folder is opened again, and read in full by the window once it
    // is back; a held one must still be what its path names. False when the stop packet came.
    bool checkFolder() {
        if (form_.directory) {
            const DWORD gone = form_.folderGone();
            if (gone == 0)
                return true;
            if (!form_.closeDirectory())
                return false;
            // A folder made again under the same name is taken at once.
            if (!reopen())
                handOver(WatchEvent::FolderLost, gone);
            return true;
        }
        reopen();
        return true;
    }

    bool reopen() {
        if (!form_.openFolder() || !form_.bindPort() || !form_.armRead()) {
            form_.directory.reset(); // no read is pending on it
            return false;
        }
        handOver(WatchEvent::FolderBack, 0);
        return true;
    }

    SpoolWatcher::State& form_;
    UniqueHandle thread_;
};

WorkerDecision decideWorkerStep(const DequeuedCompletion& completion) {
    if (!completion.succeeded && !completion.hasOverlapped)
        // Nothing came in time; any other failure without a packet means the port is gone, and
        // waiting again would spin.
        return {completion.error == WAIT_TIMEOUT ? WorkerStep::Check : WorkerStep::End};
    if (completion.key == 0)
        return {WorkerStep::End};
    if (completion.succeeded) {
        if (completion.status == kStatusNotifyCleanup)
            return {WorkerStep::Wait};
        return {WorkerStep::HandOver, completion.transferred};
    }
    switch (completion.error) {
    case ERROR_OPERATION_ABORTED:
    case kErrorHandlesClosed:
        return {WorkerStep::Wait};
    case ERROR_NOTIFY_ENUM_DIR: // the system dropped changes: the folder must be rescanned
        return {WorkerStep::HandOver, 0};
    default:
        return {WorkerStep::Rearm};
    }
}

SpoolWatcher::SpoolWatcher() : state_(std::make_unique<State>()) {
}

SpoolWatcher::~SpoolWatcher() {
    stop();
}

WatchStartResult SpoolWatcher::start(const std::string& folder, void* window, unsigned message) {
    stop();
    State& s = *state_;
    s.notifyFilter = kNotifyFilter;
    s.folder = folder;
    s.window = static_cast<HWND>(window);
    s.message = message;
    s.overlapped = {};
    s.completedOverlapped = &s.overlapped;

    if (!s.openFolder())
        return {false, true, systemErrorText(GetLastError())};
    if (!s.bindPort() || !s.armRead())
        return s.abandon(GetLastError());

    s.worker = WatchThread::create(s);
    if (!s.worker)
        return s.abandon(GetLastError());
    s.worker->start();
    return {true, false, {}};
}

const unsigned char* SpoolWatcher::buffer() const {
    return state_->buffer;
}

bool SpoolWatcher::running() const {
    return state_->worker != nullptr;
}

const std::string& SpoolWatcher::folder() const {
    return state_->folder;
}

void SpoolWatcher::stop() {
    State& s = *state_;
    if (!s.worker)
        return;
    PostQueuedCompletionStatus(s.port.get(), 0, 0, nullptr);
    waitServingSentMessages(s.worker->handle());
    s.worker.reset();
    s.closeHandles();
}

} // namespace quorva
