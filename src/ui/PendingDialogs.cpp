// Stand-ins for the dialogs until they land; the wiring then replaces this file.
#include "ui/MainWindow.h"
#include "ui/QtUserInterface.h"

#include <QMessageBox>

namespace turnpost {

namespace {
class CSilentProgressWindow : public IProgressWindow
{
public:
    void SetRange(int, int) override {}
    void SetText(const std::string&) override {}
    int StepIt() override { return 0; }
    int SetPos(int) override { return 0; }
    void PumpMessages() override {}
    void PumpFor(int) override {}
    bool IsCancelled() const override { return false; }
};
} // namespace

void CMainWindow::OnMailSettings() {}
void CMainWindow::OnAdvancedSettings() {}
void CMainWindow::OnPreferences() {}
void CMainWindow::OnAdditionalFiles() {}
void CMainWindow::OnAbout() {}

std::unique_ptr<IProgressWindow> CQtUserInterface::CreateProgressWindow(const std::string&)
{
    return std::make_unique<CSilentProgressWindow>();
}
void CQtUserInterface::ShowSummary(const std::string& text)
{
    QMessageBox::information(Owner(), "Summary", QString::fromStdString(text));
}
std::optional<std::string> CQtUserInterface::AskPassword(const std::string&)
{
    return std::nullopt;
}

} // namespace turnpost
