#pragma once
// The guide, in a window of the program's own: no browser needed.

#include <QWidget>

class QTextBrowser;

class GuideWindow : public QWidget {
    Q_OBJECT
public:
    explicit GuideWindow(QWidget *parent = nullptr);
    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};
