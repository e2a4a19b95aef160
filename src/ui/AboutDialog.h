#pragma once

#include <QDialog>

namespace turnpost {

/// The program's name and version.
class CAboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

} // namespace turnpost
