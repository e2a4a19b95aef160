#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace turnpost::test {

TempDir::TempDir()
{
    // A name nobody holds, taken by making it: creation fails when the folder is there already.
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    std::random_device entropy;
    std::mt19937_64 random(entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path path = temp / ("turnpost-test-" + std::to_string(random() % 1000000000));
        std::error_code error;
        if (std::filesystem::create_directory(path, error)) {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
            m_Path = path.string();
            return;
        }
        if (error && error != std::errc::file_exists)
            break;
    }
    throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_Path, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string RandomBytes(std::size_t size, unsigned variant)
{
    std::mt19937 random(variant);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xff);
    return bytes;
}

} // namespace turnpost::test
