#pragma once

#include "platform/UserInterface.h"

#include <QDialog>

#include <string>

class QPlainTextEdit;
class QPushButton;

namespace turnpost {

/// Asks whether a password command read from a setup file may run. The command is shown exactly as it
/// will run, in plain text: control characters and line breaks made visible, the line count stated,
/// in a box of a fixed height that scrolls, so no part of it can hide and the buttons stay on screen
/// however long it is. Cancel is the default: Enter and Escape leave the command unrun.
class CCommandApprovalDialog : public QDialog
{
public:
    CCommandApprovalDialog(const std::string& command, const std::string& setupPath,
                           const SecretDestination& to, QWidget* parent = nullptr);

private:
    QPlainTextEdit* m_Command;
    QPushButton* m_Run;
};

} // namespace turnpost
