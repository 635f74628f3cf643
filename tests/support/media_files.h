// What the end-to-end programs ask of the files a player run made, and of its log: what ffprobe
// tells of a media file, the files of a recording that the terminal split, and the last
// match of a pattern in a log.
#ifndef KORU_TESTS_SUPPORT_MEDIA_FILES_H
#define KORU_TESTS_SUPPORT_MEDIA_FILES_H

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace koru::test {

// What ffprobe tells of a media file's entries (e.g. "format=duration"), or empty.
inline QString Probe(const std::filesystem::path& file, const QString& entries) {
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", entries, "-of", "csv=p=0",
                            QString::fromStdString(file.string())});
    if (!probe.waitForFinished(20000) || probe.exitCode() != 0) return {};
    return QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
}

// A media file's duration in seconds by ffprobe, or -1.
inline double Duration(const std::filesystem::path& file) {
    bool ok = false;
    const double seconds = Probe(file, "format=duration").toDouble(&ok);
    return ok ? seconds : -1;
}

// A recording's files: the one named, then "<base>-1.ts" ... when the terminal split it.
inline std::vector<std::filesystem::path> RecordingFiles(const std::string& path) {
    std::vector<std::filesystem::path> files = {path};
    if (path.size() > 3 && path.compare(path.size() - 3, 3, ".ts") == 0) {
        const std::string base = path.substr(0, path.size() - 3);
        for (int n = 1; std::filesystem::exists(base + "-" + std::to_string(n) + ".ts"); ++n)
            files.emplace_back(base + "-" + std::to_string(n) + ".ts");
    }
    return files;
}

// The duration of all the files, printing each; -1 when one cannot be read.
inline double TotalDuration(const std::vector<std::filesystem::path>& files) {
    double total = 0;
    for (const auto& file : files) {
        // A file cut before its first second reached the disk holds nothing.
        std::error_code error;
        if (std::filesystem::file_size(file, error) == 0) continue;
        const double seconds = Duration(file);
        std::printf("  %s: %.2f s\n", file.filename().c_str(), seconds);
        if (seconds < 0) return -1;
        total += seconds;
    }
    return total;
}

// The last match of pattern's first group in text, or empty.
inline std::string LastMatch(const std::string& text, const QString& pattern) {
    QString found;
    auto matches = QRegularExpression(pattern).globalMatch(QString::fromStdString(text));
    while (matches.hasNext())
        found = matches.next().captured(1);
    return found.toStdString();
}

}  // namespace koru::test

#endif
