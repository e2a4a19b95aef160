#include "platform/UserFolders.h"

namespace turnpost {

std::string FollowLinks(const std::string& path)
{
    std::string followed = path;
    int error = 0;
    return FollowLinks(followed, error) ? followed : path;
}

} // namespace turnpost
