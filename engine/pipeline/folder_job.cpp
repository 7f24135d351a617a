#include "pipeline/folder_job.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/progress.h"
#include "core/trace.h"

const char* const kImageExtensions =
    "$BMP$GIF$ICO$JPG$JPEG$PBM$PCD$PGM$PCT$PICT$PIC$PNG$PPM$PSD$TIF$TIFF$XBM$XPM$";

namespace {

namespace fs = std::filesystem;

sjisString withSeparator(const sjisString& folder) {
    sjisString s(folder);
    if (!s.empty() && s.lastByte() != '/') s.append('/');
    return s;
}

// The names of the candidate sheets in folder, sorted by bytes; false when it cannot be listed.
bool listSheets(const sjisString& folder, std::vector<std::string>& names) {
    std::error_code ec;
    const fs::path dir(folder.empty() ? "." : folder.c_str());
    fs::directory_iterator it(dir, ec);
    if (ec) return false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return false;
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;  // directories, devices, pipes
        if (!hasImageExtension(sjisString(name.c_str()))) continue;
        names.push_back(name);
    }
    if (ec) return false;
    std::sort(names.begin(), names.end());
    return true;
}

}  // namespace

bool hasImageExtension(const sjisString& fileName) {
    sjisString key("$");
    key.append(fileName.extension());
    key.append('$');
    key.toUpper();
    return std::strstr(kImageExtensions, key.c_str()) != nullptr;
}

FolderJobReport runFolderJob(const sjisString& sourceFolder, const sjisString& destinationFolder,
                             const LayoOptions& options, const LayoStages& stages) {
    FolderJobReport report;
    const sjisString src = withSeparator(sourceFolder);
    const sjisString dst = withSeparator(destinationFolder);

    std::vector<std::string> names;
    if (!listSheets(src, names)) {
        report.result = kFolderUnreadable;
    } else {
        for (const std::string& name : names) {
            const sjisString inputPath = src + sjisString(name.c_str());
            const sjisString outputPath = dst + sjisString(name.c_str());
            const LayoOptions sheetOptions = options;
            report.result = runLayo(inputPath.c_str(), outputPath.c_str(), sheetOptions, stages);
            if (report.result == kLayoStopped) break;
            if (report.result != kLayoDone) {
                report.failedFile = sjisString(name.c_str());
                trace("Error: LAYO() reported error. rc=%d\n", report.result);
                setStatusText("エラーが発生しました。処理を中断します。");
                break;
            }
            ++report.count;
        }
    }

    if (report.result == kLayoStopped || report.result == kFolderUnreadable) {
        setStatusText("中止しました。");
    } else if (report.result == kLayoDone) {
        setStatusText("%d 画像を処理しました。", report.count);
    }
    setJobRunning(false);
    clearStopRequest();
    return report;
}
