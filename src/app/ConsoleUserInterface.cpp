#include "app/ConsoleUserInterface.h"

#include "app/ConsoleProgressWindow.h"
#include "platform/Signals.h"

#include <iostream>

namespace turnpost {

namespace {

/// One line per message, however many lines the text has.
std::string OneLine(const std::string& text)
{
    std::string line;
    for (const char c : text) {
        if (c == '\r')
            continue;
        line += c == '\n' ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

} // namespace

CConsoleUserInterface::CConsoleUserInterface()
    : CConsoleUserInterface(std::cerr, std::cout, StandardErrorIsTerminal())
{
}

CConsoleUserInterface::CConsoleUserInterface(std::ostream& err, std::ostream& out, bool terminal)
    : m_Err(err), m_Out(out), m_Terminal(terminal)
{
}

MessageAnswer CConsoleUserInterface::MessageBox(const std::string& text, const std::string& caption,
                                                MessageButtons buttons, MessageIcon)
{
    m_Err << "turnpost: ";
    if (!caption.empty())
        m_Err << caption << ' ';
    m_Err << OneLine(text) << std::endl;
    // Nobody is there to answer: a question is declined, so nothing is done on a guess.
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

std::unique_ptr<IProgressWindow> CConsoleUserInterface::CreateProgressWindow(const std::string& title)
{
    return std::make_unique<CConsoleProgressWindow>(m_Err, m_Terminal, title);
}

void CConsoleUserInterface::ShowSummary(const std::string& text)
{
    m_Out << text << std::flush;
}

void CConsoleUserInterface::ReportOutcome(const GameDocument& document, const SendOutcome& outcome,
                                          bool printSummary)
{
    if (!outcome.Started) {
        // A windowed run says nothing here either, but a script's log should tell why nothing went out.
        if (document.Setup.SmtpServer.empty())
            MessageBox("No SMTP server specified: check your mail settings!", "Error!", MessageButtons::Ok,
                       MessageIcon::Exclamation);
        return;
    }
    if (document.Setup.DisplaySummary && printSummary)
        ShowSummary(outcome.Summary);
    for (const std::string& notice : RunNotices(document.Setup, outcome))
        MessageBox(notice, {}, MessageButtons::Ok, MessageIcon::Exclamation);
}

void CConsoleUserInterface::InstallInterruptHandler()
{
    // Ctrl+C, a scheduler's time-out (SIGTERM) and a closed terminal (SIGHUP) all stop the run after the
    // player being mailed, so that the report says who got his turn.
    turnpost::InstallInterruptHandler("\nturnpost: interrupted\n");
}

int CConsoleUserInterface::InterruptCount()
{
    return turnpost::InterruptCount();
}

void CConsoleUserInterface::SimulateInterrupt()
{
    RequestInterrupt();
}

} // namespace turnpost
