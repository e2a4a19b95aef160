#pragma once

#include "platform/UserInterface.h"

#include <iosfwd>
#include <string>

namespace turnpost {

/// Progress on a terminal: one line rewritten in place ("Sending to Player #3... [18%]"). Elsewhere
/// (a log, a pipe) one line per finished step, so the output stays readable. Cancelled by Ctrl+C
/// pressed after it was made.
class CConsoleProgressWindow : public IProgressWindow
{
public:
    CConsoleProgressWindow(std::ostream& err, bool terminal, const std::string& title);
    ~CConsoleProgressWindow() override;

    void SetRange(int upperBound, int step) override;
    void SetText(const std::string& text) override;
    int StepIt() override { return SetPos(m_Position + m_Step); }
    int SetPos(int position) override;
    void PumpMessages() override {}
    void PumpFor(int milliseconds) override;
    bool IsCancelled() const override;
    void ShowResult(const std::string& line) override;

private:
    int Percentage() const;
    void Redraw();

    std::ostream& m_Err;
    bool m_Terminal;
    std::string m_Title;
    std::string m_Text;
    int m_Position = 0;
    int m_Step = 1;
    int m_UpperBound = 100;
    int m_InterruptsAtStart;
    bool m_LineOpen = false;
};

} // namespace turnpost
