#pragma once

// Printers for the printing tests under Wine (Windows tests only). With no CUPS, Wine lists no
// printer: a suite installs its own, on Wine's PostScript driver with the generic printer
// description that Wine carries. Each printer's port is a shell pipeline that turns the job into
// a PDF, renders that (PPM) and extracts its text, so that a test reads what the page shows. The
// spooler's EndDoc waits for the pipeline, so the files are complete once the print returns.

#include "card/jpeg_image.h"

#include <windows.h>

#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quorva::testkit {

// The resolution at which the ports render the pages.
inline constexpr int kRenderDpi = 50;

inline bool underWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

inline std::string printerDriverDirectory() {
    char directory[MAX_PATH] = {};
    DWORD size = sizeof directory;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(directory), size,
                               &size);
    return directory;
}

// The path where a driver of version 3 finds a printer description file of that name.
inline std::string driverFilePath(const std::string& name) {
    return printerDriverDirectory() + "\\3\\" + name;
}

// Wine keeps a generic PostScript printer description in its spooler library.
inline void writeGenericPpd(const std::string& path) {
    HMODULE spooler = GetModuleHandleA("winspool.drv");
    HRSRC found = FindResourceA(spooler, MAKEINTRESOURCEA(1), "PPDFILE");
    ASSERT_NE(found, nullptr);
    const void* data = LockResource(LoadResource(spooler, found));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(data, 1, SizeofResource(spooler, found), file);
    std::fclose(file);
}

// A driver on wineps.drv with the printer description `ppd` (a file name in the driver
// directory; a missing one gives a driver that cannot print).
inline void addPostScriptDriver(const char* name, const char* ppd) {
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<char*>(name);
    driver.pDriverPath = const_cast<char*>("wineps.drv");
    driver.pDataFile = const_cast<char*>(ppd);
    driver.pConfigFile = const_cast<char*>("wineps.drv");
    ASSERT_TRUE(AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&driver))) << GetLastError();
}

inline void deletePrinterDriver(const char* name) {
    DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(name));
}

inline void addPrinter(const std::string& name, const std::string& port, const char* driver) {
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(name.c_str());
    info.pPortName = const_cast<char*>(port.c_str());
    info.pDriverName = const_cast<char*>(driver);
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    ASSERT_NE(printer, nullptr) << name << ": " << GetLastError();
    ClosePrinter(printer);
}

inline void deletePrinter(const std::string& name) {
    HANDLE printer = nullptr;
    std::string copy = name;
    if (OpenPrinterA(copy.data(), &printer, nullptr)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
}

inline std::string defaultPrinter() {
    char name[512] = {};
    DWORD size = sizeof name;
    return GetDefaultPrinterA(name, &size) ? name : "";
}

// Leaves the system without a default printer.
inline void removeDefaultPrinter() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                      0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Device");
        RegCloseKey(key);
    }
}

inline std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// What one printer's port produced for the last job: <base>.pdf, .ppm (the first page) and
// .txt (the text of every page, each followed by a form feed).
struct PrinterOutput {
    std::string unixBase; // for the pipeline
    std::string base;     // for this process

    std::string port() const {
        const std::string pdf = unixBase + ".pdf";
        return "|ps2pdf - " + pdf + " && pdftoppm -r " + std::to_string(kRenderDpi) +
               " -singlefile " + pdf + " " + unixBase + " && pdftotext " + pdf + " " + unixBase +
               ".txt";
    }
    void clear() const {
        for (const char* extension : {".pdf", ".ppm", ".txt"})
            DeleteFileA((base + extension).c_str());
    }
    bool printed() const {
        return GetFileAttributesA((base + ".pdf").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::string text() const {
        const auto bytes = fileBytes(base + ".txt");
        return std::string(bytes.begin(), bytes.end());
    }
    size_t pdfSize() const { return fileBytes(base + ".pdf").size(); }
    // The rendered first page (binary PPM: "P6", width, height, 255, then RGB rows from the
    // top); empty when there is none.
    RgbImage page() const {
        const auto bytes = fileBytes(base + ".ppm");
        RgbImage image;
        int maxValue = 0;
        int consumed = 0;
        const std::string header(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 64));
        if (std::sscanf(header.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxValue,
                        &consumed) != 3 ||
            maxValue != 255)
            return {};
        const size_t start = size_t(consumed) + 1; // one whitespace byte ends the header
        const size_t size = size_t(image.width) * size_t(image.height) * 3;
        if (bytes.size() < start + size)
            return {};
        image.pixels.assign(bytes.begin() + std::ptrdiff_t(start),
                            bytes.begin() + std::ptrdiff_t(start + size));
        return image;
    }
};

// A folder of this process for the ports' files, seen from Linux and from Wine, and the output
// of a printer in it.
class printerOutputFolder {
public:
    explicit printerOutputFolder(const std::string& tag)
        : unix_("/tmp/" + tag + "-" + std::to_string(GetCurrentProcessId())),
          windows_("Z:" + windowsPath(unix_)) {}
    void create() const { CreateDirectoryA(windows_.c_str(), nullptr); }
    void remove() const { RemoveDirectoryA(windows_.c_str()); }

    PrinterOutput output(const std::string& printer) const {
        std::string file = printer;
        for (char& c : file)
            if (c == ' ')
                c = '-';
        return {unix_ + "/" + file, windows_ + "\\" + file};
    }

private:
    static std::string windowsPath(std::string path) {
        for (char& c : path)
            if (c == '/')
                c = '\\';
        return path;
    }

    std::string unix_;
    std::string windows_;
};

} // namespace quorva::testkit
