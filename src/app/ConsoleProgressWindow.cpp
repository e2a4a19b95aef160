#include "app/ConsoleProgressWindow.h"

#include "app/ConsoleUserInterface.h"
#include "platform/Clock.h"

#include <algorithm>
#include <ostream>

namespace turnpost {

CConsoleProgressWindow::CConsoleProgressWindow(std::ostream& err, bool terminal, const std::string& title)
    : m_Err(err), m_Terminal(terminal), m_Title(title),
      m_InterruptsAtStart(CConsoleUserInterface::InterruptCount())
{
}

CConsoleProgressWindow::~CConsoleProgressWindow()
{
    if (m_LineOpen)
        m_Err << '\n' << std::flush;
}

void CConsoleProgressWindow::SetRange(int upperBound, int step)
{
    m_UpperBound = upperBound;
    m_Step = step;
}

void CConsoleProgressWindow::SetText(const std::string& text)
{
    m_Text = text;
    Redraw();
}

int CConsoleProgressWindow::SetPos(int position)
{
    const int old = m_Position;
    m_Position = position;
    Redraw();
    return old;
}

void CConsoleProgressWindow::PumpFor(int milliseconds)
{
    // Sleep in short steps so that Ctrl+C ends a long pause without waiting it out.
    IClock& clock = PauseClock();
    const std::uint32_t start = clock.TickCount();
    while (!IsCancelled()) {
        const auto elapsed = static_cast<int>(clock.TickCount() - start);
        if (elapsed >= milliseconds)
            break;
        clock.Sleep(std::min(50, milliseconds - elapsed));
    }
}

bool CConsoleProgressWindow::IsCancelled() const
{
    return CConsoleUserInterface::InterruptCount() > m_InterruptsAtStart;
}

void CConsoleProgressWindow::ShowResult(const std::string& line)
{
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (m_Terminal) {
        // Keep the results above the progress line that goes on updating.
        m_Err << "\r\033[K" << text << '\n';
        m_LineOpen = false;
        Redraw();
    } else {
        m_Err << text << '\n' << std::flush;
    }
}

int CConsoleProgressWindow::Percentage() const
{
    return m_UpperBound > 0 ? m_Position * 100 / m_UpperBound : 0;
}

void CConsoleProgressWindow::Redraw()
{
    if (!m_Terminal)
        return;
    m_Err << "\r\033[K" << (m_Text.empty() ? m_Title : m_Text) << " [" << Percentage() << "%]" << std::flush;
    m_LineOpen = true;
}

} // namespace turnpost
