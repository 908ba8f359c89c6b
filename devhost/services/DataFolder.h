// The stand-in host's files. All of its state lives in one data folder (the
// program's --data DIR): small JSON files that are replaced as a whole and
// log files that only grow. This header has the file operations they need:
//
// - reading a whole file as UTF-8 text;
// - replacing a file atomically: the new content goes to a uniquely named
//   temporary file beside the target, is flushed to disk and then moved over
//   the target in one step, so a crash at any moment leaves either the old or
//   the new complete file, never a mixture or a truncated one;
// - appending one UTF-8 line to a log file, which is opened for appending per
//   line and shared for reading and writing, so readers can follow it.
//
// A temporary file is named "<target>~<process id>-<sequence>.tmp". When a
// writer is killed between creating and moving it, the file stays behind;
// nothing ever reads it, and DataFolder::Prepare removes those whose writing
// process no longer runs.
//
// Errors are HRESULTs (HRESULT_FROM_WIN32 of the system error); nothing here
// throws except std::bad_alloc from building strings.
#pragma once

#include <windows.h>

#include <string>

namespace devhost {

// UTF-8 <-> UTF-16 for the stand-in's files. Ill-formed input is replaced
// (U+FFFD), never refused.
std::wstring Utf8ToWide(const std::string& bytes);
std::string WideToUtf8(const std::wstring& text);

// Reads the whole file at path as UTF-8; a leading byte-order mark is
// dropped. HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) (or PATH_NOT_FOUND) when
// it does not exist. The file is opened with every sharing mode, so reading
// never stands in the way of a writer replacing it.
[[nodiscard]] HRESULT ReadUtf8File(const std::wstring& path, std::wstring& text);

// Replaces (or creates) the file at path with bytes, atomically (see above).
// On failure the temporary file is deleted and the old file is left as it
// was. The folder must exist.
[[nodiscard]] HRESULT WriteFileAtomically(const std::wstring& path, const std::string& bytes);

// Appends line as UTF-8, followed by CR LF, to the file at path (created when
// missing), in one write.
[[nodiscard]] HRESULT AppendUtf8Line(const std::wstring& path, const std::wstring& line);

// Creates the folder and every missing folder above it.
[[nodiscard]] HRESULT CreateFolderTree(const std::wstring& path);

// Deletes the temporary files in folder (not below it) whose writing process
// has ended. Files of running processes and every other file stay. Returns
// how many were deleted.
int RemoveStaleTempFiles(const std::wstring& folder);

// The data folder: a full path (made absolute when constructed, without a
// trailing backslash) and the file operations above relative to it. A plain
// value; copies name the same folder.
class DataFolder {
public:
    explicit DataFolder(const std::wstring& folder);

    // Creates the folder when missing and removes stale temporary files.
    [[nodiscard]] HRESULT Prepare() const;

    const std::wstring& Path() const noexcept { return path_; }
    // The full path of a file or folder given relative to the data folder.
    std::wstring PathOf(const std::wstring& relative) const;

    [[nodiscard]] HRESULT ReadText(const std::wstring& name, std::wstring& text) const;
    [[nodiscard]] HRESULT WriteText(const std::wstring& name, const std::wstring& text) const;
    [[nodiscard]] HRESULT AppendLine(const std::wstring& name, const std::wstring& line) const;

private:
    std::wstring path_;
};

}  // namespace devhost
