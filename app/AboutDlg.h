#pragma once
// The About box: the logo, the program's title, version and build date in a heavy font, and
// two links, one to the product's web page and one that writes a mail to its makers.
#include "BriskHyperlink.h"
#include "Dialog.h"

#include <QPixmap>
#include <QString>

// Resource ids of the About box's template.
enum : int {
    IDB_LOGO = 147,
    IDD_ABOUTBOX = 163,
    IDC_WEB_LINK = 1000,
    IDC_MAIL_LINK = 1001,
    IDC_LOGO = 1006,
    IDC_INFO_TEXT = 1033,
};

class CAboutDialog : public CDialog {
public:
    enum { IDD = IDD_ABOUTBOX };

    // Without a parent the box is owned by the application's active window, over which it
    // is centred and which it blocks while open.
    explicit CAboutDialog(QWidget* pParent = nullptr);
    ~CAboutDialog() override;

    CBriskHyperlink m_ctlMailLink;
    CBriskHyperlink m_ctlWebLink;
    CStatic m_ctlInfo;
    QString m_strInfo;

    // The product's web page, the makers' credit line and their mail address.
    static constexpr const char s_szWebAddress[] = "https://www.example.com/tidemark";
    static constexpr const char s_szCredit[] = "Written by the Tidemark team";
    static constexpr const char s_szMailTarget[] = "mailto:tidemark@example.org";

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
};

// Shows the About box modally with text as its information lines; returns when it closes.
void ShowAboutBox(const QString& text);

// Bitmap IDB_LOGO: the program's logo, 180 by 70 pixels, 24-bit colour.
QPixmap LoadLogoBitmap();
