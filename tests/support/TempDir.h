#pragma once

#include <cstddef>
#include <string>

namespace turnpost::test {

/// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_Path; }
    /// The path of a name inside the folder.
    std::string File(const std::string& name) const { return m_Path + "/" + name; }
    /// Writes bytes to a file in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_Path;
};

/// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

/// Bytes of every value, the same for the same variant: file contents that no encoder can take lightly.
std::string RandomBytes(std::size_t size, unsigned variant);

} // namespace turnpost::test
