#include "ui/ProgressWindow.h"

#include "platform/Text.h"
#include "ui/DialogSupport.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <thread>

namespace turnpost {

namespace {

// Cut to at most max bytes without splitting a UTF-8 sequence.
std::string CutText(const std::string& text, std::size_t max)
{
    return text.substr(0, Utf8CutPoint(text, max));
}

} // namespace

CProgressWindow::CProgressWindow(QWidget* owner, const std::string& title)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_Title(ToQString(title))
{
    // Owned by the run, not by the owner window: it only floats above it. Not being the owner's
    // child also keeps Cancel live while the owner is disabled for the run.
    if (owner) {
        if (QWindow* ownerWindow = owner->window()->windowHandle()) {
            create();
            windowHandle()->setTransientParent(ownerWindow);
        }
    }
    setWindowTitle(m_Title);
    setCursor(Qt::BusyCursor);

    m_Status = new QLabel(this);
    m_Status->setObjectName("statusLabel");
    m_Status->setTextFormat(Qt::PlainText);
    m_Status->setWordWrap(false);
    m_Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_Bar = new QProgressBar(this);
    m_Bar->setObjectName("progressBar");
    m_Bar->setRange(0, m_UpperBound);
    m_Bar->setValue(0);
    m_Bar->setTextVisible(false);
    // Segments, as a progress bar of whole steps should look; the style's own bar is one smooth block.
    m_Bar->setStyleSheet(
        QStringLiteral("QProgressBar { border: 1px solid palette(mid); background: palette(base);"
                       " padding: 1px; }"
                       "QProgressBar::chunk { background: palette(highlight);"
                       " width: %1px; margin-right: 2px; }")
            .arg(std::max(6, fontMetrics().averageCharWidth())));

    m_CancelButton = new QPushButton(tr("Cancel"), this);
    m_CancelButton->setObjectName("cancelButton");
    m_CancelButton->setCursor(Qt::ArrowCursor);
    connect(m_CancelButton, &QPushButton::clicked, this, &CProgressWindow::OnCancel);

    // A width of 390 pixels suits a font whose average character is 6 pixels wide; larger fonts
    // get a proportionally wider window.
    LayOut(StatusLines, std::max(390, 390 * fontMetrics().averageCharWidth() / 6));
    CentreOverOwner(owner);
    show();
    // The frame's size is known only once the window is shown.
    CentreOverOwner(owner);
    // The keyboard comes here, so that Escape stops the run as Cancel does; the owner is shut off
    // meanwhile anyway.
    activateWindow();
    m_CancelButton->setFocus(Qt::ActiveWindowFocusReason);
}

void CProgressWindow::LayOut(int statusLines, int statusWidth)
{
    const QFontMetrics metrics = fontMetrics();
    const int textHeight = metrics.lineSpacing() * (statusLines - 1) + metrics.height();
    const QRect statusRect(10, 10, statusWidth, textHeight);

    // The button is sized round its label with some air, but never smaller than the style wants.
    const int edge = std::max(2, style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this));
    const QSize label = metrics.size(Qt::TextSingleLine, QStringLiteral(" Cancel "));
    QSize button(label.width() + 4 * edge, label.height() + 3 * edge);
    button = button.expandedTo(m_CancelButton->sizeHint());
    const QRect buttonRect(statusRect.right() + 1 - button.width(), statusRect.bottom() + 1 + 10,
                           button.width(), button.height());

    const QRect barRect(QPoint(statusRect.left(), buttonRect.top() + edge),
                        QPoint(buttonRect.left() - 10 - 1, buttonRect.bottom() - edge));

    m_Status->setGeometry(statusRect);
    m_CancelButton->setGeometry(buttonRect);
    m_Bar->setGeometry(barRect);
    setFixedSize(statusWidth + 20, textHeight + button.height() + 30);
}

void CProgressWindow::CentreOverOwner(QWidget* owner)
{
    QRect area;
    if (owner && owner->isVisible() && !owner->isMinimized())
        area = owner->window()->frameGeometry();
    else if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(pos() + area.center() - frameGeometry().center());
}

void CProgressWindow::SetRange(int upperBound, int step)
{
    m_UpperBound = upperBound;
    m_Step = step;
    // A bar with an empty range would turn into a busy indicator; it stays a plain empty bar.
    m_Bar->setRange(0, std::max(upperBound, 1));
}

void CProgressWindow::SetText(const std::string& text)
{
    m_StatusText = ToQString(CutText(text, MaxTextLength));
    ShowStatus();
}

void CProgressWindow::Finish(const std::string& text)
{
    m_Finishing = true;
    m_CancelButton->setEnabled(false);
    SetText(text);
}

void CProgressWindow::ShowResult(const std::string& line)
{
    QString shown = ToQString(CutText(line, MaxTextLength)).trimmed();
    if (shown.isEmpty())
        return;
    // "[Player 5] skipped" after "[Player 3] skipped" or "[Players 3-4] skipped" becomes
    // "[Players 3-5] skipped".
    static const QRegularExpression skipped(QStringLiteral("^\\[Players? (\\d+)(?:-\\d+)?\\] skipped$"));
    const QRegularExpressionMatch current = skipped.match(shown);
    if (current.hasMatch() && !m_Results.isEmpty()) {
        const QRegularExpressionMatch last = skipped.match(m_Results.last());
        if (last.hasMatch()) {
            m_Results.last() =
                QStringLiteral("[Players %1-%2] skipped").arg(last.captured(1), current.captured(1));
            ShowStatus();
            return;
        }
    }
    m_Results.append(shown);
    // The status line comes first; the rest of its four lines hold the latest results.
    while (m_Results.size() > StatusLines - 1)
        m_Results.removeFirst();
    ShowStatus();
}

void CProgressWindow::ShowStatus()
{
    QString text = m_StatusText;
    if (m_Cancelled)
        text = tr("Cancelling after this player...");
    for (const QString& result : m_Results)
        text += QLatin1Char('\n') + result;
    m_Status->setText(text);
}

void CProgressWindow::RunWork(const std::function<void()>& work)
{
    // The run's order stays as it was: this returns only when the work is over. Meanwhile the windows
    // repaint and Cancel is noted, to take effect between steps.
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued, so a quit sent before the loop has started is still seen by it.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

int CProgressWindow::StepIt()
{
    return SetPos(m_Position + m_Step);
}

int CProgressWindow::SetPos(int position)
{
    const int previous = m_Position;
    m_Position = position;
    const int percentage =
        m_UpperBound > 0 ? static_cast<int>(static_cast<long long>(position) * 100 / m_UpperBound) : 0;
    if (percentage != m_LastPercentage) {
        m_LastPercentage = percentage;
        setWindowTitle(QStringLiteral("%1 [%2%]").arg(m_Title).arg(percentage));
    }
    // The bar ignores values outside its range, so it is held at the nearer end.
    m_Bar->setValue(std::clamp(position, m_Bar->minimum(), m_Bar->maximum()));
    return previous;
}

void CProgressWindow::PumpMessages()
{
    if (m_Cancelled)
        return;
    QCoreApplication::processEvents();
}

void CProgressWindow::PumpFor(int milliseconds)
{
    if (m_Cancelled || milliseconds <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    connect(this, &CProgressWindow::Cancelled, &loop, &QEventLoop::quit);
    loop.exec();
}

void CProgressWindow::OnCancel()
{
    if (m_Cancelled || m_Finishing)
        return;
    m_Cancelled = true;
    ShowStatus();
    emit Cancelled();
}

void CProgressWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        OnCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CProgressWindow::closeEvent(QCloseEvent* event)
{
    // Only the run that made the window ends it; a close request from the desktop means Cancel.
    event->ignore();
    OnCancel();
}

} // namespace turnpost
