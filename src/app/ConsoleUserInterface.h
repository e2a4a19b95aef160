#pragma once

#include "platform/UserInterface.h"
#include "send/SendRun.h"

#include <iosfwd>

namespace turnpost {

/// The user-interface services of a run without a window. Messages go to standard error as one line
/// each, beginning with the application title; no question is ever asked.
class CConsoleUserInterface : public IUserInterface
{
public:
    CConsoleUserInterface();
    /// For tests: where messages and progress go, and whether that counts as a terminal.
    CConsoleUserInterface(std::ostream& err, std::ostream& out, bool terminal);

    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override;
    std::optional<std::string> OpenFileDialog(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> SaveFileDialog(const std::string&, const std::string&) override { return {}; }
    std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& title) override;
    void ShowSummary(const std::string& text) override;
    std::optional<std::string> AskPassword(const std::string&) override { return std::nullopt; }

    /// After a run: the summary on standard output when the setup asks for it (and printSummary
    /// allows), and on standard error what went wrong with the report and the ledger.
    void ReportOutcome(const GameDocument& document, const SendOutcome& outcome, bool printSummary = true);

    /// Ctrl+C, SIGTERM and SIGHUP cancel the run at the next player; a second one ends the program at
    /// once.
    static void InstallInterruptHandler();
    /// How many interrupts have arrived so far.
    static int InterruptCount();
    /// For tests: as if Ctrl+C had been pressed.
    static void SimulateInterrupt();

private:
    std::ostream& m_Err;
    std::ostream& m_Out;
    bool m_Terminal;
};

} // namespace turnpost
