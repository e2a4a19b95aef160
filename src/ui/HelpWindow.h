#pragma once

#include <QWidget>

class QTextBrowser;

namespace turnpost {

/// The program's own help, built into it: a browser over the help pages with Back and Contents.
class CHelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit CHelpWindow(QWidget* owner = nullptr);

    /// The page shown first, and the one Contents goes back to.
    static constexpr const char* ContentsPage = "qrc:/help/index.html";

    QTextBrowser* Browser() const { return m_Browser; }

private:
    QTextBrowser* m_Browser;
};

} // namespace turnpost
