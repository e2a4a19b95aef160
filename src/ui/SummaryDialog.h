#pragma once

#include <QDialog>

#include <string>

class QPlainTextEdit;

namespace turnpost {

/// The outcome of a send run, one line per player, in a scrollable read-only view with failed lines
/// in bold. Copy puts the whole text on the clipboard; OK, Enter and Escape close it.
class CSummaryDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CSummaryDialog(const std::string& text, QWidget* parent = nullptr);

private:
    void MarkFailedLines();

    QPlainTextEdit* m_Text;
};

} // namespace turnpost
