#include "app/ConsoleUserInterface.h"

#include "app/ConsoleProgressWindow.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <unistd.h>

namespace turnpost {

namespace {

std::atomic<int> g_Interrupts{0};

// Ctrl+C, a scheduler's time-out (SIGTERM) and a closed terminal (SIGHUP) all stop the run after the
// player being mailed, so that the report says who got his turn.
constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnInterrupt(int signalNumber)
{
    if (g_Interrupts.fetch_add(1) >= 1) {
        // The second signal: whoever sent it wants out now, whatever is going on.
        static const char text[] = "\nturnpost: interrupted\n";
        (void)!::write(STDERR_FILENO, text, sizeof text - 1);
        ::_exit(128 + signalNumber);
    }
}

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
    : CConsoleUserInterface(std::cerr, std::cout, ::isatty(STDERR_FILENO) == 1)
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
    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : StopSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

int CConsoleUserInterface::InterruptCount()
{
    return g_Interrupts.load();
}

void CConsoleUserInterface::SimulateInterrupt()
{
    g_Interrupts.fetch_add(1);
}

} // namespace turnpost
