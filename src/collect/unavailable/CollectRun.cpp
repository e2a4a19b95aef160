#include "collect/CollectRun.h"

namespace turnpost {

// A build without the mailbox libraries: the command is refused as a failed collection, so that each
// caller reports it the way it reports any other.
CollectOutcome OnCollect(GameDocument&, IUserInterface&)
{
    CollectOutcome outcome;
    outcome.Error = "collecting orders is not available in this build";
    return outcome;
}

} // namespace turnpost
