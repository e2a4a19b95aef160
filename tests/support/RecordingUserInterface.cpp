#include "support/RecordingUserInterface.h"

namespace turnpost::test {

class RecordingProgressWindow : public IProgressWindow
{
public:
    RecordingProgressWindow(RecordingUserInterface& ui, std::size_t index) : m_Ui(ui), m_Index(index) {}

    void SetRange(int upperBound, int step) override
    {
        Record().UpperBound = upperBound;
        m_Step = step;
    }
    void SetText(const std::string& text) override { Record().Texts.push_back(text); }
    int StepIt() override { return SetPos(Record().Position + m_Step); }
    int SetPos(int position) override
    {
        const int old = Record().Position;
        Record().Position = position;
        return old;
    }
    void PumpMessages() override
    {
        if (m_Cancelled)
            return;
        ++Record().Pumps;
        if (m_Ui.CancelAtPump != 0 && ++m_Ui.m_TotalPumps == m_Ui.CancelAtPump)
            m_Cancelled = true;
    }
    void PumpFor(int milliseconds) override { Record().Pauses.push_back(milliseconds); }
    bool IsCancelled() const override { return m_Cancelled; }
    void ShowResult(const std::string& line) override
    {
        if (m_Ui.OnResult)
            m_Ui.OnResult(line);
    }

private:
    RecordingUserInterface::ProgressRecord& Record() { return m_Ui.Progress[m_Index]; }
    RecordingUserInterface& m_Ui;
    std::size_t m_Index;
    int m_Step = 1;
    bool m_Cancelled = false;
};

MessageAnswer RecordingUserInterface::MessageBox(const std::string& text, const std::string& caption,
                                                 MessageButtons buttons, MessageIcon icon)
{
    Messages.push_back({text, caption, buttons, icon});
    if (!Answers.empty()) {
        const MessageAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

std::optional<std::string> RecordingUserInterface::OpenFileDialog(const std::string& filter,
                                                                  const std::string& defaultExt)
{
    FileDialogs.push_back("open " + filter + " " + defaultExt);
    if (FileChoices.empty())
        return std::nullopt;
    auto choice = FileChoices.front();
    FileChoices.pop_front();
    return choice;
}

std::optional<std::string> RecordingUserInterface::SaveFileDialog(const std::string& filter,
                                                                  const std::string& defaultExt)
{
    FileDialogs.push_back("save " + filter + " " + defaultExt);
    if (FileChoices.empty())
        return std::nullopt;
    auto choice = FileChoices.front();
    FileChoices.pop_front();
    return choice;
}

std::unique_ptr<IProgressWindow> RecordingUserInterface::CreateProgressWindow(const std::string& title)
{
    Progress.push_back({});
    Progress.back().Title = title;
    return std::make_unique<RecordingProgressWindow>(*this, Progress.size() - 1);
}

std::optional<std::string> RecordingUserInterface::AskPassword(const std::string& account)
{
    PasswordAccounts.push_back(account);
    if (Passwords.empty())
        return std::nullopt;
    auto password = Passwords.front();
    Passwords.pop_front();
    return password;
}

bool RecordingUserInterface::ApprovePasswordCommand(const std::string& command, const std::string& setupPath,
                                                    const SecretDestination& to)
{
    CommandQuestions.push_back(command + "|" + setupPath);
    CommandDestinations.push_back(to);
    if (CommandApprovals.empty())
        return false;
    const bool answer = CommandApprovals.front();
    CommandApprovals.pop_front();
    return answer;
}

void RecordingUserInterface::GatherRows()
{
    ++GatherCount;
    if (!m_Document)
        return;
    for (int i = 0; i < PlayerCount; ++i) {
        auto& slot = m_Document->Setup.Players[i];
        (m_Document->DisplayMode == 1 ? slot.PlayerFile : slot.EmailAddress) = RowTexts[i];
        slot.Selected = RowChecks[i];
    }
}

void RecordingUserInterface::FillRows()
{
    ++FillCount;
    if (!m_Document)
        return;
    for (int i = 0; i < PlayerCount; ++i) {
        const auto& slot = m_Document->Setup.Players[i];
        RowTexts[i] = m_Document->DisplayMode == 1 ? slot.PlayerFile : slot.EmailAddress;
        RowChecks[i] = slot.Selected;
    }
}

} // namespace turnpost::test
