#include "collect/OrderWriter.h"

#include "platform/Files.h"

#include <cerrno>

namespace turnpost {

namespace {

std::string Unfit(const std::string& path, int error)
{
    if (error == ELOOP)
        return path + " is a symbolic link; only a regular file is written";
    if (error == NotRegularFileError)
        return path + " is not a regular file";
    return path + " cannot be read (" + FileErrorText(error) + ")";
}

/// Why the place at path cannot take a regular file; empty when it can: nothing is there, or a regular
/// file, whose bytes then go to existing (when given).
std::string CheckPlace(const std::string& path, bool& present, std::string* existing)
{
    int error = 0;
    std::string bytes;
    present = ReadWholeFile(path, bytes, &error, Links::Refuse);
    if (!present)
        return error == ENOENT ? std::string() : Unfit(path, error);
    if (existing)
        *existing = std::move(bytes);
    return {};
}

std::string WriteFailure(const std::string& path, const WriteResult& result)
{
    if (result.Status == WriteResult::OpenFailed)
        return path + " cannot be written (" + FileErrorText(result.Error) + ")";
    return WriteErrorMessage(result.Error, path);
}

} // namespace

std::string PreviousOrderPath(const std::string& path)
{
    return path + ".previous";
}

OrderWrite WriteOrderFile(const std::string& path, std::string_view bytes)
{
    OrderWrite outcome;
    std::string existing;
    bool present = false;
    if (std::string why = CheckPlace(path, present, &existing); !why.empty()) {
        outcome.Error = std::move(why);
        return outcome;
    }
    if (present) {
        if (existing == bytes) {
            outcome.Ok = true;
            return outcome;
        }
        const std::string previous = PreviousOrderPath(path);
        bool previousPresent = false;
        if (std::string why = CheckPlace(previous, previousPresent, nullptr); !why.empty()) {
            outcome.Error = std::move(why);
            return outcome;
        }
        const WriteResult kept = WriteFileAtomically(previous, existing);
        if (!kept.Ok()) {
            outcome.Error = WriteFailure(previous, kept);
            return outcome;
        }
        outcome.KeptPrevious = true;
    }
    const WriteResult written = WriteFileAtomically(path, bytes);
    if (!written.Ok()) {
        outcome.Error = WriteFailure(path, written);
        return outcome;
    }
    outcome.Ok = true;
    return outcome;
}

} // namespace turnpost
