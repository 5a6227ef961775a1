#include "app/consolefrontend.h"

#include <cstdio>

ConsoleView::ConsoleView(QString outputFolder, QString outputExt, BatchOptions options)
    : m_outputFolder(std::move(outputFolder))
    , m_outputExt(std::move(outputExt))
    , m_options(options)
    , m_out(stdout)
{
}

void ConsoleView::setConvertingFile(const QString &text)
{
    if (!m_file.isEmpty() && text != m_file)
        m_out << '\n';
    m_file = text;
    printStatus();
}

void ConsoleView::setElapsedText(const QString &) {}

void ConsoleView::setCurrentProgress(int, const QString &label)
{
    m_current = label;
    printStatus();
}

void ConsoleView::setTotalProgress(int, const QString &label)
{
    m_total = label;
    printStatus();
}

void ConsoleView::printStatus()
{
    if (m_file.isEmpty())
        return;
    m_out << "\rConverting: " << m_file << "  current " << m_current << "  total " << m_total << "   ";
    m_out.flush();
}

void ConsoleInteractive::information(const QString &caption, const QString &text)
{
    std::fprintf(stdout, "\n%s: %s\n", qPrintable(caption), qPrintable(text));
}

void ConsoleInteractive::warning(const QString &caption, const QString &text)
{
    std::fprintf(stderr, "\n%s: %s\n", qPrintable(caption), qPrintable(text));
}

void ConsoleInteractive::plainMessage(const QString &text)
{
    std::fprintf(stderr, "\n%s\n", qPrintable(text));
}

bool ConsoleInteractive::question(const QString &, const QString &)
{
    return false;
}

void ConsoleInteractive::error(const QString &text)
{
    std::fprintf(stderr, "\n%s\n", qPrintable(text));
}
