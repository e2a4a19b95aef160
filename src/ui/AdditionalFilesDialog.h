#pragma once

#include <QDialog>

class QListWidget;

namespace turnpost {

class IUserInterface;
struct GameSetup;

/// The further files every mailed player gets: filled from the setup's list, written back on OK (the
/// caller marks the setup modified); Cancel changes nothing.
class CAdditionalFilesDialog : public QDialog
{
    Q_OBJECT
public:
    CAdditionalFilesDialog(GameSetup& setup, IUserInterface& ui, QWidget* parent = nullptr);

    void accept() override;

private:
    void OnAdd();
    void OnRemove();

    GameSetup& m_Setup;
    IUserInterface& m_Ui;
    QListWidget* m_Files;
};

} // namespace turnpost
