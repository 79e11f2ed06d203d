#include "app/GuideWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

// The guide is built into the library; a static library's resources are registered by hand.
static void registerGuide() { Q_INIT_RESOURCE(guide); }

GuideWindow::GuideWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    registerGuide();
    setObjectName(QStringLiteral("FrmGuide"));
    setWindowTitle(QStringLiteral("QuoteDesk 使い方ガイド"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_browser = new QTextBrowser(this);
    m_browser->setOpenExternalLinks(false);
    m_browser->setSource(QUrl(QStringLiteral("qrc:/guide.html")));
    layout->addWidget(m_browser);
    const QRect screen = (parent ? parent->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    resize(std::min(760, screen.width() * 9 / 10), std::min(820, screen.height() * 9 / 10));
}
