#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace turnpost {

struct GameSetup;
class IUserInterface;

/// What becomes of the send report: shown, saved to a file, mailed, in summary or detailed form.
class CPreferencesDialog : public QDialog
{
    Q_OBJECT
public:
    CPreferencesDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent = nullptr);

    void accept() override;

private:
    GameSetup& m_Setup;
    QCheckBox* m_DisplaySummary;
    QCheckBox* m_SaveToFile;
    QLineEdit* m_ReportFile;
    QCheckBox* m_EmailReport;
    QLineEdit* m_ReportAddress;
    QRadioButton* m_Summary;
    QRadioButton* m_Detailed;
};

} // namespace turnpost
