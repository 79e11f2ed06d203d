#pragma once
// An archived PDF as it was issued, shown page by page and printed from its own bytes; it is a
// copy and nothing in it can be changed.

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <functional>

class ArchivedPdfView : public QDialog {
    Q_OBJECT
public:
    ArchivedPdfView(const QByteArray &pdf, const QString &title, QWidget *parent = nullptr);
    int pageCount() const { return m_pages.size(); }
    // The pages rendered at dpi; empty when the bytes are no PDF.
    static QVector<QImage> render(const QByteArray &pdf, double dpi);
    void printCopy();
    void saveCopy();

private:
    QByteArray m_pdf;
    QVector<QImage> m_pages;
};

using ArchivedViewRunner = std::function<void(ArchivedPdfView &)>;
ArchivedViewRunner setArchivedViewRunner(ArchivedViewRunner runner);
void runArchivedView(ArchivedPdfView &view);
