#include "printers/printer_list.h"

#include "platform/error.h"
#include "platform/system_error.h"

#include <windows.h>
#include <winspool.h>

namespace quorva {

std::vector<std::string> systemPrinterNames() {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    // The list may grow between the size query and the read: ask again.
    while (!EnumPrintersA(flags, nullptr, 4, buffer.data(), static_cast<DWORD>(buffer.size()),
                          &needed, &count)) {
        const DWORD code = GetLastError();
        if (code != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size())
            throw Error(systemErrorText(code));
        buffer.resize(needed);
    }
    std::vector<std::string> names;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        names.emplace_back(printers[i].pPrinterName != nullptr ? printers[i].pPrinterName : "");
    return names;
}

} // namespace quorva
