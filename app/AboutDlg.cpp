#include "AboutDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <cmath>
#include <numbers>

namespace {
constexpr int kLogoWidth = 180;
constexpr int kLogoHeight = 70;

// A wave band across the logo: the water's surface at baseline with the given swell.
QPainterPath waveBand(double baseline, double amplitude, double wavelength, double phase) {
    QPainterPath path(QPointF(0, kLogoHeight));
    for (int x = 0; x <= kLogoWidth; x += 2) {
        const double y =
            baseline + amplitude * std::sin((x / wavelength) * 2.0 * std::numbers::pi + phase);
        path.lineTo(x, y);
    }
    path.lineTo(kLogoWidth, kLogoHeight);
    path.closeSubpath();
    return path;
}
} // namespace

QPixmap LoadLogoBitmap() {
    // Drawn rather than stored: a tide staff standing in the sea, the water line marked on it,
    // and the program's name over the sky.
    QImage image(kLogoWidth, kLogoHeight, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, kLogoHeight);
    sky.setColorAt(0.0, QColor(250, 252, 255));
    sky.setColorAt(0.6, QColor(214, 232, 248));
    sky.setColorAt(1.0, QColor(170, 204, 236));
    p.fillRect(image.rect(), sky);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(96, 150, 206));
    p.drawPath(waveBand(52, 3.0, 46, 0.4));

    // The tide staff: a white board with a scale, half under water.
    const QRectF staff(12, 6, 10, 60);
    p.setBrush(QColor(255, 255, 255));
    p.setPen(QPen(QColor(40, 56, 86), 1));
    p.drawRect(staff);
    for (int i = 0; i <= 11; ++i) {
        const double y = staff.top() + 4 + i * 4.5;
        const double len = (i % 2 == 0) ? 6 : 3;
        p.drawLine(QPointF(staff.left() + 1, y), QPointF(staff.left() + 1 + len, y));
    }

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(28, 84, 150));
    p.drawPath(waveBand(57, 2.5, 34, 1.9));

    // The mark the tide left on the staff.
    p.setPen(QPen(QColor(214, 48, 40), 2));
    p.drawLine(QPointF(8, 45), QPointF(26, 45));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setStyleHint(QFont::SansSerif);
    title.setPixelSize(25);
    title.setWeight(QFont::Bold);
    p.setFont(title);
    p.setPen(QColor(20, 40, 80));
    p.drawText(QRectF(32, 4, 146, 32), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Tidemark"));

    QFont subtitle(title);
    subtitle.setPixelSize(11);
    subtitle.setWeight(QFont::Normal);
    p.setFont(subtitle);
    p.setPen(QColor(36, 64, 110));
    p.drawText(QRectF(34, 33, 144, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("The PL/SQL Tracer"));
    p.end();
    return QPixmap::fromImage(image);
}

CAboutDialog::CAboutDialog(QWidget* pParent)
    : CDialog(pParent ? pParent : QApplication::activeWindow()) {
    SetTemplateSize(QStringLiteral("About"), 236, 182);

    AddStatic(IDC_WEB_LINK, QString::fromLatin1(s_szWebAddress), 15, 140, 206, 8, Qt::AlignHCenter);

    QLabel* info =
        AddStatic(IDC_INFO_TEXT, QStringLiteral("..."), 15, 72, 206, 31, Qt::AlignHCenter);
    info->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    info->setLineWidth(1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    AddControl(IDOK, ok, 85, 160, 61, 14);

    // A picture control takes the size of its picture and its frame; it keeps the centre
    // the template gives it, whatever the size of a dialog unit.
    auto* logo = new QLabel(this);
    logo->setFrameStyle(QFrame::Panel | QFrame::Raised);
    logo->setLineWidth(2);
    logo->setPixmap(LoadLogoBitmap());
    logo->setAlignment(Qt::AlignCenter);
    AddControl(IDC_LOGO, logo, 55, 5, 124, 53);
    const QRect cell = logo->geometry();
    const QSize size(kLogoWidth + 2 * logo->frameWidth(), kLogoHeight + 2 * logo->frameWidth());
    logo->setGeometry(cell.x() + (cell.width() - size.width()) / 2, cell.y(), size.width(),
                      size.height());

    AddStatic(IDC_MAIL_LINK, QString::fromLatin1(s_szCredit), 15, 127, 206, 8, Qt::AlignHCenter);
    AddGroupBox(QString(), 7, 59, 222, 95);
}

CAboutDialog::~CAboutDialog() = default;

void CAboutDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_INFO_TEXT, m_ctlInfo);
    DDX_Control(pDX, IDC_MAIL_LINK, m_ctlMailLink);
    DDX_Control(pDX, IDC_WEB_LINK, m_ctlWebLink);
    DDX_Text(pDX, IDC_INFO_TEXT, m_strInfo);
}

bool CAboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    // The information lines in the heaviest weight there is. Qt's weight scale reaches 1000
    // like the platform's; the label keeps its own copy of the font.
    if (QLabel* info = m_ctlInfo.label()) {
        QFont font = info->font();
        font.setWeight(QFont::Weight(1000));
        info->setFont(font);
        info->update();
    }

    m_ctlMailLink.SetTarget(QString::fromLatin1(s_szMailTarget), true);
    m_ctlWebLink.SetTarget(QString::fromLatin1(s_szWebAddress), true);
    return true; // the first control that takes the focus gets it: OK
}

void ShowAboutBox(const QString& text) {
    CAboutDialog dlg;
    dlg.m_strInfo = text;
    dlg.DoModal();
}
