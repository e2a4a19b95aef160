#include "ui/MainWindow.h"

#include "collect/CollectRun.h"
#include "collect/TurnAdvance.h"
#include "game/OrderFiles.h"
#include "game/TurnFiles.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "send/CheckRun.h"
#include "send/DeliveryStatus.h"
#include "send/PlayerVerdict.h"
#include "send/Reminders.h"
#include "send/SendRun.h"
#include "send/TurnBoard.h"
#include "send/TurnCheck.h"
#include "setup/FileCommands.h"
#include "setup/SetupFile.h"
#include "ui/AboutDialog.h"
#include "ui/AdditionalFilesDialog.h"
#include "ui/AdvancedSettingsDialog.h"
#include "ui/CollectSettingsDialog.h"
#include "ui/DialogSupport.h"
#include "ui/MailSettingsDialog.h"
#include "ui/PreferencesDialog.h"
#include "ui/ProgramIcon.h"
#include "ui/QtUserInterface.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

namespace turnpost {

namespace {

std::string FromQt(const QString& text)
{
    return text.toUtf8().toStdString();
}

/// The name of a file without its folder and without its last extension.
std::string NameWithoutExtension(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace

CMainWindow::CMainWindow(GameDocument& document, IUserInterface* services, QWidget* parent)
    : QDialog(parent), m_Document(document), m_Services(services)
{
    if (!m_Services) {
        m_OwnServices = std::make_unique<CQtUserInterface>(this);
        m_Services = m_OwnServices.get();
    }
    m_Services->AttachView(this);
    m_SendCommand = [this] { turnpost::OnSend(m_Document, UserInterface()); };

    setObjectName("mainWindow");
    // Minimise and maximise too: a long send should not have to stay on the screen.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    BuildControls();
    BuildMenu();
    SetTabOrder();

    // A new window shows a new document, e-mail addresses first.
    MakeFreshDocument(m_Document);
    m_Document.DisplayMode = 0;
    FillRows();
    ShowState();
    ShowFilePath(m_Document.FilePath);
    m_GameNameEdit->setFocus();
}

CMainWindow::~CMainWindow()
{
    if (&m_Services->View() == this)
        m_Services->AttachView(nullptr);
}

void CMainWindow::BuildControls()
{
    // Sizes follow dialog units, a quarter of the font's average character width across and an eighth
    // of its height down, so the window keeps its proportions at any font size and scale.
    const QFontMetrics metrics(font());
    const auto unitsX = [this](int units) { return DialogUnitsX(this, units); };

    // The window may be made larger; the text boxes take the room, so long paths show whole.
    auto* outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetMinimumSize);
    m_Content = new QWidget(this);
    m_Content->setObjectName("contentWidget");
    outer->addWidget(m_Content);
    outer->setContentsMargins(0, 0, 0, 0);

    auto* layout = new QVBoxLayout(m_Content);
    const auto newEdit = [this, &unitsX](const char* name, int widthUnits) {
        auto* edit = NewSetupEdit({}, m_Content);
        edit->setObjectName(name);
        edit->setMinimumWidth(unitsX(widthUnits));
        connect(edit, &QLineEdit::textEdited, this, &CMainWindow::OnTextEdited);
        return edit;
    };
    const auto newButton = [this](const QString& label, const char* name) {
        auto* button = new QPushButton(label, m_Content);
        button->setObjectName(name);
        return button;
    };
    const auto newCheck = [this](const QString& label, const QString& name) {
        auto* check = new QCheckBox(label, m_Content);
        check->setObjectName(name);
        connect(check, &QCheckBox::clicked, this, &CMainWindow::OnCheckClicked);
        return check;
    };

    // A fresh window says what comes first; Send alone would only answer "No SMTP server specified".
    m_FirstRunHint = new QFrame(m_Content);
    m_FirstRunHint->setObjectName("firstRunHint");
    m_FirstRunHint->setFrameShape(QFrame::StyledPanel);
    auto* hint = new QHBoxLayout(m_FirstRunHint);
    auto* hintText = new QLabel(tr("First set up the mail server and your return address: "
                                   "Send needs them."),
                                m_FirstRunHint);
    hintText->setWordWrap(true);
    auto* openMail = new QPushButton(tr("&Mail Settings..."), m_FirstRunHint);
    openMail->setObjectName("hintMailSettingsButton");
    openMail->setAutoDefault(false);
    auto* dismiss = new QToolButton(m_FirstRunHint);
    dismiss->setObjectName("dismissHintButton");
    dismiss->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    dismiss->setAccessibleName(tr("Dismiss"));
    dismiss->setToolTip(tr("Dismiss"));
    hint->addWidget(hintText, 1);
    hint->addWidget(openMail);
    hint->addWidget(dismiss);
    connect(openMail, &QPushButton::clicked, this, [this] {
        OnMailSettings();
        ShowModified();
    });
    connect(dismiss, &QToolButton::clicked, this, [this] {
        m_HintDismissed = true;
        ShowFirstRunHint();
    });
    layout->addWidget(m_FirstRunHint);

    m_PreviewTimer = new QTimer(this);
    m_PreviewTimer->setSingleShot(true);
    m_PreviewTimer->setInterval(250);
    connect(m_PreviewTimer, &QTimer::timeout, this, &CMainWindow::ShowPreview);

    // Game name over the left column of rows, the universe file with Browse over the right one.
    auto* rows = new QGridLayout;
    m_GameNameEdit = newEdit("gameNameEdit", 102);
    m_UniverseFileEdit = newEdit("universeFileEdit", 58);
    m_BrowseButton = newButton(tr("&Browse..."), "browseButton");
    auto* gameNameLabel = new QLabel(tr("&Game name:"), m_Content);
    auto* universeFileLabel = new QLabel(tr("&Universe file:"), m_Content);
    gameNameLabel->setBuddy(m_GameNameEdit);
    universeFileLabel->setBuddy(m_UniverseFileEdit);
    auto* universeFile = new QHBoxLayout;
    universeFile->addWidget(m_UniverseFileEdit, 1);
    universeFile->addWidget(m_BrowseButton);
    rows->addWidget(gameNameLabel, 0, 0, 1, 2);
    rows->addWidget(m_GameNameEdit, 1, 0, 1, 2);
    rows->addWidget(universeFileLabel, 0, 3, 1, 2);
    rows->addLayout(universeFile, 1, 3, 1, 2);
    rows->setRowMinimumHeight(2, metrics.height() / 2);

    // Sixteen rows in two columns of eight: a check box "Player N" and the row's edit box. Players 1 to
    // 10 are reached with Alt and their last digit; all of them with Tab.
    rows->setColumnMinimumWidth(2, unitsX(11));
    rows->setColumnStretch(1, 1);
    rows->setColumnStretch(4, 1);
    for (int i = 0; i < PlayerCount; ++i) {
        const QString label = i < 9    ? tr("Player &%1").arg(i + 1)
                              : i == 9 ? tr("Player 1&0")
                                       : tr("Player %1").arg(i + 1);
        m_PlayerChecks[i] = newCheck(label, QString("playerCheck%1").arg(i + 1));
        // Alt and the digit go to the player's box, as a label's letter would; Space then ticks it.
        // Toggling at once would untick a player merely reached by the keyboard.
        m_PlayerChecks[i]->installEventFilter(this);
        m_RowEdits[i] = newEdit(QString("rowEdit%1").arg(i + 1).toUtf8().constData(), 97);
        m_RowMarks[i] = m_RowEdits[i]->addAction(QIcon(), QLineEdit::TrailingPosition);
        m_RowMarks[i]->setObjectName(QString("rowMark%1").arg(i + 1));
        m_RowMarks[i]->setVisible(false);
        // Whether his orders for this turn are in: a mark of its own beside the box, so the box keeps
        // its room and the mark its place whether or not a game is open.
        m_OrderMarks[i] = new QLabel(m_Content);
        m_OrderMarks[i]->setObjectName(QString("ordersMark%1").arg(i + 1));
        m_OrderMarks[i]->setAlignment(Qt::AlignCenter);
        m_OrderMarks[i]->setFixedWidth(unitsX(10));
        auto* row = new QHBoxLayout;
        row->setSpacing(0);
        row->addWidget(m_RowEdits[i], 1);
        row->addWidget(m_OrderMarks[i]);
        const int column = i < 8 ? 0 : 3;
        rows->addWidget(m_PlayerChecks[i], 3 + i % 8, column);
        rows->addLayout(row, 3 + i % 8, column + 1);
    }
    layout->addLayout(rows);
    m_TurnLabel = new QLabel(m_Content);
    m_TurnLabel->setObjectName("turnStateLabel");
    m_TurnLabel->setVisible(false);
    layout->addWidget(m_TurnLabel);
    layout->addSpacing(metrics.height() / 2);
    layout->addStretch(1);

    // Below the rows: the display switch and the selection buttons, the send options, Help and Send.
    auto* bottom = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* display = new QGroupBox(tr("Display"), m_Content);
    auto* displayLayout = new QHBoxLayout(display);
    m_EmailRadio = new QRadioButton(tr("&email addrs"), display);
    m_EmailRadio->setObjectName("emailRadio");
    m_PlayerFilesRadio = new QRadioButton(tr("pla&yer files"), display);
    m_PlayerFilesRadio->setObjectName("playerFilesRadio");
    displayLayout->addWidget(m_EmailRadio);
    displayLayout->addWidget(m_PlayerFilesRadio);
    connect(m_EmailRadio, &QRadioButton::clicked, this, [this] { OnDisplayClicked(0); });
    connect(m_PlayerFilesRadio, &QRadioButton::clicked, this, [this] { OnDisplayClicked(1); });
    auto* players = new QGroupBox(tr("Players"), m_Content);
    auto* playersLayout = new QHBoxLayout(players);
    m_SelectAllButton = newButton(tr("Select &All"), "selectAllButton");
    m_SelectNoneButton = newButton(tr("Select N&one"), "selectNoneButton");
    playersLayout->addWidget(m_SelectAllButton);
    playersLayout->addWidget(m_SelectNoneButton);
    connect(m_SelectAllButton, &QPushButton::clicked, this, [this] { OnSelectAll(1); });
    connect(m_SelectNoneButton, &QPushButton::clicked, this, [this] { OnSelectAll(0); });
    left->addWidget(display);
    left->addWidget(players);
    bottom->addLayout(left);

    auto* send = new QGroupBox(tr("Send"), m_Content);
    auto* sendLayout = new QGridLayout(send);
    m_PlayerFileCheck = newCheck(tr("Player f&ile"), "playerFileCheck");
    m_UniverseFileCheck = newCheck(tr("Uni&verse file"), "universeFileCheck");
    m_AdditionalFilesCheck = newCheck(tr("A&dditional files"), "additionalFilesCheck");
    m_ListButton = newButton(tr("&list..."), "listButton");
    sendLayout->addWidget(m_PlayerFileCheck, 0, 0, 1, 2);
    sendLayout->addWidget(m_UniverseFileCheck, 1, 0, 1, 2);
    sendLayout->addWidget(m_AdditionalFilesCheck, 2, 0);
    sendLayout->addWidget(m_ListButton, 2, 1);
    bottom->addWidget(send);
    bottom->addStretch(1);

    auto* commands = new QVBoxLayout;
    m_HelpButton = newButton(tr("Hel&p"), "helpButton");
    m_SendButton = newButton(tr("Se&nd"), "sendButton");
    m_SendButton->setDefault(true);
    m_HelpButton->setMinimumWidth(unitsX(50));
    m_SendButton->setMinimumWidth(unitsX(50));
    commands->addStretch(1);
    commands->addWidget(m_HelpButton);
    commands->addSpacing(metrics.height() / 2);
    commands->addWidget(m_SendButton);
    bottom->addLayout(commands);
    layout->addLayout(bottom);

    connect(m_BrowseButton, &QPushButton::clicked, this, &CMainWindow::OnBrowse);
    connect(m_ListButton, &QPushButton::clicked, this, &CMainWindow::OnAdditionalFiles);
    connect(m_HelpButton, &QPushButton::clicked, this, [this] { m_Services->ShowHelp(); });
    connect(m_SendButton, &QPushButton::clicked, this, &CMainWindow::OnSend);
}

namespace {

std::chrono::sys_seconds Now()
{
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

void CMainWindow::BuildMenu()
{
    m_MenuBar = new QMenuBar(this);
    m_MenuBar->setObjectName("menuBar");
    layout()->setMenuBar(m_MenuBar);

    const auto add = [this](QMenu* menu, const QString& text, const char* name, auto handler,
                            QKeySequence shortcut = {}) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        action->setShortcut(shortcut);
        // Also on the window itself, so the shortcut works whether or not the menu bar is native.
        addAction(action);
        // Every command may change whether the setup has unsaved edits; the title says so afterwards.
        connect(action, &QAction::triggered, this, [this, handler] {
            handler();
            ShowModified();
        });
        return action;
    };

    QMenu* file = m_MenuBar->addMenu(tr("&File"));
    add(
        file, tr("&New"), "newAction", [this] { FileNew(m_Document, UserInterface()); },
        QKeySequence(Qt::CTRL | Qt::Key_N));
    add(
        file, tr("&Open..."), "openAction", [this] { FileOpen(m_Document, UserInterface()); },
        QKeySequence(Qt::CTRL | Qt::Key_O));
    file->addSeparator();
    add(
        file, tr("&Save"), "saveAction", [this] { FileSave(m_Document, UserInterface()); },
        QKeySequence(Qt::CTRL | Qt::Key_S));
    add(file, tr("Save &As..."), "saveAsAction", [this] { FileSaveAs(m_Document, UserInterface()); });
    file->addSeparator();
    add(file, tr("E&xit"), "exitAction", [this] { OnFileExit(); });

    QMenu* settings = m_MenuBar->addMenu(tr("&Settings"));
    add(
        settings, tr("&Mail..."), "mailSettingsAction", [this] { OnMailSettings(); },
        QKeySequence(Qt::CTRL | Qt::Key_M));
    add(settings, tr("&Collect..."), "collectSettingsAction", [this] { OnCollectSettings(); });
    add(settings, tr("&Advanced..."), "advancedSettingsAction", [this] { OnAdvancedSettings(); });
    settings->addSeparator();
    add(settings, tr("&Preferences..."), "preferencesAction", [this] { OnPreferences(); });

    // Before and after a send: what it would do, what went out, and mailing who is still missing.
    QMenu* turn = m_MenuBar->addMenu(tr("&Turn"));
    add(turn, tr("&Check Before Sending"), "checkAction", [this] {
        if (m_Busy)
            return;
        const CheckRunOutcome outcome = CheckSendRun(m_Document, UserInterface());
        m_Services->ShowResults("Check Before Sending", outcome.Text() + "\n" + outcome.Verdict() + "\n");
    });
    add(turn, tr("&Resend Failed"), "resendFailedAction", [this] {
        if (!m_Busy)
            turnpost::OnResendFailed(m_Document, UserInterface());
    });
    add(turn, tr("Delivery &Status"), "deliveryStatusAction", [this] {
        GatherRows();
        const DeliveryStatus status = GetDeliveryStatus(m_Document);
        std::string text;
        for (const std::string& warning : status.Warnings)
            text += warning + "\n";
        m_Services->ShowResults("Delivery Status", text + status.Text);
    });
    add(turn, tr("Turn &Board"), "turnBoardAction", [this] {
        GatherRows();
        const OrdersInFolder orders = m_Document.Setup.UniverseFile.empty()
                                          ? OrdersInFolder{}
                                          : FindOrdersInFolder(m_Document.Setup.UniverseFile);
        const TurnBoard board = GetTurnBoard(m_Document, orders, Now());
        m_Services->ShowResults("Turn Board",
                                board.Year ? board.Text()
                                           : "No turn to show: " +
                                                 (orders.Host.Error.empty() ? std::string("no universe file")
                                                                            : orders.Host.Error) +
                                                 "\n");
    });
    turn->addSeparator();
    add(turn, tr("Collect &Orders"), "collectAction", [this] { OnCollect(); });
    add(turn, tr("Send Re&minders"), "sendRemindersAction", [this] { OnSendReminders(); });
    add(turn, tr("&Advance Turn"), "advanceTurnAction", [this] { OnAdvanceTurn(); });
    // The game folder changes behind the window's back (orders copied in, the host generating).
    add(
        turn, tr("Re&fresh"), "refreshAction",
        [this] {
            m_PreviewTimer->stop();
            ShowPreview();
        },
        QKeySequence(Qt::Key_F5));

    QMenu* help = m_MenuBar->addMenu(tr("&Help"));
    add(
        help, tr("&Program Help"), "helpAction", [this] { m_Services->ShowHelp(); },
        QKeySequence(Qt::Key_F1));
    help->addSeparator();
    add(help, tr("About Turnpost..."), "aboutAction", [this] { OnAbout(); });
}

void CMainWindow::SetTabOrder()
{
    // Tab visits the texts at the top, the rows and Send first, then the boxes to tick, the display
    // choice, the selection buttons, the send options and Help.
    std::vector<QWidget*> order{m_GameNameEdit, m_UniverseFileEdit, m_BrowseButton};
    order.insert(order.end(), m_RowEdits.begin(), m_RowEdits.end());
    order.push_back(m_SendButton);
    order.insert(order.end(), m_PlayerChecks.begin(), m_PlayerChecks.end());
    for (QWidget* widget : std::initializer_list<QWidget*>{
             m_EmailRadio, m_PlayerFilesRadio, m_SelectAllButton, m_SelectNoneButton, m_UniverseFileCheck,
             m_PlayerFileCheck, m_AdditionalFilesCheck, m_ListButton, m_HelpButton})
        order.push_back(widget);
    // The first-run line, while it shows, comes last.
    order.push_back(m_FirstRunHint->findChild<QPushButton*>("hintMailSettingsButton"));
    order.push_back(m_FirstRunHint->findChild<QToolButton*>("dismissHintButton"));
    for (QWidget* widget : order)
        widget->setFocusPolicy(Qt::StrongFocus);
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void CMainWindow::GatherRows()
{
    ReadControls();
    for (int i = 0; i < PlayerCount; ++i) {
        RowField(i, m_Document.DisplayMode) = FromQt(m_RowEdits[i]->text());
        m_Document.Setup.Players[i].Selected = m_PlayerChecks[i]->isChecked() ? 1 : 0;
    }
}

void CMainWindow::FillRows()
{
    for (int i = 0; i < PlayerCount; ++i) {
        const QSignalBlocker textBlocker(m_RowEdits[i]);
        const QSignalBlocker checkBlocker(m_PlayerChecks[i]);
        m_RowEdits[i]->setText(ToQString(RowField(i, m_Document.DisplayMode)));
        m_PlayerChecks[i]->setChecked(m_Document.Setup.Players[i].Selected != 0);
        m_RowEdits[i]->setAccessibleName(m_Document.DisplayMode == 1
                                             ? tr("Player %1 turn file").arg(i + 1)
                                             : tr("Player %1 e-mail address").arg(i + 1));
        m_RowEdits[i]->setToolTip(RowTip(i));
    }
    FitTexts();
    SchedulePreview();
}

QString CMainWindow::RowTip(int index) const
{
    // Both fields, whichever one the display shows: a path too long for its box shows whole here too.
    const PlayerSlot& slot = m_Document.Setup.Players[static_cast<std::size_t>(index)];
    const QString none = tr("(none)");
    const auto shown = [&](int mode, const std::string& stored) {
        return m_Document.DisplayMode == mode ? m_RowEdits[index]->text() : ToQString(stored);
    };
    const QString address = shown(0, slot.EmailAddress), file = shown(1, slot.PlayerFile);
    return tr("Player %1\nE-mail address: %2\nTurn file: %3")
        .arg(index + 1)
        .arg(address.isEmpty() ? none : address)
        .arg(file.isEmpty() ? none : file);
}

void CMainWindow::ShowState()
{
    const GameSetup& setup = m_Document.Setup;
    const auto setText = [](QLineEdit* edit, const std::string& text) {
        const QSignalBlocker blocker(edit);
        // Rewriting an unchanged text would move the host's cursor.
        if (edit->text() != ToQString(text))
            edit->setText(ToQString(text));
    };
    const auto setCheck = [](QAbstractButton* button, bool checked) {
        const QSignalBlocker blocker(button);
        button->setChecked(checked);
    };
    setText(m_GameNameEdit, setup.GameName);
    setText(m_UniverseFileEdit, setup.UniverseFile);
    for (int i = 0; i < PlayerCount; ++i)
        setCheck(m_PlayerChecks[i], setup.Players[i].Selected != 0);
    setCheck(m_EmailRadio, m_Document.DisplayMode == 0);
    setCheck(m_PlayerFilesRadio, m_Document.DisplayMode == 1);
    setCheck(m_PlayerFileCheck, setup.SendPlayerFile != 0);
    setCheck(m_UniverseFileCheck, setup.SendUniverseFile != 0);
    setCheck(m_AdditionalFilesCheck, setup.SendAdditionalFiles != 0);
    FitTexts();
    ShowFirstRunHint();
    SchedulePreview();
}

void CMainWindow::ShowFirstRunHint()
{
    const GameSetup& setup = m_Document.Setup;
    m_FirstRunHint->setVisible(!m_HintDismissed && (setup.SmtpServer.empty() || setup.ReturnAddress.empty()));
}

void CMainWindow::SchedulePreview()
{
    m_PreviewTimer->start();
}

void CMainWindow::ShowPreview()
{
    // What the boxes show now, without taking it into the document: a preview changes nothing.
    GameSetup setup = m_Document.Setup;
    for (int i = 0; i < PlayerCount; ++i) {
        PlayerSlot& slot = setup.Players[static_cast<std::size_t>(i)];
        (m_Document.DisplayMode == 1 ? slot.PlayerFile : slot.EmailAddress) = FromQt(m_RowEdits[i]->text());
        slot.Selected = m_PlayerChecks[i]->isChecked() ? 1 : 0;
    }
    const TurnCheck turns = TurnChecksWanted(setup) ? CheckGameFiles(setup) : TurnCheck{};
    const std::array<QString, PlayerCount> orders = ShowOrdersIn(setup);
    const QIcon ready = style()->standardIcon(QStyle::SP_DialogApplyButton);
    const QIcon refused = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < PlayerCount; ++i) {
        const PlayerSlot& slot = setup.Players[static_cast<std::size_t>(i)];
        QString tip = RowTip(i);
        if (!orders[i].isEmpty())
            tip += QLatin1Char('\n') + orders[i];
        QAction* mark = m_RowMarks[i];
        mark->setVisible(slot.Selected != 0);
        if (slot.Selected) {
            const std::string refusal = PlayerRefusal(setup, i, turns);
            QString verdict = refusal.empty() ? tr("Send would mail him.")
                                              : tr("Send would not mail him: %1").arg(ToQString(refusal));
            if (!turns.Note.empty())
                verdict += QLatin1Char('\n') + ToQString(turns.Note);
            mark->setIcon(refusal.empty() ? ready : refused);
            mark->setToolTip(verdict);
            mark->setProperty("refused", !refusal.empty());
            tip += QLatin1Char('\n') + verdict;
        }
        m_RowEdits[i]->setToolTip(tip);
    }
}

std::array<QString, PlayerCount> CMainWindow::ShowOrdersIn(const GameSetup& setup)
{
    std::array<QString, PlayerCount> lines;
    const bool judged = !setup.UniverseFile.empty();
    const OrdersInFolder found = judged ? FindOrdersInFolder(setup.UniverseFile) : OrdersInFolder{};
    // Without a usable host file no order counts; the universe file says why, the rows say nothing.
    m_UniverseFileEdit->setToolTip(judged && !found.Host.Ok
                                       ? tr("Orders cannot be judged: %1").arg(ToQString(found.Host.Error))
                                       : QString());
    GameDocument shown;
    shown.FilePath = m_Document.FilePath;
    shown.Setup = setup;
    const TurnBoard board = GetTurnBoard(
        shown, found, std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    m_TurnLabel->setText(ToQString(board.Summary()));
    m_TurnLabel->setVisible(board.Year != 0);
    for (int i = 0; i < PlayerCount; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        const PlayerOrders& player = found.Players[slot];
        const QString file = judged ? ToQString(FileNameOf(OrderFilePath(setup.UniverseFile, i))) : QString();
        QString mark, state;
        if (found.Host.Ok && player.In) {
            mark = QStringLiteral("\u2713");
            state = tr("in");
            lines[slot] = tr("Orders for %1 are in: %2").arg(found.Year).arg(file);
        } else if (found.Host.Ok && player.Present) {
            mark = QStringLiteral("!");
            state = tr("not counted");
            lines[slot] = tr("%1 does not count: %2").arg(file, ToQString(player.Problem));
        } else if (found.Host.Ok && setup.Players[slot].Selected) {
            mark = QStringLiteral("\u2013");
            state = tr("missing");
            lines[slot] = tr("No orders for %1 yet").arg(found.Year);
        }
        // The rest of his turn: the mail he got, and whether he was chased.
        const TurnBoardPlayer& turn = board.Players[slot];
        if (!lines[slot].isEmpty() && !turn.Mail.empty())
            lines[slot] += QLatin1Char('\n') + tr("Turn mail: %1").arg(ToQString(turn.Mail));
        else if (!lines[slot].isEmpty())
            lines[slot] += QLatin1Char('\n') + tr("No turn mail for %1 yet").arg(found.Year);
        if (!lines[slot].isEmpty() && turn.Reminded)
            lines[slot] += QLatin1Char('\n') + tr("Reminded this year");
        QLabel* label = m_OrderMarks[slot];
        label->setText(mark);
        label->setToolTip(lines[slot]);
        // A screen reader says what the sign means, not its name.
        label->setAccessibleName(mark.isEmpty() ? QString()
                                                : tr("Player %1 orders: %2").arg(i + 1).arg(state));
        label->setAccessibleDescription(lines[slot]);
    }
    return lines;
}

void CMainWindow::ShowFilePath(const std::string& path)
{
    // A new caption is a setup opened, created or saved under a new name: its paths may be wider.
    m_FitPending = true;
    // "[*]" is where Qt shows the desktop's unsaved-changes mark; a path holding those three characters
    // itself has them doubled, which Qt shows as written.
    QString title = ToQString("Turnpost - " + path);
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title + QStringLiteral("[*]"));
    ShowModified();
}

void CMainWindow::ShowModified()
{
    setWindowModified(m_Document.Modified != 0);
}

void CMainWindow::FitTexts()
{
    // Before the first show nothing is laid out yet; showEvent comes back here. The window widens once
    // for each setup opened, when its texts first need it: a size the host gives it later stays.
    if (!isVisible() || !m_FitPending)
        return;
    int missing = 0;
    std::vector<QLineEdit*> edits(m_RowEdits.begin(), m_RowEdits.end());
    edits.push_back(m_UniverseFileEdit);
    for (QLineEdit* edit : edits) {
        const QMargins margins = edit->textMargins();
        const int frame = 2 * (style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) + 2);
        const int needed = edit->fontMetrics().horizontalAdvance(edit->text()) + frame + margins.left() +
                           margins.right() + 2;
        missing = std::max(missing, needed - edit->width());
    }
    if (missing <= 0)
        return;
    m_FitPending = false;
    // The two columns of rows share what the window gains.
    int wanted = width() + 2 * missing;
    if (const QScreen* shown = screen())
        wanted = std::min(wanted, shown->availableGeometry().width() - (frameGeometry().width() - width()));
    if (wanted > width())
        resize(wanted, height());
}

QString CMainWindow::GameFolder(bool gameFilesFirst) const
{
    const std::string setupFile = m_Document.FilePath == UntitledPath ? std::string() : m_Document.FilePath;
    const std::string& universeFile = m_Document.Setup.UniverseFile;
    for (const std::string& path :
         gameFilesFirst ? std::array{universeFile, setupFile} : std::array{setupFile, universeFile}) {
        if (path.empty())
            continue;
        const QFileInfo file(QFile::decodeName(QByteArray::fromStdString(path)));
        if (file.absoluteDir().exists())
            return file.absolutePath();
    }
    return {};
}

QString CMainWindow::ProposedSetupName() const
{
    if (m_Document.FilePath != UntitledPath)
        return QFileInfo(QFile::decodeName(QByteArray::fromStdString(m_Document.FilePath))).fileName();
    const QString game = ToQString(m_Document.Setup.GameName).trimmed();
    // A name, not a path: a slash in the game name must not lead the dialog into another folder.
    return game.isEmpty()
               ? QString()
               : QString(game).replace(QLatin1Char('/'), QLatin1Char('-')) + QStringLiteral(".tpf");
}

void CMainWindow::SetBusy(bool busy)
{
    // The window keeps painting; only what the host could do to it is shut off. The progress window
    // is a window of its own and stays live.
    m_Busy = busy;
    m_Content->setEnabled(!busy);
    m_MenuBar->setEnabled(!busy);
    for (QAction* action : actions())
        action->setEnabled(!busy);
}

void CMainWindow::accept()
{
    GatherRows();
    QDialog::accept();
}

void CMainWindow::done(int result)
{
    if (m_Busy)
        return;
    if (m_OwnServices)
        m_OwnServices->CloseHelp();
    QDialog::done(result);
}

void CMainWindow::closeEvent(QCloseEvent* event)
{
    // The close box is an Exit: unsaved edits are asked about first.
    if (m_Busy || !FileExit(m_Document, UserInterface())) {
        ShowModified();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CMainWindow::keyPressEvent(QKeyEvent* event)
{
    // Escape in the one window of the program would end it on a stray key press; Exit and the close
    // box are the ways out. Enter would send under a running send.
    if (m_Busy || (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CMainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        if (auto* check = qobject_cast<QCheckBox*>(watched)) {
            check->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMainWindow::showEvent(QShowEvent* event)
{
    ShowModified();
    QDialog::showEvent(event);
    // Once the layout has given the boxes their widths.
    QTimer::singleShot(0, this, [this] { FitTexts(); });
}

std::string& CMainWindow::RowField(int index, int mode)
{
    PlayerSlot& slot = m_Document.Setup.Players[index];
    return mode == 1 ? slot.PlayerFile : slot.EmailAddress;
}

void CMainWindow::ReadControls()
{
    GameSetup& setup = m_Document.Setup;
    setup.GameName = FromQt(m_GameNameEdit->text());
    setup.UniverseFile = FromQt(m_UniverseFileEdit->text());
    for (int i = 0; i < PlayerCount; ++i)
        setup.Players[i].Selected = m_PlayerChecks[i]->isChecked() ? 1 : 0;
    setup.SendPlayerFile = m_PlayerFileCheck->isChecked() ? 1 : 0;
    setup.SendUniverseFile = m_UniverseFileCheck->isChecked() ? 1 : 0;
    setup.SendAdditionalFiles = m_AdditionalFilesCheck->isChecked() ? 1 : 0;
}

void CMainWindow::OnTextEdited()
{
    ReadControls();
    m_Document.Modified = 1;
    ShowModified();
    SchedulePreview();
}

void CMainWindow::OnCheckClicked()
{
    ReadControls();
    ShowState();
    m_Document.Modified = 1;
    ShowModified();
}

void CMainWindow::OnSelectAll(int selected)
{
    ReadControls();
    for (PlayerSlot& slot : m_Document.Setup.Players)
        slot.Selected = selected;
    ShowState();
    m_Document.Modified = 1;
    ShowModified();
}

void CMainWindow::OnDisplayClicked(int mode)
{
    if (m_Document.DisplayMode == mode)
        return;
    // The rows still hold the texts of the view being left: they go back to their own field first.
    GatherRows();
    m_Document.DisplayMode = mode;
    FillRows();
    ShowState();
}

void CMainWindow::OnBrowse()
{
    // The rows typed so far reach the setup whether or not a file is chosen.
    GatherRows();
    const auto chosen = m_Services->OpenFileDialog("Stars! universe files (*.xy)|*.xy||", "xy");
    if (!chosen)
        return;

    GameSetup& setup = m_Document.Setup;
    setup.UniverseFile = *chosen;
    if (setup.GameName.empty())
        setup.GameName = NameWithoutExtension(*chosen);
    // A player file the host has named already stays.
    const auto found = TurnFilesBeside(setup.UniverseFile, FileExists);
    for (std::size_t slot = 0; slot < setup.Players.size(); ++slot)
        if (setup.Players[slot].PlayerFile.empty())
            setup.Players[slot].PlayerFile = found[slot];
    if (m_Document.DisplayMode == 1)
        FillRows();
    ShowState();
    m_Document.Modified = 1;
    ShowModified();
}

void CMainWindow::OnSend()
{
    if (m_Busy)
        return;
    m_SendCommand();
    ShowPreview();
}

void CMainWindow::OnCollect()
{
    if (m_Busy)
        return;
    const CollectOutcome outcome = turnpost::OnCollect(m_Document, UserInterface());
    // The marks first: the results are read with the rows in view.
    m_PreviewTimer->stop();
    ShowPreview();
    std::string text;
    for (const std::string& line : outcome.Lines)
        text += line + "\n";
    if (!outcome.Error.empty() &&
        std::find(outcome.Lines.begin(), outcome.Lines.end(), outcome.Error) == outcome.Lines.end())
        text += outcome.Error + "\n";
    m_Services->ShowResults("Collect Orders", text);
}

void CMainWindow::OnSendReminders()
{
    if (m_Busy)
        return;
    GatherRows();
    RemindOutcome outcome = OnRemind(m_Document, UserInterface(), {Now(), false});
    // The host asked for reminders: before their time he is asked, not silently refused.
    if (!outcome.NotDue.empty() &&
        UserInterface().MessageBox(outcome.NotDue + "\n\nSend the reminders now?", "Send Reminders",
                                   MessageButtons::YesNoCancel, MessageIcon::Question) == MessageAnswer::Yes)
        outcome = OnRemind(m_Document, UserInterface(), {Now(), true});
    m_PreviewTimer->stop();
    ShowPreview();
    std::string text = outcome.NotDue.empty() ? "" : outcome.NotDue + "\n";
    text += Joined(outcome.Lines);
    for (const std::string& problem : {outcome.Error, outcome.LedgerError})
        if (!problem.empty())
            text += problem + "\n";
    m_Services->ShowResults("Send Reminders", text);
}

void CMainWindow::OnAdvanceTurn()
{
    if (m_Busy)
        return;
    GatherRows();
    const AdvanceOutcome outcome = OnAdvance(m_Document, UserInterface(), Now());
    m_PreviewTimer->stop();
    ShowPreview();
    std::string text = Joined(outcome.Lines);
    if (!outcome.NoticeError.empty())
        text += outcome.NoticeError + "\n";
    m_Services->ShowResults("Advance Turn", text);
}

void CMainWindow::OnFileExit()
{
    if (FileExit(m_Document, UserInterface()))
        accept();
}

void CMainWindow::OnMailSettings()
{
    CMailSettingsDialog dialog(m_Document.Setup, UserInterface(), this);
    if (m_Document.FilePath != UntitledPath)
        dialog.SetPasswordCommandSource(m_Document.FilePath, m_Document.PasswordCommandFromFile);
    if (dialog.exec() == QDialog::Accepted)
        m_Document.Modified = 1;
    ShowFirstRunHint();
}

void CMainWindow::OnCollectSettings()
{
    const GameSetup before = m_Document.Setup;
    CCollectSettingsDialog dialog(m_Document.Setup, UserInterface(), this);
    if (m_Document.FilePath != UntitledPath)
        dialog.SetPasswordCommandSource(m_Document.FilePath, m_Document.CollectPasswordCommandFromFile);
    // OK without an edit leaves the setup as saved.
    if (dialog.exec() == QDialog::Accepted && !(m_Document.Setup == before))
        m_Document.Modified = 1;
}

void CMainWindow::OnAdvancedSettings()
{
    CAdvancedSettingsDialog dialog(m_Document.Setup, UserInterface(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_Document.Modified = 1;
}

void CMainWindow::OnPreferences()
{
    CPreferencesDialog dialog(m_Document.Setup, UserInterface(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_Document.Modified = 1;
}

void CMainWindow::OnAdditionalFiles()
{
    CAdditionalFilesDialog dialog(m_Document.Setup, UserInterface(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_Document.Modified = 1;
}

void CMainWindow::OnAbout()
{
    CAboutDialog dialog(this);
    dialog.exec();
}

} // namespace turnpost
