#pragma once

#include "ui/blockingwindow.h"

#include <QList>
#include <QString>

class IShell;
class QLabel;
class QPushButton;

// What the About window names: the product, its version and its maker, the
// maker's pages and support addresses.
struct AboutInfo
{
    struct Product
    {
        QString name;
        QString page;
    };

    QString productName;
    QString version;
    QString maker;
    QString year;
    QString website;
    QString contactMail;
    QString techMail;
    QString salesMail;
    QList<Product> products; // three other converters of the maker
};

// The program's own: Vantorix by Quellmark, with the given version text.
AboutInfo DefaultAboutInfo(const QString &version);

// The About window: product, version and maker, with links to the maker's
// website, its other products and its support addresses. It is shown without
// a modal loop, yet its owner takes no input while it is open: showing it
// disables the owner, closing it (OK or the title-bar button) enables the
// owner again and hides it. Created once and shown again any number of times.
class TAboutForm final : public BlockingWindow
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 503;
    static constexpr int ClientHeight = 290;

    // The owner is the main window; the About window is not its child, as a
    // disabled owner would disable it too.
    TAboutForm(const AboutInfo &info, IShell &shell, QWidget *owner);
    Q_DISABLE_COPY_MOVE(TAboutForm)

    void btnOKClick();
    void labWebsiteClick();
    void labMoreClick();
    void Label8Click();
    void Label9Click();
    void Label10Click();
    void btnTechClick();
    void btnSalesClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void openProduct(int index);
    QLabel *link(QLabel *label);

    AboutInfo m_info;
    IShell &m_shell;

    QLabel *labProgramName = nullptr;
    QLabel *labVersion = nullptr;
    QLabel *labCopyright = nullptr;
    QLabel *labRights = nullptr;
    QLabel *labVisitWebsite = nullptr;
    QLabel *labWebsite = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *labMore = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QPushButton *btnTech = nullptr;
    QPushButton *btnSales = nullptr;
    QPushButton *btnOK = nullptr;
};
