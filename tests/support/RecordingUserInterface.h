#pragma once

#include "platform/UserInterface.h"
#include "setup/GameSetup.h"

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace turnpost::test {

/// A user interface run by a script: answers queued by the test, every message and caption recorded.
/// It is its own view and keeps sixteen row texts and checks like the main window, so row handling can
/// be tested without Qt; a main window given it as its services puts its own view in place.
class RecordingUserInterface : public IUserInterface, public IDocumentView
{
public:
    explicit RecordingUserInterface(GameDocument* document = nullptr) : m_Document(document)
    {
        AttachView(this);
    }

    struct Message
    {
        std::string Text;
        std::string Caption;
        MessageButtons Buttons;
        MessageIcon Icon;
    };

    // Scripted answers, taken in order. With none queued a message box answers Ok (or Cancel for
    // Yes/No/Cancel) and a file dialog is cancelled.
    std::deque<MessageAnswer> Answers;
    std::deque<std::optional<std::string>> FileChoices;
    std::deque<std::optional<std::string>> Passwords;
    std::vector<std::string> PasswordAccounts; ///< the account of every password request
    /// Answers to "may this password command run?", taken in order; no when none is queued. Every
    /// question is kept as "COMMAND|FILE".
    std::deque<bool> CommandApprovals;
    std::vector<std::string> CommandQuestions;
    std::vector<SecretDestination> CommandDestinations; ///< where each asked-for secret would go

    std::vector<Message> Messages;
    std::vector<std::string> Captions;
    std::vector<std::string> Summaries;
    std::vector<std::string> FileDialogs; ///< "open FILTER EXT" or "save FILTER EXT"
    int HelpShown = 0;
    int GatherCount = 0;
    int FillCount = 0;
    int ShowStateCount = 0;
    std::vector<bool> BusyChanges;

    /// The window's rows.
    std::array<std::string, PlayerCount> RowTexts{};
    std::array<std::int32_t, PlayerCount> RowChecks{};

    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override;
    std::optional<std::string> OpenFileDialog(const std::string& filter,
                                              const std::string& defaultExt) override;
    std::optional<std::string> SaveFileDialog(const std::string& filter,
                                              const std::string& defaultExt) override;
    void ShowHelp() override { ++HelpShown; }
    std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& title) override;
    void ShowSummary(const std::string& text) override { Summaries.push_back(text); }
    std::optional<std::string> AskPassword(const std::string& account) override;
    bool ApprovePasswordCommand(const std::string& command, const std::string& setupPath,
                                const SecretDestination& to) override;
    void ForgetPassword(const std::string& account) override { ForgottenPasswords.push_back(account); }
    std::vector<std::string> ForgottenPasswords;
    void GatherRows() override;
    void FillRows() override;
    void ShowState() override { ++ShowStateCount; }
    /// Kept as the title the main window would show.
    void ShowFilePath(const std::string& path) override { Captions.push_back("Turnpost - " + path); }
    void SetBusy(bool busy) override { BusyChanges.push_back(busy); }

    /// Progress windows made so far, with what they were told.
    struct ProgressRecord
    {
        std::string Title;
        std::vector<std::string> Texts;
        int Position = 0;
        int UpperBound = 100;
        int Pumps = 0;
        std::vector<int> Pauses;
    };
    std::vector<ProgressRecord> Progress;
    /// Cancel the progress window at its n-th pump (1-based), counted over all windows; 0 never.
    int CancelAtPump = 0;
    /// Called with each result line a progress window shows, so a test can act between players.
    std::function<void(const std::string&)> OnResult;

private:
    GameDocument* m_Document;
    int m_TotalPumps = 0;
    friend class RecordingProgressWindow;
};

} // namespace turnpost::test
