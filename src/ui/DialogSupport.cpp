#include "ui/DialogSupport.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>
#include <limits>

namespace turnpost {

QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string EditedText(const QLineEdit* edit, const std::string& original)
{
    if (edit->text() == ToQString(original))
        return original;
    return edit->text().toStdString();
}

QString FromStoredText(const std::string& text)
{
    return ToQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string ToStoredText(const QPlainTextEdit* edit)
{
    // The raw text keeps non-breaking spaces that toPlainText() would turn into blanks.
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QChar('\n')).replace(QChar::LineSeparator, QChar('\n'));
    return text.replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString();
}

QLineEdit* NewSetupEdit(const QString& text, QWidget* parent)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setMaxLength(std::numeric_limits<int>::max());
    return edit;
}

QLineEdit* NewSetupEdit(QWidget* parent, const char* name, const std::string& text)
{
    auto* edit = NewSetupEdit(ToQString(text), parent);
    edit->setObjectName(name);
    edit->setCursorPosition(0);
    return edit;
}

int DialogUnitsX(const QWidget* widget, int units)
{
    return (units * widget->fontMetrics().averageCharWidth() + 2) / 4;
}

int DialogUnitsY(const QWidget* widget, int units)
{
    return (units * widget->fontMetrics().height() + 4) / 8;
}

void RemoveCloseBox(QDialog* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

QPushButton* MakeOkButton(QDialog* dialog)
{
    auto* button = new QPushButton(QDialog::tr("OK"), dialog);
    button->setObjectName("okButton");
    button->setDefault(true);
    button->setAutoDefault(true);
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
    return button;
}

QPushButton* MakeCancelButton(QDialog* dialog)
{
    auto* button = new QPushButton(QDialog::tr("Cancel"), dialog);
    button->setObjectName("cancelButton");
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::reject);
    return button;
}

QVBoxLayout* MakeOkCancelColumn(QDialog* dialog)
{
    auto* column = new QVBoxLayout;
    for (QPushButton* button : {MakeOkButton(dialog), MakeCancelButton(dialog)}) {
        button->setMinimumWidth(DialogUnitsX(dialog, 50));
        column->addWidget(button);
    }
    return column;
}

QLabel* MakeTestResultLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName("testResultLabel");
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace turnpost
