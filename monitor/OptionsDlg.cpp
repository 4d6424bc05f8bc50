#include "OptionsDlg.h"

#include "FrameWnd.h"
#include "Logon.h"
#include "WaitCursor.h"
#include "WinApp.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>

#include <limits>

namespace {
const char kPrivilegeNote[] =
    "NOTE: You must be connect as a user that is allowed to execute the pipe package!.\n"
    "Use 'grant execute on dbms_pipe to <user>' when logged in as administrator to do this.";

QWidget* defaultOwner(QWidget* pParent) {
    if (pParent)
        return pParent;
    CWinApp* app = AfxGetApp();
    return app ? app->GetMainWnd() : nullptr;
}

// A multi-line button's caption: broken between words wherever the next word would run past
// the button's inner width.
QString wrapCaption(const QPushButton& button) {
    const QStyle* style = button.style();
    const int inner = button.width() - 2 * (style->pixelMetric(QStyle::PM_ButtonMargin) +
                                            style->pixelMetric(QStyle::PM_DefaultFrameWidth));
    const QFontMetrics fm(button.font());
    const QStringList words = button.text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList lines;
    for (const QString& word : words) {
        if (!lines.isEmpty() &&
            fm.horizontalAdvance(lines.last() + QLatin1Char(' ') + word) <= inner)
            lines.last() += QLatin1Char(' ') + word;
        else
            lines.append(word);
    }
    return lines.join(QLatin1Char('\n'));
}
} // namespace

COptionsDlg::COptionsDlg(QWidget* pParent) : CDialog(defaultOwner(pParent)) {
    // Template 135.
    SetTemplateSize(QStringLiteral("Options"), 293, 181);

    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setTickPosition(QSlider::TicksAbove);
    AddControl(IDC_TIMERSLIDER, slider, 18, 18, 150, 22);
    auto* lfFlag = AddControl(
        IDC_LFFLAG, new QCheckBox(QStringLiteral("Automatically add a LF to each message"), this),
        19, 63, 195, 10);
    auto* autoUnpack = AddControl(
        IDC_AUTOUNPACK,
        new QCheckBox(QStringLiteral("Allow to debug variable messages (auto unpack)"), this), 19,
        77, 195, 10);
    auto* pipeName = AddControl(IDC_PIPENAME, new QLineEdit(this), 20, 130, 200, 15);
    // No limit of its own: a stored pipe name of any length comes back whole after OK.
    pipeName->setMaxLength(std::numeric_limits<int>::max());
    auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this), 236, 7, 50, 14);
    ok->setDefault(true);
    auto* cancel =
        AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this), 236, 24, 50, 14);
    auto* generate =
        AddControl(IDC_GENERATE, new QPushButton(QStringLiteral("Generate Procedures"), this), 235,
                   110, 50, 25);
    generate->setAccessibleName(generate->text());
    generate->setText(wrapCaption(*generate));
    AddGroupBox(QStringLiteral("Refresh timer"), 10, 5, 214, 38);
    AddGroupBox(QStringLiteral("Options"), 10, 50, 215, 59);
    QLabel* value = AddStatic(IDC_TIMERVALUE, QString(), 180, 20, 20, 10);
    value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    AddGroupBox(QStringLiteral("Name of the debug pipe"), 10, 115, 215, 40);
    auto* allowEdit = AddControl(
        IDC_ALLOWEDIT,
        new QCheckBox(QStringLiteral("Allow to edit the debug window (only at next startup)"),
                      this),
        20, 92, 195, 10);

    GrowControlsToText();

    // Template order is tab order: the third check box on screen comes last.
    QWidget* order[] = {slider, lfFlag, autoUnpack, pipeName, ok, cancel, generate, allowEdit};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // Every move of the trackbar, by mouse, keyboard or dragging, reaches OnHScroll.
    connect(slider, &QSlider::valueChanged, this, [this] { OnHScroll(); });
    connect(generate, &QPushButton::clicked, this, [this] { OnGenerateProcedures(); });
}

void COptionsDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_TIMERVALUE, m_ctlTimerValue);
    DDX_Control(pDX, IDC_TIMERSLIDER, m_ctlTimerSlider);
    DDX_Text(pDX, IDC_PIPENAME, m_strPipeName);
    DDX_Check(pDX, IDC_LFFLAG, m_bLFFlag);
    DDX_Check(pDX, IDC_AUTOUNPACK, m_bAutoUnpack);
    DDX_Check(pDX, IDC_ALLOWEDIT, m_bAllowEdit);
}

bool COptionsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_ctlTimerSlider.SetRangeMin(0, 0);
    m_ctlTimerSlider.SetRangeMax(60, 0);
    m_ctlTimerSlider.SetTicFreq(10);
    m_ctlTimerSlider.SetPos(m_nTimerFrequency); // out of range: the nearest end
    UpdateTimerValue();
    return true; // the first tab stop, the trackbar, gets the focus
}

void COptionsDlg::UpdateTimerValue() {
    m_nTimerFrequency = m_ctlTimerSlider.GetPos();
    m_ctlTimerValue.SetWindowText(QString::number(m_nTimerFrequency));
}

void COptionsDlg::OnHScroll() {
    // The trackbar is bound in OnInitDialog; before that its value is not the setting yet.
    if (m_ctlTimerSlider.GetSafeHwnd())
        UpdateTimerValue();
}

void COptionsDlg::OnGenerateProcedures() {
    AfxMessageBox(QString::fromLatin1(kPrivilegeNote), MB_OK);
    CWaitCursor wait;
    InstallSendingProcedures();
}
