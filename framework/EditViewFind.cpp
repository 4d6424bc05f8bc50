// The edit view's Find: the search, the Find dialog and Find Next.
#include "EditView.h"

#include "FindDlg.h"
#include "MessageBox.h"

bool CEditView::FindText(const QString& what, bool bNext, bool bCase) {
    if (what.isEmpty())
        return false;
    const QByteArray needle = what.toUtf8();
    const long length = long(GetTextLength());
    long start = SendScintilla(SCI_GETSELECTIONSTART);
    long end = SendScintilla(SCI_GETSELECTIONEND);
    // The caret where an append left it: the search goes on from the last match instead.
    if (m_nMatchStart >= 0 && start == end && start == m_nAppendCaret && m_nMatchEnd <= length) {
        start = m_nMatchStart;
        end = m_nMatchEnd;
    }
    SendScintilla(SCI_SETSEARCHFLAGS, (unsigned long)(bCase ? SCFIND_MATCHCASE : 0));
    const auto search = [&](long from, long to) {
        SendScintilla(SCI_SETTARGETSTART, (unsigned long)from);
        SendScintilla(SCI_SETTARGETEND, (unsigned long)to);
        return SendScintilla(SCI_SEARCHINTARGET, uintptr_t(needle.size()), needle.constData());
    };
    // From the selection to the end in the direction of the search, then once round.
    long found = bNext ? search(end, length) : search(start, 0);
    if (found < 0)
        found = bNext ? search(0, end) : search(length, start);
    if (found < 0)
        return false;
    const long foundEnd = SendScintilla(SCI_GETTARGETEND);
    // Selected with the caret on the side the search goes, and the whole match in view.
    if (bNext)
        SendScintilla(SCI_SETSEL, (unsigned long)found, foundEnd);
    else
        SendScintilla(SCI_SETSEL, (unsigned long)foundEnd, found);
    SendScintilla(SCI_SCROLLRANGE, (unsigned long)(bNext ? found : foundEnd),
                  bNext ? foundEnd : found);
    m_nMatchStart = found;
    m_nMatchEnd = foundEnd;
    m_nAppendCaret = -1;
    return true;
}

void CEditView::OnTextNotFound(const QString& what) {
    AfxMessageBox(QStringLiteral("Cannot find \"%1\".").arg(what), MB_OK | MB_ICONINFORMATION);
}

void CEditView::OnEditFind() {
    if (!m_pFindDialog) {
        m_pFindDialog = new CFindDialog(this); // owned by the view, reused while it lives
        m_pFindDialog->SetFindString(m_strFind);
        m_pFindDialog->SetMatchCase(m_bFindCase);
        m_pFindDialog->SetSearchDown(m_bFindNext);
        connect(m_pFindDialog, &CFindDialog::findNext, this, &CEditView::onFindNext);
    }
    // A selection within one line is what the user most likely wants to find.
    const QString selection = selectedText();
    if (!selection.isEmpty() && !selection.contains(QLatin1Char('\n')) &&
        !selection.contains(QLatin1Char('\r')))
        m_pFindDialog->SetFindString(selection);
    m_pFindDialog->show();
    m_pFindDialog->raise();
    m_pFindDialog->activateWindow();
}

void CEditView::onFindNext() {
    m_strFind = m_pFindDialog->GetFindString();
    m_bFindCase = m_pFindDialog->MatchCase();
    m_bFindNext = m_pFindDialog->SearchDown();
    OnEditRepeat();
}

void CEditView::OnEditRepeat() {
    if (m_strFind.isEmpty()) {
        OnEditFind();
        return;
    }
    if (!FindText(m_strFind, m_bFindNext, m_bFindCase))
        OnTextNotFound(m_strFind);
}
