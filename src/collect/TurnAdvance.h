#pragma once

#include "setup/GameSetup.h"

#include <chrono>
#include <string>
#include <vector>

namespace turnpost {

class IUserInterface;

/// What an advance of the turn came to.
struct AdvanceOutcome
{
    enum class Result
    {
        Advanced, ///< the turn was generated and the new turns went out
        Waiting,  ///< orders are awaited and the deadline has not passed: nothing was generated
        Failed,   ///< a step failed; Error says which and why
    };
    Result result = Result::Failed;
    /// What each step did, in order, one line each.
    std::vector<std::string> Lines;
    std::string Error;
    /// Why the host could not be told of the failure by mail; empty when he was, or no report
    /// address is set.
    std::string NoticeError;
};

/// The turn's whole end in one command, each step only after the one before went through: collect the
/// orders (when the setup names a mailbox), check that the turn is done (all orders in or the deadline
/// passed), back up and generate it with the approved GenerateCommand, check that the host file moved
/// on, then send the new turns. A step that fails stops the chain, and the host is mailed the lines at
/// the report address when one is set.
AdvanceOutcome OnAdvance(GameDocument& document, IUserInterface& ui, std::chrono::sys_seconds now);

} // namespace turnpost
