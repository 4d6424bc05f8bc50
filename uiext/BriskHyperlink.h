#pragma once
// A static text control of a dialog turned into a clickable link: link colours, an underlined
// copy of the control's font, the hand cursor, the target as a tooltip, and a click that opens
// the target through the desktop, falling back to the browser registered for HTML files.
#include "Dialog.h"
#include "WinDef.h"

#include <QCursor>
#include <QFont>
#include <QStringList>
#include <memory>
#include <optional>

class QPoint;

class CBriskHyperlink : public CStatic {
public:
    CBriskHyperlink();
    ~CBriskHyperlink() override;
    CBriskHyperlink(const CBriskHyperlink&) = delete;
    CBriskHyperlink& operator=(const CBriskHyperlink&) = delete;

    // Sets what a click opens. Once the control is attached this also sets the underline,
    // refits the control to its text and shows the target as the tooltip.
    void SetTarget(QString target, BOOL bUnderline);
    void SetUnderlined(BOOL bUnderline);
    void SetFollowed(BOOL bFollowed);

    const QString& GetTarget() const { return m_strTarget; }
    BOOL GetFollowed() const { return m_bFollowed; }
    BOOL GetUnderlined() const { return m_bUnderlined; }

    // The text colour for the present state: hover wins over followed, followed over link.
    COLORREF CtlColor() const;

    // The message for an open that failed with nCode (without the "Unable to open" prefix).
    static QString OpenErrorText(int nCode);
    // A registered open command cut before the place where it expects the target: at the
    // opening quotation mark of a quoted "%1", else at a bare %1; a command without either
    // stays whole. %u, %U, %f and %F, the desktop's field codes for a target, count as %1.
    static QString CutOpenCommand(const QString& command);
    // The command line the fallback runs: the cut command, a blank and the target.
    static QString ComposeOpenCommand(const QString& command, const QString& target);
    // The Exec value of the [Desktop Entry] group of a desktop file's text; empty if none.
    static QString DesktopEntryExec(const QString& contents);

    // Return codes of the open steps, as the platform's shell reports them. Anything above
    // SE_SUCCESS_LIMIT is success.
    enum : int {
        SE_ERR_OOM = 0,
        SE_ERR_FNF = 2,
        SE_ERR_PNF = 3,
        SE_ERR_NOASSOC = 31,
        SE_SUCCESS_LIMIT = 32,
        SE_OPENED = 42,
    };

protected:
    void PreSubclassWindow() override;

    // Returns the code of the last attempt: the desktop's result if it opened the target,
    // else the fallback's, or the desktop's when no fallback could be composed.
    int OpenTarget(const QString& target, int nShowCmd);

    // The steps OpenTarget takes, each replaceable so that tests never start a program.
    // Opens target with the desktop's handler; a code above SE_SUCCESS_LIMIT on success.
    virtual int ShellExecuteOpen(const QString& target, int nShowCmd);
    // The desktop entry registered for HTML files; 0 on success, else an error code.
    virtual int ReadHtmlHandler(QString& desktopId);
    // The Exec line of that entry; 0 on success, else an error code.
    virtual int ReadOpenCommand(const QString& desktopId, QString& command);
    // Starts argv detached; a code above SE_SUCCESS_LIMIT on success.
    virtual int StartProgram(const QStringList& argv, int nShowCmd);

    void OnLinkClicked();
    void OnMouseMove(const QPoint& point);
    bool OnSetCursor();
    void OnPaint();
    void FitToText();
    void LoadHandCursor();
    void ShowOpenError(int nCode);

    COLORREF m_clrLink;
    COLORREF m_clrFollowed;
    COLORREF m_clrHover;
    BOOL m_bHover;
    BOOL m_bFollowed;
    BOOL m_bUnderlined;
    BOOL m_bFitToText;
    QString m_strTarget;
    std::optional<QFont> m_fontLink;
    std::optional<QCursor> m_hHandCursor;

private:
    class EventRouter;
    void RedrawNow();
    std::unique_ptr<EventRouter> m_router; // delivers the attached label's events to us
};
