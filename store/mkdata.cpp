// Writes the delivered data files into a folder, leaving existing files alone.
#include "store/Schema.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quotedesk_mkdata DATA_FOLDER\n");
        return 2;
    }
    QStringList created;
    DbResult r = schema::createMissingFiles(QString::fromLocal8Bit(argv[1]), &created);
    for (const QString &p : created)
        std::printf("created %s\n", qPrintable(p));
    if (!r) {
        std::fprintf(stderr, "quotedesk_mkdata: %s\n", qPrintable(r.error));
        return 1;
    }
    return 0;
}
