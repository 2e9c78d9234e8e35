#include "card/card_print.h"

#include "card/card_drawing.h"
#include "platform/error.h"
#include "platform/system_error.h"
#include "platform/unique_handle_win.h"
#include "ui/gdi.h"

#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace quorva {

namespace {

const char* const kNoDefaultPrinter = "Aucune imprimante par défaut sélectionnée";
const char* const kUnsupported = "Opération non supportée par l'imprimante sélectionnée";
const char* const kBadPrinter = "Imprimante sélectionnée incorrecte";
const char* const kIndexOutOfRange = "Indice imprimante hors limites";
const char* const kPrintFailed = "Échec de l'impression";

// A spooler step failed: the job did not reach the printer. The system's code says little (Wine
// leaves an unrelated one), so the text is ours.
[[noreturn]] void throwPrintFailure() {
    throw Error(kPrintFailed);
}

bool sameName(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
           CSTR_EQUAL;
}

using PrinterHandle = BasicUniqueHandle<ClosePrinter>;

// The printer opened for its driver's settings; empty when it cannot be.
PrinterHandle openPrinter(const std::string& name) {
    std::string copy = name;
    HANDLE handle = nullptr;
    return PrinterHandle(OpenPrinterA(copy.data(), &handle, nullptr) ? handle : nullptr);
}

class LockedSettings {
public:
    explicit LockedSettings(HGLOBAL block)
        : block_(block), devmode_(static_cast<DEVMODEA*>(GlobalLock(block))) {}
    ~LockedSettings() {
        if (devmode_ != nullptr)
            GlobalUnlock(block_);
    }
    LockedSettings(const LockedSettings&) = delete;
    LockedSettings& operator=(const LockedSettings&) = delete;
    DEVMODEA* get() const { return devmode_; }

private:
    HGLOBAL block_;
    DEVMODEA* devmode_;
};

class PrinterDc : public OwnedDc {
public:
    PrinterDc(const std::string& device, const DEVMODEA* settings)
        : OwnedDc(CreateDCA(nullptr, device.c_str(), nullptr, settings)) {}
};

// A started print job, abandoned unless it was ended.
class PrintJob {
public:
    explicit PrintJob(HDC dc) : dc_(dc) {
        DOCINFOA document{};
        document.cbSize = sizeof document;
        document.lpszDocName = "";
        if (StartDocA(dc_, &document) <= 0)
            throwPrintFailure();
    }
    ~PrintJob() {
        if (dc_ != nullptr)
            AbortDoc(dc_);
    }
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    void end() {
        const int result = EndDoc(std::exchange(dc_, nullptr));
        if (result <= 0)
            throwPrintFailure();
    }

private:
    HDC dc_;
};

// While the spooler takes the page, the window goes on handling its messages.
BOOL CALLBACK pumpPendingMessages(HDC, int) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return TRUE;
}

std::string defaultPrinterName() {
    DWORD size = 0;
    GetDefaultPrinterA(nullptr, &size);
    if (size == 0)
        throw Error(kNoDefaultPrinter);
    std::string name(size, '\0');
    if (!GetDefaultPrinterA(name.data(), &size))
        throw Error(kNoDefaultPrinter);
    name.resize(std::strlen(name.c_str()));
    return name;
}

} // namespace

CardPrinter::GlobalBlock CardPrinter::settingsFromDriver(const std::string& printer) {
    const PrinterHandle handle = openPrinter(printer);
    if (!handle)
        return nullptr;
    std::string device = printer;
    const LONG size =
        DocumentPropertiesA(nullptr, handle.get(), device.data(), nullptr, nullptr, 0);
    if (size < static_cast<LONG>(sizeof(DEVMODEA)))
        return nullptr;
    GlobalBlock block(GlobalAlloc(GHND, static_cast<SIZE_T>(size)));
    if (!block)
        return nullptr;
    LockedSettings settings(block.get());
    if (settings.get() == nullptr ||
        DocumentPropertiesA(nullptr, handle.get(), device.data(), settings.get(), nullptr,
                            DM_OUT_BUFFER) != IDOK)
        return nullptr;
    return block;
}

void CardPrinter::startOnDefaultPrinter() {
    if (!current_.empty())
        return;
    current_ = defaultPrinterName();
    settings_ = settingsFromDriver(current_);
}

void CardPrinter::selectPrinterByIndex(int index) {
    startOnDefaultPrinter();
    const std::vector<std::string> printers = systemPrinterNames();
    if (index < 0 || static_cast<size_t>(index) >= printers.size())
        throw Error(kIndexOutOfRange);
    current_ = printers[static_cast<size_t>(index)];
    if (!settings_)
        return;
    LockedSettings settings(settings_.get());
    if (settings.get() == nullptr)
        return;
    // dmDeviceName holds 31 characters and the terminating zero: a longer name is cut.
    auto& device = settings.get()->dmDeviceName;
    const size_t length = std::min(current_.size(), sizeof device - 1);
    std::memset(device, 0, sizeof device);
    std::memcpy(device, current_.data(), length);
}

std::string CardPrinter::settingsDeviceName() const {
    if (!settings_)
        return {};
    LockedSettings settings(settings_.get());
    if (settings.get() == nullptr)
        return {};
    const auto* device = reinterpret_cast<const char*>(settings.get()->dmDeviceName);
    return std::string(device, std::find(device, device + CCHDEVICENAME, '\0'));
}

void CardPrinter::setLandscape() {
    if (!settings_)
        settings_ = settingsFromDriver(current_);
    LockedSettings settings(settings_.get());
    if (settings.get() == nullptr)
        throw Error(kUnsupported);
    settings.get()->dmOrientation = DMORIENT_LANDSCAPE;
    settings.get()->dmFields |= DM_ORIENTATION;
}

void CardPrinter::printPage(const CardLabels& labels, HBITMAP picture) {
    LockedSettings settings(settings_.get());
    PrinterDc dc(current_, settings.get());
    if (dc.get() == nullptr)
        throw Error(kBadPrinter);
    SetAbortProc(dc.get(), pumpPendingMessages);
    PrintJob job(dc.get());
    if (StartPage(dc.get()) <= 0)
        throwPrintFailure();
    drawCard(dc.get(), {0, 0, GetDeviceCaps(dc.get(), HORZRES), GetDeviceCaps(dc.get(), VERTRES)},
             picture, labels);
    if (EndPage(dc.get()) <= 0)
        throwPrintFailure();
    job.end();
}

void CardPrinter::print(const std::string& cardPrinterName, const CardLabels& labels,
                        HBITMAP picture) {
    if (cardPrinterName.empty())
        return;
    startOnDefaultPrinter();
    const std::vector<std::string> printers = systemPrinterNames();
    const auto found = std::find_if(printers.begin(), printers.end(), [&](const std::string& name) {
        return sameName(name, cardPrinterName);
    });
    if (found != printers.end())
        selectPrinterByIndex(static_cast<int>(found - printers.begin()));
    setLandscape();
    printPage(labels, picture);
}

} // namespace quorva
