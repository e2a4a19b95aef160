// Shows the main window on a sample game and every dialog, and saves a picture of each into the
// folder given, for the documentation and for checking the layouts by eye at any scale.
#include "send/CheckRun.h"
#include "setup/GameSetup.h"
#include "ui/AboutDialog.h"
#include "ui/AdditionalFilesDialog.h"
#include "ui/AdvancedSettingsDialog.h"
#include "ui/HelpWindow.h"
#include "ui/MailSettingsDialog.h"
#include "ui/MainWindow.h"
#include "ui/PasswordDialog.h"
#include "ui/PreferencesDialog.h"
#include "ui/ProgressWindow.h"
#include "ui/SummaryDialog.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QTest>

#include <cstdio>

using namespace turnpost;

namespace {

QString g_Folder;
int g_Failures = 0;

void Save(QWidget& widget, const QString& name)
{
    widget.show();
    widget.raise();
    // Let the window system map and paint the window before it is grabbed.
    QTest::qWait(200);
    const QString path = QDir(g_Folder).filePath(name + ".png");
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++g_Failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
    widget.hide();
}

/// The window as the desktop shows it, frame and title included: a piece of the whole screen, which
/// the window manager has drawn the frame on.
void SaveFramed(QWidget& widget, const QString& name)
{
    widget.show();
    widget.raise();
    widget.activateWindow();
    QTest::qWait(800);
    const QRect frame = widget.frameGeometry();
    const QString path = QDir(g_Folder).filePath(name + ".png");
    QScreen* screen = widget.screen();
    if (!screen || !screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        ++g_Failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void FillSampleGame(GameDocument& document)
{
    GameSetup& setup = document.Setup;
    setup.GameName = "Andromeda Rising";
    setup.UniverseFile = "/home/host/stars/andromeda/andro.xy";
    const char* players[] = {"kirsten@example.org",
                             "marcus.hale@example.net",
                             "jo@example.com",
                             "pbem.wolf@example.org",
                             "aurelia@example.net",
                             "",
                             "t.nakamura@example.com",
                             "",
                             "zed@example.org",
                             "",
                             "",
                             "",
                             "",
                             "",
                             "",
                             ""};
    for (int i = 0; i < PlayerCount; ++i) {
        setup.Players[i].EmailAddress = players[i];
        setup.Players[i].Selected = players[i][0] != '\0' && i != 2;
        if (players[i][0] != '\0')
            setup.Players[i].PlayerFile =
                setup.UniverseFile.substr(0, setup.UniverseFile.size() - 2) + "m" + std::to_string(i + 1);
    }
    setup.SendUniverseFile = 1;
    setup.SendAdditionalFiles = 1;
    setup.AdditionalFiles = "/home/host/stars/andromeda/house-rules.txt\n/home/host/stars/andromeda/map.png\n"
                            "/home/host/stars/andromeda/race%P.r1";
    setup.SmtpServer = "smtp.example.org:587";
    setup.ReturnAddress = "host@example.org";
    setup.MessageSubject = "%G: turn for %Y, player %P";
    setup.MessageText = "Your turn file for %G, year %Y, is attached.\r\nGood luck!\r\n";
    setup.SmtpSecurity = 1;
    setup.SmtpUser = "host@example.org";
    setup.SmtpPasswordCommand = "pass show mail/turnpost";
    setup.SaveReportToFile = 1;
    setup.ReportFile = "/home/host/stars/andromeda/send-report.txt";
    setup.EmailReport = 1;
    setup.ReportAddress = "host@example.org";
    setup.DetailedReport = 1;
    document.FilePath = "/home/host/stars/andromeda/andromeda.tpf";
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("turnpost");
    if (argc != 2) {
        std::fprintf(stderr, "usage: turnpost_screenshots FOLDER\n");
        return 2;
    }
    g_Folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_Folder);

    GameDocument document;
    CMainWindow window(document);
    FillSampleGame(document);
    IUserInterface& ui = window.UserInterface();
    IDocumentView& view = ui.View();
    view.FillRows();
    view.ShowState();
    view.ShowFilePath(document.FilePath);
    // The marks beside the ticked players come a moment after the rows.
    QTest::qWait(400);
    Save(window, "main-window");
    window.show();
    document.Modified = 1;
    window.findChild<QLineEdit*>("gameNameEdit")->setFocus();
    view.ShowFilePath(document.FilePath);
    SaveFramed(window, "main-window-framed");

    {
        // A fresh window, with the line that says the mail settings come first.
        GameDocument freshDocument;
        CMainWindow fresh(freshDocument);
        Save(fresh, "first-run");
    }

    CMailSettingsDialog mail(document.Setup, ui, &window);
    Save(mail, "mail-settings");
    CAdvancedSettingsDialog advanced(document.Setup, ui, &window);
    Save(advanced, "advanced-settings");
    CPreferencesDialog preferences(document.Setup, ui, &window);
    Save(preferences, "preferences");
    CAdditionalFilesDialog additional(document.Setup, ui, &window);
    Save(additional, "additional-files");
    CAboutDialog about(&window);
    Save(about, "about");

    std::string summary;
    for (int n = 1; n <= PlayerCount; ++n) {
        const bool selected = document.Setup.Players[n - 1].Selected != 0;
        summary += "[Player " + std::to_string(n) + "] " +
                   (!selected ? "skipped"
                    : n == 4  ? "** ERROR: 550 5.1.1 <pbem.wolf@example.org>: Recipient address rejected"
                              : "Sent OK") +
                   "\n";
    }
    CSummaryDialog summaryDialog(summary, &window);
    Save(summaryDialog, "summary");

    // What Turn > Check Before Sending shows, over the main window it was chosen in. The lines are
    // made by the check's own formatting from a sample outcome (no server is reached here).
    CheckRunOutcome check;
    for (int n = 1; n <= PlayerCount; ++n) {
        const PlayerSlot& slot = document.Setup.Players[n - 1];
        if (!slot.Selected)
            continue;
        CheckRunOutcome::Player player;
        player.Attempt.Player = n;
        player.Attempt.Sent = n != 5;
        player.Attempt.Result =
            "[Player " + std::to_string(n) + "] " +
            (n == 5 ? "** ERROR: " + slot.PlayerFile + " is for 2441, the host file is at 2442"
                    : "OK: " + slot.EmailAddress + ", \"Andromeda Rising: turn for 2442, player " +
                          std::to_string(n) + "\", andro.xy + andro.m" + std::to_string(n));
        check.Players.push_back(player);
    }
    check.ServerLine = "[Server] OK: smtp.example.org:587, STARTTLS, logged in as host@example.org";
    check.ServerReady = true;
    {
        // As the desktop shows it: the summary window over the main window, both framed.
        CSummaryDialog checkDialog(check.Text() + "\n" + check.Verdict() + "\n", &window);
        checkDialog.setWindowTitle("Check Before Sending");
        window.show();
        window.raise();
        checkDialog.show();
        checkDialog.raise();
        checkDialog.activateWindow();
        QTest::qWait(800);
        const QRect area = window.frameGeometry().united(checkDialog.frameGeometry());
        const QString path = QDir(g_Folder).filePath("check-result.png");
        QScreen* screen = window.screen();
        if (!screen || !screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path)) {
            std::fprintf(stderr, "could not save %s\n", qPrintable(path));
            ++g_Failures;
        } else {
            std::printf("%s\n", qPrintable(path));
        }
        checkDialog.hide();
    }

    CProgressWindow progress(&window, "Status");
    progress.SetRange(16, 1);
    for (int i = 0; i < 5; ++i)
        progress.StepIt();
    progress.SetText("Sending to Player #5...");
    progress.ShowResult("[Player 2] Sent OK");
    progress.ShowResult("[Player 3] skipped");
    progress.ShowResult("[Player 4] ** ERROR: 550 5.1.1 <pbem.wolf@example.org>: Recipient address rejected");
    Save(progress, "progress");

    CPasswordDialog password("host@example.org", true, &window);
    Save(password, "password");

    CHelpWindow help(&window);
    Save(help, "help");
    return g_Failures == 0 ? 0 : 1;
}
