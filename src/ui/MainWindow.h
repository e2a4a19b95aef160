#pragma once

#include "platform/UserInterface.h"
#include "setup/GameSetup.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;

namespace turnpost {

class CQtUserInterface;

/// The main window: the only view of the game setup, and where every command starts.
///
/// The logic gets UserInterface(): the modal services (message boxes, file dialogs, progress,
/// summary, password, help) given to the constructor, or the Qt ones when none is given, so tests can
/// script every question. The window attaches itself to them as the view of the setup.
///
/// Running it: either exec() it (its modal run is then the program's main loop), or show() it and
/// run QApplication::exec(); done() closes the window, and as the last window closed that ends the
/// application's loop.
class CMainWindow : public QDialog, public IDocumentView
{
    Q_OBJECT

public:
    explicit CMainWindow(GameDocument& document, IUserInterface* services = nullptr,
                         QWidget* parent = nullptr);
    ~CMainWindow() override;

    IUserInterface& UserInterface() { return *m_Services; }

    /// Replaces what Send does (the send run by default), so tests can watch it without a mail server.
    void SetSendCommand(std::function<void()> command) { m_SendCommand = std::move(command); }

    // The view operations the logic relies on.
    void GatherRows() override;
    void FillRows() override;
    void ShowState() override;
    void ShowFilePath(const std::string& path) override;
    void SetBusy(bool busy) override;

    /// The folder of the game: that of its setup file, else that of its universe file (the other way
    /// round for the game's own files); empty for a fresh setup. File dialogs open there.
    QString GameFolder(bool gameFilesFirst = false) const;
    /// The name Save As proposes: the setup file's, else the game's name with ".tpf".
    QString ProposedSetupName() const;

    /// Ends the window as its OK would: the rows are taken into the setup first.
    void accept() override;
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    /// Shows in the title whether the setup has unsaved edits.
    void ShowModified();
    /// Makes the window wider, within the screen, until the texts of the boxes show whole.
    void FitTexts();
    /// The line that says the mail settings come first, while they are missing and not dismissed.
    void ShowFirstRunHint();
    /// Per row: who gets what (address and turn file, whichever the display shows) and, for a ticked
    /// player, whether Send would mail him or why not; shortly after the last change.
    void SchedulePreview();
    void ShowPreview();
    QString RowTip(int index) const;
    /// Per row: whether the player's orders for this turn are in the game folder, and why a file that
    /// is there does not count. Returns the line each row's tip gains; empty without a universe file.
    std::array<QString, PlayerCount> ShowOrdersIn(const GameSetup& setup);

    void BuildControls();
    void BuildMenu();
    void SetTabOrder();

    // Handlers of what the host does.
    /// Takes what the controls show into the setup (the row texts stay in their boxes).
    void ReadControls();
    void OnTextEdited();
    void OnCheckClicked();
    void OnSelectAll(int selected);
    void OnDisplayClicked(int mode);
    void OnBrowse();
    void OnSend();
    void OnCollect();
    void OnSendReminders();
    void OnAdvanceTurn();
    void OnFileExit();
    // The dialogs; each settings dialog writes back into the setup when accepted.
    void OnMailSettings();
    void OnCollectSettings();
    void OnAdvancedSettings();
    void OnPreferences();
    void OnAdditionalFiles();
    void OnAbout();

    /// The setup field a row text belongs to in the given display.
    std::string& RowField(int index, int mode);

    GameDocument& m_Document;
    std::unique_ptr<CQtUserInterface> m_OwnServices;
    IUserInterface* m_Services;
    std::function<void()> m_SendCommand;
    bool m_Busy = false;
    bool m_FitPending = true;

    QMenuBar* m_MenuBar = nullptr;
    QWidget* m_Content = nullptr;
    QLineEdit* m_GameNameEdit = nullptr;
    QLineEdit* m_UniverseFileEdit = nullptr;
    QPushButton* m_BrowseButton = nullptr;
    std::array<QLineEdit*, PlayerCount> m_RowEdits{};
    std::array<QCheckBox*, PlayerCount> m_PlayerChecks{};
    QRadioButton* m_EmailRadio = nullptr;
    QRadioButton* m_PlayerFilesRadio = nullptr;
    QPushButton* m_SelectAllButton = nullptr;
    QPushButton* m_SelectNoneButton = nullptr;
    QCheckBox* m_PlayerFileCheck = nullptr;
    QCheckBox* m_UniverseFileCheck = nullptr;
    QCheckBox* m_AdditionalFilesCheck = nullptr;
    QPushButton* m_ListButton = nullptr;
    QPushButton* m_HelpButton = nullptr;
    QPushButton* m_SendButton = nullptr;
    QFrame* m_FirstRunHint = nullptr;
    bool m_HintDismissed = false;
    std::array<QAction*, PlayerCount> m_RowMarks{};
    std::array<QLabel*, PlayerCount> m_OrderMarks{};
    /// Where the turn stands: the year, how many orders are in, the deadline.
    QLabel* m_TurnLabel = nullptr;
    QTimer* m_PreviewTimer = nullptr;
};

} // namespace turnpost
