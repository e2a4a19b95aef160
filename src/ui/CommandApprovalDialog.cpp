#include "ui/CommandApprovalDialog.h"

#include "platform/Version.h"
#include "setup/CommandApproval.h"
#include "ui/DialogSupport.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextOption>
#include <QVBoxLayout>

namespace turnpost {

namespace {

/// How many lines of the command the box shows before it scrolls.
constexpr int VisibleLines = 12;

/// A name from the setup file, on one line and with nothing hidden in it.
QString OneLine(const std::string& text)
{
    return ToQString(VisibleCommand(text)).remove('\n');
}

QLabel* PlainLabel(const QString& text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    // Never rich text: a setup file's names must not be able to format the question.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setObjectName(name);
    return label;
}

} // namespace

CCommandApprovalDialog::CCommandApprovalDialog(const std::string& command, const std::string& setupPath,
                                               const SecretDestination& to, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("approveCommandDialog");
    setWindowTitle(QString::fromUtf8(ProductName));
    const auto tr = [](const char* text) {
        return QCoreApplication::translate("CCommandApprovalDialog", text);
    };

    auto* layout = new QVBoxLayout(this);
    const QString question =
        to == GenerationDestination()
            ? tr("The game setup %1 asks to run a command to generate the next turn.").arg(OneLine(setupPath))
            : tr("The game setup %1 asks to run a command to get the mail password. "
                 "The password goes to %2.")
                  .arg(OneLine(setupPath), OneLine(DestinationText(to)));
    layout->addWidget(PlainLabel(question, "approveCommandLabel", this));
    const auto lines = static_cast<int>(CommandLineCount(command));
    layout->addWidget(
        PlainLabel(lines == 1 ? tr("The command (1 line):") : tr("The command (%1 lines):").arg(lines),
                   "commandLinesLabel", this));

    m_Command = new QPlainTextEdit(this);
    m_Command->setObjectName("commandBox");
    m_Command->setReadOnly(true);
    m_Command->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_Command->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_Command->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_Command->setPlainText(ToQString(VisibleCommand(command)));
    const int frame =
        2 * m_Command->frameWidth() + static_cast<int>(2 * m_Command->document()->documentMargin());
    m_Command->setFixedHeight(m_Command->fontMetrics().lineSpacing() * VisibleLines + frame);
    m_Command->setMinimumWidth(m_Command->fontMetrics().averageCharWidth() * 72);
    layout->addWidget(m_Command);

    auto* buttons = new QDialogButtonBox(this);
    m_Run = buttons->addButton(tr("&Run"), QDialogButtonBox::AcceptRole);
    m_Run->setObjectName("runCommandButton");
    m_Run->setAutoDefault(false);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName("cancelCommandButton");
    cancel->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    cancel->setFocus();
}

} // namespace turnpost
