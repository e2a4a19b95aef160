#include "ui/HelpWindow.h"

#include "ui/Resources.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace turnpost {

CHelpWindow::CHelpWindow(QWidget* owner) : QWidget(owner, Qt::Window), m_Browser(new QTextBrowser(this))
{
    LoadResources();
    setObjectName("helpWindow");
    setWindowTitle(tr("Turnpost Help"));
    m_Browser->setObjectName("helpBrowser");
    m_Browser->setOpenExternalLinks(true);

    auto* back = new QPushButton(tr("&Back"), this);
    back->setObjectName("backButton");
    back->setEnabled(false);
    auto* contents = new QPushButton(tr("&Contents"), this);
    contents->setObjectName("contentsButton");
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName("closeButton");
    connect(back, &QPushButton::clicked, m_Browser, &QTextBrowser::backward);
    connect(m_Browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(contents, &QPushButton::clicked, m_Browser, &QTextBrowser::home);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    // A window for reading beside the main one: Escape puts it away, as it does a dialog.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_Browser);

    m_Browser->setSource(QUrl(ContentsPage));
    const QFontMetrics metrics(font());
    resize(metrics.averageCharWidth() * 110, metrics.height() * 40);
}

} // namespace turnpost
