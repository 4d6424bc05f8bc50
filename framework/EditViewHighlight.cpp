// The edit view's highlights: lines matching a rule are marked with one of the editor's
// indicators, a tint under the text. Only the lines on screen are looked at, each time what is
// on screen changes, so that appends, loads and edits cost nothing more however long the text.
#include "EditView.h"

namespace {
constexpr int kFirstIndicator = 8;       // the indicators below are the editor's own
constexpr long kMostBytesLooked = 65536; // of a line, for its highlight
} // namespace

void CEditView::SetHighlightRules(const std::vector<CHighlightRule>& rules) {
    const long length = long(GetTextLength());
    for (std::size_t i = 0; i < m_highlights.size(); ++i) {
        SendScintilla(SCI_SETINDICATORCURRENT, (unsigned long)(kFirstIndicator + int(i)));
        SendScintilla(SCI_INDICATORCLEARRANGE, 0UL, length);
    }
    m_highlights.clear();
    for (const CHighlightRule& rule : rules) {
        if (int(m_highlights.size()) == kMaxHighlightRules)
            break;
        QRegularExpression re(rule.pattern);
        if (rule.pattern.isEmpty() || !re.isValid() || !rule.colour.isValid())
            continue;
        re.optimize();
        m_highlights.push_back(Highlight{re, rule.colour});
    }
    showHighlights(true);
    highlightShownLines(true);
}

void CEditView::showHighlights(bool bShow) {
    for (std::size_t i = 0; i < m_highlights.size(); ++i) {
        const auto indicator = (unsigned long)(kFirstIndicator + int(i));
        SendScintilla(SCI_INDICSETSTYLE, indicator, long(bShow ? INDIC_STRAIGHTBOX : INDIC_HIDDEN));
        SendScintilla(SCI_INDICSETFORE, indicator, m_highlights[i].colour);
        SendScintilla(SCI_INDICSETALPHA, indicator, 60L);
        SendScintilla(SCI_INDICSETOUTLINEALPHA, indicator, 0L);
        SendScintilla(SCI_INDICSETUNDER, indicator, 1L);
    }
}

QColor CEditView::GetLineHighlight(int nLine) const {
    const long start = SendScintilla(SCI_POSITIONFROMLINE, (unsigned long)nLine);
    for (std::size_t i = 0; i < m_highlights.size(); ++i)
        if (SendScintilla(SCI_INDICATORVALUEAT, (unsigned long)(kFirstIndicator + int(i)), start))
            return m_highlights[i].colour;
    return QColor();
}

void CEditView::highlightShownLines(bool bForce) {
    if (m_highlights.empty())
        return;
    const long count = SendScintilla(SCI_GETLINECOUNT);
    const long first = SendScintilla(SCI_DOCLINEFROMVISIBLE,
                                     (unsigned long)SendScintilla(SCI_GETFIRSTVISIBLELINE));
    const long last = std::min(count - 1, first + SendScintilla(SCI_LINESONSCREEN) + 1);
    const long length = long(GetTextLength());
    if (!bForce && first == m_nHighlightFirst && last == m_nHighlightLast &&
        length == m_nHighlightLength)
        return;
    m_nHighlightFirst = first;
    m_nHighlightLast = last;
    m_nHighlightLength = length;

    const long start = SendScintilla(SCI_POSITIONFROMLINE, (unsigned long)first);
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, (unsigned long)last);
    for (std::size_t i = 0; i < m_highlights.size(); ++i) {
        SendScintilla(SCI_SETINDICATORCURRENT, (unsigned long)(kFirstIndicator + int(i)));
        SendScintilla(SCI_INDICATORCLEARRANGE, (unsigned long)start, end - start);
    }
    for (long line = first; line <= last; ++line) {
        const long lineStart = SendScintilla(SCI_POSITIONFROMLINE, (unsigned long)line);
        const long lineEnd = SendScintilla(SCI_GETLINEENDPOSITION, (unsigned long)line);
        if (lineEnd <= lineStart)
            continue;
        const long looked = std::min(lineEnd - lineStart, kMostBytesLooked);
        const auto* bytes = static_cast<const char*>(reinterpret_cast<void*>(
            SendScintilla(SCI_GETRANGEPOINTER, (unsigned long)lineStart, looked)));
        const QString text = QString::fromUtf8(bytes, looked);
        for (std::size_t i = 0; i < m_highlights.size(); ++i)
            if (m_highlights[i].re.match(text).hasMatch()) {
                SendScintilla(SCI_SETINDICATORCURRENT, (unsigned long)(kFirstIndicator + int(i)));
                SendScintilla(SCI_INDICATORFILLRANGE, (unsigned long)lineStart,
                              lineEnd - lineStart);
                break;
            }
    }
}
