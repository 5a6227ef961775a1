// Holds a work folder in the folder named by its argument until its input
// ends: prints the folder's path, then a work file it wrote, one per line.
#include "conversion/workfolder.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const QString out = QFile::decodeName(argv[1]);
    QString error;
    const std::unique_ptr<WorkFolder> folder = WorkFolder::create(out, &error);
    if (!folder) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QFile work(folder->workPathFor(QDir(out).filePath(QStringLiteral("held.mp4"))));
    if (!work.open(QIODevice::WriteOnly) || work.write("held") != 4)
        return 1;
    work.close();
    std::printf("%s\n%s\n", qPrintable(folder->path()), qPrintable(work.fileName()));
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
