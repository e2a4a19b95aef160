#include "ui/SummaryDialog.h"

#include "ui/DialogSupport.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace turnpost {

CSummaryDialog::CSummaryDialog(const std::string& text, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Summary"));
    RemoveCloseBox(this);

    // A read-only text view: it scrolls when sixteen long error lines do not fit, and the host can
    // select and copy from it.
    m_Text = new QPlainTextEdit(this);
    m_Text->setObjectName("summaryText");
    m_Text->setReadOnly(true);
    m_Text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_Text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_Text->setPlainText(ToQString(text));
    MarkFailedLines();

    // Sixteen lines, one per player, within the screen; the host can make it larger.
    const QFontMetrics metrics = m_Text->fontMetrics();
    const int frame = 2 * m_Text->frameWidth() + 2 * static_cast<int>(m_Text->document()->documentMargin());
    int width = DialogUnitsX(this, 248);
    int height = 16 * metrics.lineSpacing() + frame;
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        width = std::min(width, area.width() * 9 / 10);
        height = std::min(height, area.height() * 3 / 5);
    }
    m_Text->setMinimumSize(width, height);

    auto* copyButton = new QPushButton(tr("&Copy"), this);
    copyButton->setObjectName("copyButton");
    copyButton->setAutoDefault(false);
    connect(copyButton, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(m_Text->toPlainText()); });
    auto* okButton = MakeOkButton(this);
    okButton->setMinimumWidth(DialogUnitsX(this, 50));
    copyButton->setMinimumWidth(DialogUnitsX(this, 50));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(copyButton);
    buttons->addWidget(okButton);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_Text, 0, 0);
    grid->addLayout(buttons, 1, 0);
    okButton->setFocus();
    // Opens at that size, then may be made smaller down to a few lines.
    adjustSize();
    m_Text->setMinimumSize(DialogUnitsX(this, 80), 4 * metrics.lineSpacing() + frame);
}

void CSummaryDialog::MarkFailedLines()
{
    // A failed player must stand out among fifteen "Sent OK" lines.
    QTextCharFormat failed;
    failed.setFontWeight(QFont::Bold);
    failed.setForeground(QColor(0xB0, 0x00, 0x20));
    for (QTextBlock block = m_Text->document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().contains(QStringLiteral("** ERROR")))
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(failed);
    }
}

} // namespace turnpost
