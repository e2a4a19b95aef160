#pragma once

#include <string>
#include <string_view>

namespace turnpost {

/// A file that is only ever added to (O_APPEND): what is there stays, whatever happens to this run.
/// Each Append is one write of whole records, so a record written by a run that is killed afterwards
/// is kept; Sync puts everything on disk.
class CAppendOnlyFile
{
public:
    CAppendOnlyFile() = default;
    ~CAppendOnlyFile();
    CAppendOnlyFile(const CAppendOnlyFile&) = delete;
    CAppendOnlyFile& operator=(const CAppendOnlyFile&) = delete;

    /// Opens or creates the file. False with the errno in Error() when it cannot be had. A file whose
    /// last line was cut short (no LF at its end) gets an LF first, so the next record starts a line.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_Fd >= 0; }
    bool Append(std::string_view data);
    /// fsync: the records are on disk when it returns true.
    bool Sync();
    /// The errno of the last failure.
    int Error() const { return m_Error; }

private:
    int m_Fd = -1;
    int m_Error = 0;
};

} // namespace turnpost
