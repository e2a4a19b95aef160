#pragma once

#include <QDialog>

class QListWidget;

namespace turnpost {

class IUserInterface;

/// A list of further files to send. The list lives only while the dialog is open; the caller
/// marks the setup modified on OK.
class CAdditionalFilesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CAdditionalFilesDialog(IUserInterface& ui, QWidget* parent = nullptr);

private:
    void OnAdd();
    void OnRemove();

    IUserInterface& m_Ui;
    QListWidget* m_Files;
};

} // namespace turnpost
