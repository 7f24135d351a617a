#include "ui/startup.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/arrays.h"
#include "core/heap_reuse.h"
#include "pipeline/image_io.h"

void useUtf8Locale() {
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || std::strcmp(codeset, "UTF-8") != 0) std::setlocale(LC_ALL, "C.UTF-8");
}

void prepareProcess(AppSettings& settings) {
    useUtf8Locale();
    setArrayErrorFunction(nullptr);
    keepFreedSheetMemory();
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    settings.iniPath = iniPathIn(ec ? std::string() : cwd.string());
    initImageIo();
}
