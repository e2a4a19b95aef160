#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;

namespace turnpost {

struct GameSetup;
class IUserInterface;

/// Reads a typed integer: the first 31 characters, blanks and tabs around an optionally signed
/// decimal number, clamped to the 32-bit range. Rejects anything else, and a 0 that was not
/// written with a leading "0" (so an empty field, letters and "-0" are refused).
std::optional<std::int32_t> ParseIntegerField(const std::string& text);

/// The SMTP time-out, the pause after each player, the deadline, the turn-file checks and the command
/// that generates the next turn. OK copies them back only once the numbers parse.
class CAdvancedSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    CAdvancedSettingsDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent = nullptr);

    void accept() override;

private:
    /// The field's value, or nullopt after telling the host and putting him back into the field.
    std::optional<std::int32_t> ReadField(QLineEdit* edit);

    GameSetup& m_Setup;
    IUserInterface& m_Ui;
    QLineEdit* m_SmtpTimeout;
    QLineEdit* m_Pause;
    QLineEdit* m_DeadlineHours;
    QCheckBox* m_CheckTurnFiles;
    QLineEdit* m_GenerateCommand;
};

} // namespace turnpost
