#pragma once

#include <QString>

#include <string>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace turnpost {

/// Setup texts are UTF-8 bytes; the widgets hold QStrings.
QString ToQString(const std::string& text);

/// The edit's text as UTF-8, or the original bytes while the edit still shows them. Setup
/// files from older systems may hold bytes that are not UTF-8; a round trip through the widget
/// would replace them, so an unchanged field keeps exactly what it was given.
std::string EditedText(const QLineEdit* edit, const std::string& original);

/// A mail text of the setup (kept with CR LF line ends, as mail wants them) as a multi-line edit shows
/// it, with LF alone.
QString FromStoredText(const std::string& text);
/// What the edit holds, as a stored mail text with CR LF line ends.
std::string ToStoredText(const QPlainTextEdit* edit);

/// A line edit for a setup text. The setup sets no length limit, so neither does the box: Qt's default
/// of 32,767 characters would cut a longer text, and the next save would write the cut text.
QLineEdit* NewSetupEdit(const QString& text, QWidget* parent);
/// The same, named and showing the start of a long value.
QLineEdit* NewSetupEdit(QWidget* parent, const char* name, const std::string& text);

/// Pixels of the given number of horizontal or vertical dialog units in the widget's font: a
/// horizontal unit is a quarter of the average character width, a vertical one an eighth of the
/// character height.
int DialogUnitsX(const QWidget* widget, int units);
int DialogUnitsY(const QWidget* widget, int units);

/// The caption bar keeps its title but offers no close box.
void RemoveCloseBox(QDialog* dialog);

/// An OK button (the default) wired to accept(), named okButton.
QPushButton* MakeOkButton(QDialog* dialog);
/// A Cancel button wired to reject(), named cancelButton.
QPushButton* MakeCancelButton(QDialog* dialog);
/// OK above Cancel, each 50 dialog units wide: the button column at the right of the settings dialogs.
/// The caller adds what else stands in the column and the closing stretch.
QVBoxLayout* MakeOkCancelColumn(QDialog* dialog);
/// The line under a settings dialog that tells what its test came to: plain text, wrapped, and
/// selectable so that a server's reply can be copied. Named testResultLabel.
QLabel* MakeTestResultLabel(QWidget* parent);

} // namespace turnpost
