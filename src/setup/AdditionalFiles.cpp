#include "setup/AdditionalFiles.h"

namespace turnpost {

std::vector<std::string> AdditionalFileList(const GameSetup& setup)
{
    std::vector<std::string> files;
    const std::string& text = setup.AdditionalFiles;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (end > at)
            files.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return files;
}

bool SetAdditionalFileList(GameSetup& setup, const std::vector<std::string>& files, std::string& error)
{
    std::string text;
    for (const std::string& file : files) {
        if (file.find_first_of("\r\n") != std::string::npos) {
            error =
                "a file name with a line break cannot be kept: " + file.substr(0, file.find_first_of("\r\n"));
            return false;
        }
        if (file.empty())
            continue;
        text += (text.empty() ? "" : "\n") + file;
    }
    setup.AdditionalFiles = std::move(text);
    return true;
}

std::string AdditionalFileForPlayer(const std::string& path, int playerNumber)
{
    std::string expanded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 1 < path.size() && path[i + 1] == 'P') {
            expanded += std::to_string(playerNumber);
            ++i;
        } else {
            expanded += path[i];
        }
    }
    return expanded;
}

std::vector<std::string> AdditionalFilesForPlayer(const GameSetup& setup, int playerNumber)
{
    std::vector<std::string> files;
    if (!setup.SendAdditionalFiles)
        return files;
    for (const std::string& path : AdditionalFileList(setup))
        files.push_back(AdditionalFileForPlayer(path, playerNumber));
    return files;
}

} // namespace turnpost
